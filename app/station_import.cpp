// app/: more doors into the list's add command: stations dropped on lst_Play or pasted into it (Ctrl+V).
// stations/ reads what came (links, a page's links, a playlist's text, playlist files) and completes it from the
// web through the program's one fetcher, on the event loop; the handler appends the stations as 网络URL appends
// one, and the status line says what happened.
#include "app/frmMain.h"

#include "platform/error.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "stations/station_finder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void frmMain::lst_Play_OLEDragDrop(const QMimeData& data) {
    FindStations(stations::ReadDropped(data));
}

void frmMain::lst_Play_Paste() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QMimeData nothing;
    FindStations(stations::ReadDropped(data ? *data : nothing));
}

void frmMain::lst_Play_CancelReading() {
    if (m_finder && m_finder->cancelAll() > 0) StatusLine()(QStringLiteral("已取消读取"));
}

void frmMain::FindStations(const stations::Dropped& dropped) {
    using Refusal = readers::FoundStations::Refusal;
    if (!dropped.refusal.isEmpty()) {
        StatusLine()(dropped.refusal);
        return;
    }
    if (dropped.found.refusal != Refusal::None) {
        ShowRefusal(dropped.found);
        return;
    }
    if (!m_finder) {
        m_finder = new stations::StationFinder(m_fetcher, this);
        connect(m_finder, &stations::StationFinder::finished, this,
                [this](const readers::FoundStations& found, int failures) {
                    platform::Guarded([&] { StationsFound(found, failures); });
                    UpdateDesktop();
                });
    }
    if (m_finder->find(dropped.found) == stations::StationFinder::Taken::Busy) {
        StatusLine()(QStringLiteral("正在读取电台,请稍候再粘贴"));
        return;
    }
    StatusLine()(QStringLiteral("正在读取电台..."));
}

void frmMain::ShowRefusal(const readers::FoundStations& found) {
    using Refusal = readers::FoundStations::Refusal;
    switch (found.refusal) {
    case Refusal::TooLarge:
        StatusLine()(QStringLiteral("内容超过1MB,没有添加电台"));
        return;
    case Refusal::Nothing:
    case Refusal::None:
        StatusLine()(QStringLiteral("没有找到电台地址"));
        return;
    }
}

void frmMain::StationsFound(const readers::FoundStations& found, int failures) {
    if (found.stations.isEmpty() && !failures) {
        ShowRefusal(found);
        return;
    }
    std::vector<stations::Station> list;
    list.reserve(size_t(found.stations.size()));
    for (const readers::FoundStation& station : found.stations)
        list.push_back(
            {station.name.isEmpty() ? readers::HostName(station.address) : station.name, station.address});
    PinFileEntries();
    const stations::StationsAdded added = stations::AddStations(*lst_Play, list, &m_history);
    if (added.added) ListModified = true;
    QString text = added.added           ? QStringLiteral("已添加%1个电台").arg(added.added)
                   : added.alreadyListed ? QStringLiteral("电台已在列表中")
                                         : QStringLiteral("没有添加电台");
    if (added.added && added.alreadyListed)
        text += QStringLiteral(",%1个已在列表中").arg(added.alreadyListed);
    if (failures) text += QStringLiteral(",%1个无法读取").arg(failures);
    if (found.leftOut == readers::FoundStations::SomeLeftOut)
        text += QStringLiteral(",其余未读取(一次最多%1个电台或1MB)").arg(readers::MaxFoundStations);
    else if (found.leftOut > 0)
        text +=
            QStringLiteral(",另有%1个未添加(一次最多%2个)").arg(found.leftOut).arg(readers::MaxFoundStations);
    StatusLine()(text);
}
