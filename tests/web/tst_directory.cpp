// tests/web/: the station directory's client on a scripted fetcher and scripted server names: the requests it
// sends (paths, parameters, bounds, TLS), the next server when one fails, the answers merged and ordered, its
// words when nothing can be had, the click it reports; and the directory's JSON read into rows. (The client on
// the real program, its real look-ups and an HTTPS stand-in: tests/e2e/directory.sh.)
#include "readers/directory_json.h"
#include "support/scripted_fetcher.h"
#include "web/directory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(support::ScriptedFetcher::Answer)

namespace {

class ScriptedNames : public web::DirectoryNames {
public:
    QStringList names;
    void find(QObject* context, std::function<void(const QStringList&)> done) override {
        QTimer::singleShot(0, context, [this, done] { done(names); });
    }
};

QByteArray Stations(const QList<QJsonObject>& stations) {
    QJsonArray array;
    for (const QJsonObject& station : stations)
        array.append(station);
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QJsonObject Station(const QString& name, int clicks, const QString& uuid = {}) {
    return {{"stationuuid", uuid.isEmpty() ? name : uuid},
            {"name", name},
            {"url", "http://s/" + name},
            {"clickcount", clicks},
            {"codec", "MP3"},
            {"bitrate", 128}};
}

// JSON written with single quotes, for the table's sake.
QByteArray J(const char* text) {
    return QByteArray(text).replace('\'', '"');
}

QString Row(const readers::DirectoryStation& s) {
    const QString format = s.codec + (s.bitrate ? QStringLiteral(" · %1 kbps").arg(s.bitrate) : QString());
    return QStringList{s.name, s.country, format, s.tags, s.address}.join(u'|');
}

const QString Query = QStringLiteral("&order=clickcount&reverse=true&hidebroken=true&limit=100");

} // namespace

class TstDirectory : public QObject {
    Q_OBJECT

    using Web = QHash<QString, support::ScriptedFetcher::Answer>;
    static support::ScriptedFetcher::Answer Json(const QByteArray& body) {
        support::ScriptedFetcher::Answer answer;
        answer.body = body;
        return answer;
    }

private slots:
    void requests_data() {
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<Web>("web"); // path on server "a" or "b" to its answer
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("rows"); // names, each once, in the order they came; or the problem
        const QString chinese = "/json/stations/search?language=chinese" + Query,
                      mandarin = "/json/stations/search?language=mandarin" + Query,
                      byName = "/json/stations/search?name=%E7%88%B5%E5%A3%AB%20jazz" + Query,
                      byTag = "/json/stations/search?tag=%E7%88%B5%E5%A3%AB%20jazz" + Query;
        QTest::newRow("by language: the lists merged, each station once")
            << QStringList{"a"}
            << Web{{"https://a" + chinese, Json(Stations({Station("C1", 5), Station("C2", 50)}))},
                   {"https://a" + mandarin, Json(Stations({Station("M", 20), Station("C2", 50)}))}}
            << QString() << QStringList{"C1", "C2", "M"};
        QTest::newRow("a search by name and by tag, each station once")
            << QStringList{"a"}
            << Web{{"https://a" + byName, Json(Stations({Station("N", 1), Station("Both", 9)}))},
                   {"https://a" + byTag, Json(Stations({Station("Both", 9), Station("T", 3)}))}}
            << QStringLiteral("爵士 jazz") << QStringList{"N", "Both", "T"};
        QTest::newRow("a server that fails: the next one")
            << QStringList{"a", "b"} << Web{{"https://b" + byName, Json(Stations({Station("N", 1)}))}}
            << QStringLiteral("爵士 jazz") << QStringList{"N"};
        QTest::newRow("no server found") << QStringList{} << Web{} << QString() << QStringList{"no server"};
        QTest::newRow("names DNS gave outside the directory's, and the name that stands for them all")
            << QStringList{"evil.test", "all.api.radio-browser.info", "radio-browser.info.evil.test"} << Web{}
            << QString() << QStringList{"no server"};
        QTest::newRow("every server down") << QStringList{"a", "b", "c", "d"} << Web{} << QString()
                                           << QStringList{"network: 无法连接服务器"};
        QTest::newRow("not the documented shape")
            << QStringList{"a"}
            << Web{{"https://a" + byName, Json("{\"name\": \"x\"}")}, {"https://a" + byTag, Json("<html>")}}
            << QStringLiteral("爵士 jazz") << QStringList{"unreadable"};
    }

    void requests() {
        QFETCH(QStringList, servers);
        QFETCH(Web, web);
        QFETCH(QString, typed);
        QFETCH(QStringList, rows);
        // The table's one-letter servers stand for the directory's own names: "a" is a.api.radio-browser.info.
        for (QString& server : servers)
            if (!server.contains(u'.')) server += ".api.radio-browser.info";
        support::ScriptedFetcher fetcher;
        // As the fetcher is asked: the address in its readable form.
        for (auto it = web.cbegin(); it != web.cend(); ++it)
            fetcher.script.insert(QUrl(QString(it.key()).insert(9, ".api.radio-browser.info")).toString(),
                                  it.value());
        ScriptedNames names;
        names.names = servers;
        web::DirectoryClient client(fetcher, names);
        QSignalSpy found(&client, &web::DirectoryClient::found);
        QSignalSpy failed(&client, &web::DirectoryClient::failed);
        const auto ask = [&] {
            typed.isEmpty() ? client.byLanguage({"chinese", "mandarin"}) : client.search(typed);
        };
        ask();
        QTRY_COMPARE(found.size() + failed.size(), 1);
        // No server found: the next search looks again.
        if (servers.isEmpty()) {
            names.names = servers = {"a.api.radio-browser.info"};
            ask();
            QTRY_VERIFY(!fetcher.asked.isEmpty());
        }
        QStringList got;
        if (!found.isEmpty())
            for (const readers::DirectoryStation& station :
                 found.first().first().value<QList<readers::DirectoryStation>>())
                got << station.name;
        else
            got << QStringList{"no server", "unreadable", "network: "}.at(failed.first().at(0).toInt()) +
                       web::FailureText(failed.first().at(1).value<web::Failure>());
        QCOMPARE(got, rows);
        // Each request: HTTPS to a server by name, verified, bounded; three servers at most for one path.
        QHash<QString, int> tries;
        for (const support::ScriptedFetcher::Asked& asked : std::as_const(fetcher.asked)) {
            QCOMPARE(asked.request.url.scheme(), QStringLiteral("https"));
            QVERIFY(servers.contains(asked.request.url.host()));
            QCOMPARE(asked.request.tls, web::TlsRule::Verified);
            QCOMPARE(asked.request.redirects, web::RedirectRule::HttpsWithin);
            QCOMPARE(asked.request.maxBytes, qint64(1024 * 1024));
            QCOMPARE(asked.request.timeoutMs, 10000);
            QVERIFY(++tries[asked.request.url.path() + asked.request.url.query()] <= 3);
        }
        // A played result is told to the directory, once, at the server that answered.
        if (!found.isEmpty()) {
            const qsizetype before = fetcher.asked.size();
            client.clicked(QStringLiteral("uuid-1"));
            QCOMPARE(fetcher.asked.size(), before + 1);
            QCOMPARE(fetcher.asked.last().request.url.path(), QStringLiteral("/json/url/uuid-1"));
        }
    }

    // A new search drops the one under way: its answer never shows.
    void aNewSearchCancelsTheLast() {
        support::ScriptedFetcher fetcher;
        support::ScriptedFetcher::Answer slow = Json(Stations({Station("Old", 1)}));
        slow.delayMs = -1;
        fetcher.script.insert("https://a.api.radio-browser.info/json/stations/search?name=old" + Query, slow);
        fetcher.script.insert("https://a.api.radio-browser.info/json/stations/search?name=new" + Query,
                              Json(Stations({Station("New", 1)})));
        ScriptedNames names;
        names.names = {"a.api.radio-browser.info"};
        web::DirectoryClient client(fetcher, names);
        QSignalSpy found(&client, &web::DirectoryClient::found);
        client.search(QStringLiteral("old"));
        QTRY_VERIFY(fetcher.open() >= 1);
        client.search(QStringLiteral("new"));
        QTRY_COMPARE(found.size(), 1);
        QCOMPARE(found.first().first().value<QList<readers::DirectoryStation>>().value(0).name,
                 QStringLiteral("New"));
        QVERIFY(fetcher.cancelled >= 1);
    }

    // A station of the list looked for in the directory: its candidates ("name|language|listeners"), those of its
    // name best first, and whether the first is clearly the one.
    void proposals_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QStringList>("proposed");
        QTest::addColumn<bool>("clearlyBest");
        QTest::newRow("width, case and spaces")
            << QStringLiteral("ＣＮＲ 中国之声 ")
            << QStringList{"cnr 中国之声|chinese|1", "CNR 中国之声 HD|chinese|99"}
            << QStringList{"cnr 中国之声"} << true;
        QTest::newRow("Chinese first, then the most listened; clearly best")
            << "Jazz" << QStringList{"Jazz|german|500", "JAZZ|chinese|100", "jazz|mandarin|10"}
            << QStringList{"JAZZ", "jazz", "Jazz"} << true;
        QTest::newRow("two alike: none clearly best")
            << "Rock" << QStringList{"Rock|english|100", "rock|english|80"} << QStringList{"Rock", "rock"}
            << false;
    }
    void proposals() {
        QFETCH(QString, name);
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, proposed);
        QFETCH(bool, clearlyBest);
        QList<readers::DirectoryStation> found;
        for (const QString& candidate : candidates) {
            const QStringList f = candidate.split(u'|');
            found.append({f[0], f[0], "http://x/" + f[0], {}, {}, 0, {}, f[1], f[2].toLongLong()});
        }
        const readers::Proposals got = readers::ProposalsFor(name, found);
        QStringList names;
        for (const readers::DirectoryStation& station : got.stations)
            names << station.name;
        QCOMPARE(names, proposed);
        QCOMPARE(got.clearlyBest, clearlyBest);
    }

    // The directory's JSON to the rows shown: "name|country|format|tags|address", or nothing.
    void json_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("every field")
            << J("[{'stationuuid':'u','name':'Jazz "
                 "台','url':'http://j/"
                 "1','country':'China','codec':'AAC','bitrate':64,'tags':'jazz,smooth','clickcount':7}]")
            << QStringList{"Jazz 台|China|AAC · 64 kbps|jazz,smooth|http://j/1"};
        QTest::newRow("a bar, markup and controls, as plain text")
            << J("[{'stationuuid':'u','name':'A|B <b>x</b>\\u0007\\u202e','url':'http://j/1'}]")
            << QStringList{"A｜B <b>x</b>||||http://j/1"};
        QTest::newRow("url_resolved only when url is empty")
            << J("[{'stationuuid':'u','name':'R','url':'','url_resolved':'http://r/"
                 "1'},{'stationuuid':'v','name':'S','url':'http://s/1.pls','url_resolved':'http://s/1'}]")
            << QStringList{"R||||http://r/1", "S||||http://s/1.pls"};
        QTest::newRow("missing fields and wrong types: the entry or the field left out")
            << J("[{'name':'no id','url':'http://x/'},{'stationuuid':'u','name':5,'url':'http://x/'},"
                 "{'stationuuid':'v','name':'no "
                 "url'},7,'text',{'stationuuid':'w','name':'W','url':'http://w/',"
                 "'country':['x'],'bitrate':'128','codec':null,'clickcount':-3}]")
            << QStringList{"W||||http://w/"};
        QTest::newRow("local files, devices and shares are no stations; no override in an address")
            << J("[{'stationuuid':'u','name':'F','url':'file:///etc/"
                 "passwd'},{'stationuuid':'v','name':'D','url':"
                 "'/dev/zero','url_resolved':'smb://h/s'},{'stationuuid':'w','name':'O','url':'http://o/"
                 "\\u202ex'}]")
            << QStringList{"O||||http://o/x"};
        QTest::newRow("an address on two lines")
            << J("[{'stationuuid':'u','name':'N','url':'http://x/\\nrm'}]") << QStringList{};
        QTest::newRow("not an array") << J("{'stationuuid':'u'}") << QStringList{"refused"};
        QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << QStringList{"refused"};
        QByteArray many = "[";
        for (int i = 0; i < 10000; ++i)
            many += (i ? "," : "") + Stations({Station(QString::number(i), i)}).mid(1).chopped(1);
        QTest::newRow("10,000 entries: the first 100") << many + "]" << QStringList{"100 rows"};
    }

    void json() {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, rows);
        const readers::DirectoryAnswer answer = readers::ReadDirectoryStations(json);
        QStringList got;
        if (!answer.ok) got << "refused";
        if (answer.stations.size() == 100) got << "100 rows";
        for (const readers::DirectoryStation& station : answer.stations)
            if (answer.stations.size() < 100) got << Row(station);
        QCOMPARE(got, rows);
    }
};

QTEST_GUILESS_MAIN(TstDirectory)
#include "tst_directory.moc"
