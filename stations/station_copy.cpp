// stations/: the stations' clipboard forms.
#include "stations/station_copy.h"

#include <QDir>
#include <QMimeData>
#include <QUrl>

namespace stations {

QMimeData* StationsMimeData(const std::vector<Station>& stations) {
    QStringList addresses;
    QByteArray links, m3u = "#EXTM3U\n";
    for (const Station& station : stations) {
        if (station.address.isEmpty()) continue;
        addresses << station.address;
        // A path a user typed is a file's address to other programs.
        const QUrl url = QDir::isAbsolutePath(station.address) ? QUrl::fromLocalFile(station.address)
                                                               : QUrl(station.address, QUrl::TolerantMode);
        links += url.toEncoded() + "\r\n";
        m3u += "#EXTINF:-1," + station.name.toUtf8() + '\n' + station.address.toUtf8() + '\n';
    }
    if (addresses.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setText(addresses.join(u'\n'));
    data->setData(QStringLiteral("text/uri-list"), links);
    data->setData(QStringLiteral("audio/x-mpegurl"), m3u);
    return data;
}

} // namespace stations
