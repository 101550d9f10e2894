// readers/: the station directory's answers.
#include "readers/directory_json.h"

#include "readers/playlist.h"
#include "readers/station_links.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace readers {

namespace {

// A field as text shown on one line, or nothing when it is missing or not text.
QString Text(const QJsonObject& object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? CleanTitle(value.toString()) : QString();
}

qint64 Number(const QJsonObject& object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    return value.isDouble() && value.toDouble() >= 0 && value.toDouble() < 1e15 ? qint64(value.toDouble())
                                                                                : 0;
}

// An address the list can keep: a station's on the network (never a local file or a share, which Enter would
// have the engine open), one line, no space at its ends, within what the player takes.
QString Address(const QJsonObject& object, QLatin1String key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) return {};
    const QString address = WithoutDirectionMarks(value.toString()).trimmed();
    return address.size() <= 8192 && IsStationLink(address) ? address : QString();
}

} // namespace

DirectoryAnswer ReadDirectoryStations(const QByteArray& json) {
    DirectoryAnswer answer;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) return answer;
    answer.ok = true;
    for (const QJsonValue& entry : document.array()) {
        if (answer.stations.size() >= MaxDirectoryStations) break;
        if (!entry.isObject()) continue;
        const QJsonObject object = entry.toObject();
        DirectoryStation station;
        station.uuid = Text(object, QLatin1String("stationuuid"));
        station.name = StationName(Text(object, QLatin1String("name")));
        station.address = Address(object, QLatin1String("url"));
        if (station.address.isEmpty()) station.address = Address(object, QLatin1String("url_resolved"));
        if (station.uuid.isEmpty() || station.name.isEmpty() || station.address.isEmpty()) continue;
        station.country = Text(object, QLatin1String("country"));
        station.tags = Text(object, QLatin1String("tags"));
        station.language = Text(object, QLatin1String("language"));
        station.codec = Text(object, QLatin1String("codec"));
        station.bitrate = Number(object, QLatin1String("bitrate"));
        station.clicks = Number(object, QLatin1String("clickcount"));
        answer.stations.append(station);
    }
    return answer;
}

QString NameKey(const QString& name) {
    return name.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded();
}

Proposals ProposalsFor(const QString& name, const QList<DirectoryStation>& found) {
    const auto chinese = [](const DirectoryStation& station) {
        const QString language = station.language.toLower();
        return language.contains(QLatin1String("chinese")) || language.contains(QLatin1String("mandarin")) ||
               language.contains(QLatin1String("cantonese"));
    };
    Proposals proposals;
    const QString key = NameKey(name);
    for (const DirectoryStation& station : found)
        if (NameKey(station.name) == key) proposals.stations << station;
    std::stable_sort(proposals.stations.begin(), proposals.stations.end(),
                     [&](const DirectoryStation& a, const DirectoryStation& b) {
                         return chinese(a) != chinese(b) ? chinese(a) : a.clicks > b.clicks;
                     });
    const QList<DirectoryStation>& s = proposals.stations;
    proposals.clearlyBest =
        s.size() == 1 || (s.size() > 1 && s[0].clicks >= 2 * std::max<qint64>(1, s[1].clicks) &&
                          (chinese(s[0]) || !chinese(s[1])));
    return proposals;
}

} // namespace readers
