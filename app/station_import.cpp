// app/: two more doors into the list's add command: stations dropped on lst_Play or pasted into it (Ctrl+V).
// player/ reads what came (links, a playlist's text, playlist files) and completes it from the web off this
// thread; the handler appends the stations as 网络URL appends one, and the status line says what happened.
#include "app/frmMain.h"

#include "platform/dialogs.h"
#include "platform/error.h"
#include "player/station_finder.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

namespace {

bool IsPlaylistFile(const QString& name) {
    for (const char* suffix : {".pls", ".m3u", ".m3u8", ".asx"})
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) return true;
    return false;
}

// A local playlist file, read whole; anything else is refused in words that name it.
frmMain::Dropped ReadLocalFile(const QString& path) {
    const QFileInfo info(path);
    // A folder's address may end in "/", which leaves QFileInfo no name to give.
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    if (info.isDir()) return {{}, QStringLiteral("不能添加文件夹:%1").arg(name)};
    if (!info.exists()) return {{}, QStringLiteral("找不到文件:%1").arg(name)};
    // A device or a pipe could be read without end, or block the window on its first byte.
    if (!info.isFile()) return {{}, QStringLiteral("不是普通文件:%1").arg(name)};
    if (!IsPlaylistFile(name)) return {{}, QStringLiteral("不是播放列表:%1").arg(name)};
    player::FoundStations found;
    if (info.size() > player::MaxFoundTextBytes) {
        found.refusal = player::FoundStations::Refusal::TooLarge;
        return {found, {}};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("无法读取%1:%2").arg(name, file.errorString())};
    // One byte over the bound tells a file that grew since it was looked at.
    const QByteArray bytes = file.read(player::MaxFoundTextBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {{}, QStringLiteral("无法读取%1:%2").arg(name, file.errorString())};
    return {player::ReadFoundPlaylist(bytes, QUrl::fromLocalFile(path)), {}};
}

// Adds more to what a drop gathered so far; a refusal of any part refuses the whole, so that a drop never adds
// half of what it held.
void Gather(player::FoundStations& into, const player::FoundStations& more) {
    using Refusal = player::FoundStations::Refusal;
    if (into.refusal == Refusal::TooLarge) return;
    if (more.refusal == Refusal::TooLarge || more.refusal == Refusal::TooMany) {
        into.refusal = more.refusal;
        into.count += more.count;
        into.stations.clear();
        return;
    }
    into.count += more.stations.size();
    if (into.refusal == Refusal::TooMany) return;
    into.stations += more.stations;
    into.refusal = into.stations.isEmpty() ? Refusal::Nothing : Refusal::None;
    if (into.stations.size() > player::MaxFoundStations) {
        into.refusal = Refusal::TooMany;
        into.stations.clear();
    }
}

} // namespace

frmMain::Dropped frmMain::ReadDropped(const QMimeData& data) {
    if (!data.hasUrls())
        return {data.hasText() ? player::ReadFoundText(data.text()) : player::FoundStations{}, {}};
    Dropped dropped;
    dropped.found.refusal = player::FoundStations::Refusal::Nothing;
    QStringList links;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) {
            links << url.toString();
            continue;
        }
        const Dropped file = ReadLocalFile(url.toLocalFile());
        if (!file.refusal.isEmpty()) return file;
        Gather(dropped.found, file.found);
    }
    if (!links.isEmpty()) Gather(dropped.found, player::ReadFoundText(links.join(u'\n')));
    return dropped;
}

void frmMain::lst_Play_OLEDragDrop(const QMimeData& data) {
    FindStations(ReadDropped(data));
}

void frmMain::lst_Play_Paste() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    FindStations(data ? ReadDropped(*data) : Dropped{});
}

void frmMain::FindStations(const Dropped& dropped) {
    using Refusal = player::FoundStations::Refusal;
    if (!dropped.refusal.isEmpty()) {
        StatusLine()(dropped.refusal);
        return;
    }
    if (dropped.found.refusal != Refusal::None) {
        ShowRefusal(dropped.found);
        return;
    }
    if (!m_finder) {
        m_finder = new player::StationFinder(this);
        connect(m_finder, &player::StationFinder::finished, this,
                [this](const player::FoundStations& found, int failures) {
                    platform::Guarded([&] { StationsFound(found, failures); });
                    UpdateDesktop();
                });
    }
    StatusLine()(QStringLiteral("正在读取电台..."));
    m_finder->find(dropped.found);
}

void frmMain::ShowRefusal(const player::FoundStations& found) {
    using Refusal = player::FoundStations::Refusal;
    switch (found.refusal) {
    case Refusal::TooMany:
        StatusLine()(QStringLiteral("没有添加电台"));
        platform::MsgBox(QStringLiteral("一次最多添加%1个电台,这里有%2个。")
                             .arg(player::MaxFoundStations)
                             .arg(found.count),
                         platform::vbCritical, QStringLiteral("错误"));
        return;
    case Refusal::TooLarge:
        StatusLine()(QStringLiteral("内容超过1MB,没有添加电台"));
        return;
    case Refusal::Nothing:
    case Refusal::None:
        StatusLine()(QStringLiteral("没有找到电台地址"));
        return;
    }
}

void frmMain::StationsFound(const player::FoundStations& found, int failures) {
    if (found.refusal != player::FoundStations::Refusal::None && !(found.stations.isEmpty() && failures)) {
        ShowRefusal(found);
        return;
    }
    std::vector<stations::Station> list;
    list.reserve(size_t(found.stations.size()));
    for (const player::FoundStation& station : found.stations)
        list.push_back(
            {station.name.isEmpty() ? player::HostName(station.address) : station.name, station.address});
    const stations::StationsAdded added = stations::AddStations(*lst_Play, list);
    if (added.added) ListModified = true;
    QString text = added.added           ? QStringLiteral("已添加%1个电台").arg(added.added)
                   : added.alreadyListed ? QStringLiteral("电台已在列表中")
                                         : QStringLiteral("没有添加电台");
    if (added.added && added.alreadyListed)
        text += QStringLiteral(",%1个已在列表中").arg(added.alreadyListed);
    if (failures) text += QStringLiteral(",%1个无法读取").arg(failures);
    StatusLine()(text);
}
