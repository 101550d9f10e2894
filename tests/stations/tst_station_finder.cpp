// tests/stations/: the station finder's rules on a scripted fetcher, in milliseconds: names from streams and
// playlists, playlists naming themselves or turning up under a stream's address, the depth and the reads of a
// batch, what counts as a failure, the first stations kept and the rest dropped as soon as that is sure, the
// order; and the batches: merged, waiting, refused, cancelled. The checker of a list's stations on the same
// script. (The same finder on real sockets against hostile servers: tests/player/tst_hostile_servers.)
#include "stations/station_check.h"
#include "stations/station_finder.h"
#include "support/scripted_fetcher.h"

#include <QSignalSpy>
#include <QTest>

using Answer = support::ScriptedFetcher::Answer;
using Web = QHash<QString, Answer>;
Q_DECLARE_METATYPE(Answer)

namespace {

Answer Body(const QByteArray& body, int delayMs = 0) {
    Answer answer;
    answer.body = body;
    answer.delayMs = delayMs;
    return answer;
}
Answer Stream(const QByteArray& name, const QByteArray& type = "audio/mpeg", int delayMs = 0) {
    Answer answer;
    answer.header = {"icy-name: " + name, "Content-Type: " + type};
    answer.delayMs = delayMs;
    return answer;
}
Answer Refused() {
    Answer answer;
    answer.failure = web::Failure::Refused;
    return answer;
}
// A PLS of titled entries, each "title=address".
QByteArray Pls(const QList<std::pair<QByteArray, QByteArray>>& entries) {
    QByteArray pls = "[playlist]\n";
    for (int i = 0; i < entries.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        pls += "File" + n + "=" + entries[i].second + "\nTitle" + n + "=" + entries[i].first + "\n";
    }
    return pls;
}

} // namespace

class TstStationFinder : public QObject {
    Q_OBJECT

    // What the finder answers for links on web: "name|address" rows and a "left out" row, its failures.
    struct Result {
        QStringList rows;
        int failures = -1;
    };
    static Result Find(support::ScriptedFetcher& fetcher, const QStringList& links) {
        stations::StationFinder finder(fetcher);
        QSignalSpy finished(&finder, &stations::StationFinder::finished);
        finder.find(readers::ReadFoundText(links.join(u' ')));
        if (!finished.wait(5000)) return {};
        Result result;
        const auto found = finished.first().at(0).value<readers::FoundStations>();
        for (const readers::FoundStation& station : found.stations)
            result.rows << station.name + u'|' + station.address;
        if (found.leftOut)
            result.rows << (found.leftOut < 0 ? QStringLiteral("left out: some")
                                              : QStringLiteral("left out: %1").arg(found.leftOut));
        result.failures = finished.first().at(1).toInt();
        return result;
    }

private slots:
    void rules_data() {
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<Web>("web");
        QTest::addColumn<QStringList>("stations");
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("reads"); // playlists asked for

        QTest::newRow("a stream's own name, else its host, in the order given")
            << QStringList{"http://a/1", "http://b/2", "http://c/3"}
            << Web{{"http://a/1", Stream("One", "audio/mpeg", 30)}, {"http://c/3", Stream("Th|ree")}}
            << QStringList{"One|http://a/1", "b|http://b/2", "Th｜ree|http://c/3"} << 0 << 0;
        QTest::newRow("a playlist naming itself is the station, titled by it")
            << QStringList{"http://a/self.pls"}
            << Web{{"http://a/self.pls", Body(Pls({{"Self FM", "http://a/self.pls"}}))}}
            << QStringList{"Self FM|http://a/self.pls"} << 0 << 1;
        QTest::newRow("a playlist under a stream's address, named by its server")
            << QStringList{"http://a/listen"}
            << Web{{"http://a/listen",
                    [] {
                        Answer listen = Stream("Listen", "audio/x-scpls; charset=utf-8");
                        listen.body = "[playlist]\nFile1=http://m/1\nFile2=http://m/2\n";
                        return listen;
                    }()}}
            << QStringList{"Listen|http://a/listen"} << 0 << 1;
        // Each playlist lists the next and a stream: eight are read, the ninth is too deep.
        Web chain;
        for (int i = 1; i <= 9; ++i)
            chain.insert(
                QStringLiteral("http://c/%1.pls").arg(i),
                Body(Pls({{"Next", "http://c/" + QByteArray::number(i + 1) + ".pls"},
                          {"Stream " + QByteArray::number(i), "http://s/" + QByteArray::number(i)}})));
        QStringList deepest;
        for (int i = 8; i >= 1; --i)
            deepest << QStringLiteral("Stream %1|http://s/%1").arg(i);
        QTest::newRow("playlists naming playlists, to a depth of 8")
            << QStringList{"http://c/1.pls"} << chain << deepest << 1 << 8;
        // 1 + 64 + 63 reads: the 64th inner playlist is never tried, and is no failure.
        Web wide;
        QList<std::pair<QByteArray, QByteArray>> outer;
        QStringList streams;
        for (int i = 1; i <= 64; ++i) {
            const QByteArray n = QByteArray::number(i);
            outer.append({"A" + n, "http://a/" + n + ".pls"});
            wide.insert("http://a/" + n + ".pls",
                        Body(Pls({{"B", "http://b/" + n + ".pls"}, {"S" + n, "http://s/" + n}})));
            wide.insert("http://b/" + n + ".pls", Refused());
            streams << "S" + n + "|http://s/" + n;
        }
        wide.insert("http://r/r.pls", Body(Pls(outer)));
        QTest::newRow("128 reads in a batch; those never tried are no failures")
            << QStringList{"http://r/r.pls"} << wide << streams << 63 << 128;
        QTest::newRow("a playlist listed twice is read once, and is no failure")
            << QStringList{"http://r/r.pls", "http://p/p.pls"}
            << Web{{"http://r/r.pls", Body(Pls({{"P", "http://p/p.pls"}, {"S1", "http://s/1"}}))},
                   {"http://p/p.pls", Body(Pls({{"S2", "http://s/2"}, {"S3", "http://s/3"}}))}}
            << QStringList{"S1|http://s/1", "S2|http://s/2", "S3|http://s/3"} << 0 << 2;
        QTest::newRow("a playlist refused is a failure, and is left out")
            << QStringList{"http://d/gone.pls", "http://s/1"}
            << Web{{"http://d/gone.pls", Refused()}, {"http://s/1", Stream("S")}}
            << QStringList{"S|http://s/1"} << 1 << 1;
        Answer slow, moved = Body("#EXTM3U\n#EXTINF:-1,One\none.mp3\n#EXTINF:-1,Two\n../two\n");
        slow.failure = web::Failure::TimedOut;
        moved.finalUrl = QUrl("http://b/lists/x.m3u");
        QTest::newRow("a playlist off the air or too slow stays, named by its host")
            << QStringList{"http://d/dead.pls", "http://e/slow.pls"} << Web{{"http://e/slow.pls", slow}}
            << QStringList{"d|http://d/dead.pls", "e|http://e/slow.pls"} << 0 << 2;
        QTest::newRow("a redirected playlist's entries, beside where it came from")
            << QStringList{"http://a/x.m3u"} << Web{{"http://a/x.m3u", moved}}
            << QStringList{"One|http://b/lists/one.mp3", "Two|http://b/two"} << 0 << 1;
        QTest::newRow("a page, an empty playlist: no station, and no failure")
            << QStringList{"http://a/page", "http://a/x.pls", "http://a/empty.pls"}
            << Web{{"http://a/page", Stream("", "text/html; charset=utf-8")},
                   {"http://a/x.pls", Body("<!DOCTYPE html><html><body>Not found</body></html>")},
                   {"http://a/empty.pls", Body("[playlist]\nNumberOfEntries=0\n")}}
            << QStringList{} << 0 << 2;
        QTest::newRow("an untitled playlist, named by its first entry's stream")
            << QStringList{"http://a/list.pls"}
            << Web{{"http://a/list.pls", Body("[playlist]\nFile1=http://s/1\nFile2=http://s/2\n")},
                   {"http://s/1", Stream("Stream One")}}
            << QStringList{"Stream One|http://a/list.pls"} << 0 << 1;
        QTest::newRow("a playlist of playlists: each read, mirrors by name one station")
            << QStringList{"http://d/dir.pls"}
            << Web{{"http://d/dir.pls",
                    Body("[playlist]\nFile1=http://d/1.pls\nFile2=http://d/2.pls\nFile3=http://d/3.pls\n")},
                   {"http://d/1.pls", Body(Pls({{"(#1 - 5/10) Jazz", "http://j/1"}}))},
                   {"http://d/2.pls", Body(Pls({{"(#2 - 0/10) Jazz", "http://j/2"}}))},
                   {"http://d/3.pls", Body(Pls({{"Rock", "http://r/1"}}))}}
            << QStringList{"Jazz|http://d/1.pls", "Rock|http://d/3.pls"} << 0 << 4;
        // Two playlists of 40 and one that never answers: the first 64 are sure before it is needed.
        QList<std::pair<QByteArray, QByteArray>> forty1, forty2;
        QStringList first64;
        for (int i = 1; i <= 40; ++i) {
            const QByteArray n = QByteArray::number(i);
            forty1.append({"A" + n, "http://a/" + n});
            forty2.append({"B" + n, "http://b/" + n});
            first64 << "A" + n + "|http://a/" + n;
        }
        for (int i = 1; i <= 24; ++i)
            first64 << QStringLiteral("B%1|http://b/%1").arg(i);
        first64 << "left out: some";
        Answer never;
        never.delayMs = -1;
        QTest::newRow("the first 64, decided before the rest is read")
            << QStringList{"http://a/a.pls", "http://b/b.pls", "http://n/never.pls"}
            << Web{{"http://a/a.pls", Body(Pls(forty1), 20)},
                   {"http://b/b.pls", Body(Pls(forty2))},
                   {"http://n/never.pls", never}}
            << first64 << 0 << 3;
    }

    void rules() {
        QFETCH(QStringList, links);
        QFETCH(Web, web);
        QFETCH(QStringList, stations);
        QFETCH(int, failures);
        QFETCH(int, reads);
        support::ScriptedFetcher fetcher;
        fetcher.script = web;
        const Result result = Find(fetcher, links);
        QCOMPARE(result.rows, stations);
        QCOMPARE(result.failures, failures);
        const auto bodies =
            std::count_if(fetcher.asked.begin(), fetcher.asked.end(),
                          [](const support::ScriptedFetcher::Asked& asked) { return !asked.head; });
        QCOMPARE(int(bodies), reads);
        // Every request answered or cancelled, and each with a station's bounds.
        QCOMPARE(fetcher.open(), 0);
        for (const support::ScriptedFetcher::Asked& asked : std::as_const(fetcher.asked))
            QCOMPARE(asked.request.timeoutMs, asked.head ? 5000 : 15000);
    }

    // Which stations answer, each "alive" or the reason it does not, in the order given; four asked at once at
    // most, each in the background.
    void checks_data() {
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<Web>("web");
        QTest::addColumn<QStringList>("found");
        Answer late;
        late.failure = web::Failure::TimedOut;
        QTest::newRow("a stream; refused, off the air, slow, a page")
            << QStringList{"http://a/1", "http://b/404", "http://c/off", "http://d/slow", "http://p/page"}
            << Web{{"http://a/1", Stream("A")},
                   {"http://b/404", Refused()},
                   {"http://d/slow", late},
                   {"http://p/page", Stream("", "text/html")}}
            << QStringList{"alive", "服务器拒绝了请求", "无法连接服务器", "连接超时", "不支持的地址"};
        QTest::newRow("playlists: of dead entries, with a live second entry, served under a stream's address")
            << QStringList{"http://l/dead.pls", "http://l/live.pls", "http://l/listen"}
            << Web{{"http://l/dead.pls", Body(Pls({{"X", "http://d/1"}, {"Y", "http://d/2"}}))},
                   {"http://l/live.pls", Body(Pls({{"X", "http://d/3"}, {"Y", "http://s/1"}}))},
                   {"http://s/1", Stream("S")},
                   {"http://l/listen", Stream("L", "audio/x-scpls")}}
            << QStringList{"无法连接服务器", "alive", "服务器拒绝了请求"};
        QTest::newRow("mms over HTTP, else MMS's port; rtsp's port")
            << QStringList{"mms://m/a", "mms://n/b", "mms://o/c", "rtsp://r/x"}
            << Web{{"http://m/a", Stream("")}, {"mms://n:1755/b", {}}, {"rtsp://r:554/x", {}}}
            << QStringList{"alive", "alive", "无法连接服务器", "alive"};
        QStringList ten, dead;
        for (int i = 0; i < 10; ++i)
            ten << QStringLiteral("http://t/%1").arg(i), dead << QStringLiteral("无法连接服务器");
        QTest::newRow("ten: four at a time") << ten << Web{} << dead;
    }
    void checks() {
        QFETCH(QStringList, links);
        QFETCH(Web, web);
        QFETCH(QStringList, found);
        support::ScriptedFetcher fetcher;
        fetcher.script = web;
        stations::StationChecker checker(fetcher);
        QSignalSpy checked(&checker, &stations::StationChecker::checked);
        QSignalSpy finished(&checker, &stations::StationChecker::finished);
        std::vector<stations::Station> list;
        for (const QString& link : links)
            list.push_back({link, link});
        checker.check(list);
        QTRY_COMPARE(finished.size(), 1);
        QHash<QString, QString> got;
        for (const QList<QVariant>& answer : std::as_const(checked)) {
            const auto failure = answer.at(1).value<web::Failure>();
            got.insert(answer.at(0).value<stations::Station>().address,
                       failure == web::Failure::None ? QStringLiteral("alive") : web::FailureText(failure));
        }
        QStringList inOrder;
        for (const QString& link : links)
            inOrder << got.value(link);
        QCOMPARE(inOrder, found);
        QCOMPARE(finished.first().at(1).toInt(), int(found.size() - found.count("alive")));
        QVERIFY(fetcher.mostOpen <= stations::StationChecker::MaxAtOnce);
        for (const support::ScriptedFetcher::Asked& asked : std::as_const(fetcher.asked))
            QVERIFY(asked.request.background);
        // Escape's cancel: nothing is answered after it, and nothing stays open.
        Answer never;
        never.delayMs = -1;
        fetcher.script.insert(links.first(), never);
        checker.check({list.front()});
        QCOMPARE(checker.cancel(), 1);
        QTest::qWait(20);
        QCOMPARE(checked.size(), links.size());
        QCOMPARE(fetcher.open(), 0);
    }

    // One batch is read, four wait, a fifth is refused; a batch of the same addresses is the one already
    // there; Escape's cancel drops them all, and nothing of them is answered after.
    void batches() {
        support::ScriptedFetcher fetcher;
        Answer never;
        never.delayMs = -1;
        for (int i = 0; i < 6; ++i)
            fetcher.script.insert(QStringLiteral("http://h/%1").arg(i), never);
        stations::StationFinder finder(fetcher);
        QSignalSpy finished(&finder, &stations::StationFinder::finished);
        using Taken = stations::StationFinder::Taken;
        const auto batch = [](int i) { return readers::ReadFoundText(QStringLiteral("http://h/%1").arg(i)); };
        for (int i = 0; i < 5; ++i)
            QCOMPARE(finder.find(batch(i)), Taken::Reading);
        QCOMPARE(finder.find(batch(2)), Taken::Merged);
        QCOMPARE(finder.find(batch(5)), Taken::Busy);
        QTRY_COMPARE(fetcher.asked.size(), 1);
        QVERIFY(finder.busy());
        QCOMPARE(finder.cancelAll(), 5);
        QCOMPARE(fetcher.open(), 0);
        QVERIFY(!finder.busy());
        QTest::qWait(50);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(fetcher.asked.size(), 1);
        // And it reads again afterwards.
        fetcher.script.insert(QStringLiteral("http://h/0"), Stream("Zero"));
        QCOMPARE(finder.find(batch(0)), Taken::Reading);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).value<readers::FoundStations>().stations.value(0).name,
                 QStringLiteral("Zero"));
    }
};

QTEST_GUILESS_MAIN(TstStationFinder)
#include "tst_station_finder.moc"
