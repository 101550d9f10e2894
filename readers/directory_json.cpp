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
        station.codec = Text(object, QLatin1String("codec"));
        station.bitrate = Number(object, QLatin1String("bitrate"));
        station.clicks = Number(object, QLatin1String("clickcount"));
        answer.stations.append(station);
    }
    return answer;
}

} // namespace readers
