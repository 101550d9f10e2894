// app/: more doors into the list's add command: stations dropped on lst_Play or pasted into it (Ctrl+V).
// stations/ reads what came (links, a page's links, a playlist's text, playlist files) and completes it from the
// web through the program's one fetcher, on the event loop; the handler appends the stations as 网络URL appends
// one, and the status line says what happened.
#include "app/frmMain.h"
#include "platform/error.h"
#include "player/player_commands.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "stations/station_check.h"
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
    if (m_checker && m_checker->cancel() > 0) StatusLine()(QStringLiteral("已停止检查"));
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
    AddFoundStations(found, failures);
}

stations::StationsAdded frmMain::AddFoundStations(const readers::FoundStations& found, int failures,
                                                  bool pasted) {
    std::vector<stations::Station> list;
    list.reserve(size_t(found.stations.size()));
    for (const readers::FoundStation& station : found.stations)
        list.push_back(
            {station.name.isEmpty() ? readers::HostName(station.address) : station.name, station.address});
    PinFileEntries();
    const stations::StationsAdded added = stations::AddStations(*lst_Play, list, &m_history, pasted);
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
    return added;
}

// the directory

void frmMain::Form_Search() {
    if (!m_search) {
        m_search = new frmSearch(m_fetcher, m_directoryNames, this);
        connect(m_search, &frmSearch::playRequested, this, [this](const readers::DirectoryStation& station) {
            platform::Guarded([&] {
                m_listeningTo = station.name;
                m_session.setListName(station.name);
                player::PlayStation(Player(), player::SelectedStation{station.name, station.address},
                                    StatusLine());
            });
            UpdateDesktop();
        });
        connect(m_search, &frmSearch::replaceRequested, this,
                [this](const QString& name, const QString& address, const readers::DirectoryStation& found) {
                    platform::Guarded([&] { ReplaceAddresses({{{name, address}, found.address}}); });
                    UpdateDesktop();
                });
        // A station played from the window that cannot be heard says so there, not only behind it.
        connect(&m_session, &player::Session::stateChanged, m_search, [this](player::Session::State state) {
            if (state == player::Session::State::Error && m_search->Played() == m_session.address())
                m_search->ShowPlayFailure(m_session.stateText());
        });
        connect(m_search, &frmSearch::addRequested, this,
                [this](const QList<readers::DirectoryStation>& chosen) {
                    // As a paste adds: the station's own address, which the session reads as a playlist if it is one.
                    readers::FoundStations found;
                    for (const readers::DirectoryStation& station : chosen) {
                        readers::FoundStation one;
                        one.name = station.name;
                        one.address = station.address;
                        found.stations << one;
                    }
                    platform::Guarded([&] {
                        const stations::StationsAdded added = AddFoundStations(found, 0, false);
                        m_search->SetStatus(added.added ? QStringLiteral("已添加%1个电台").arg(added.added)
                                                        : QStringLiteral("电台已在列表中"));
                    });
                    UpdateDesktop();
                });
    }
    m_search->show();
    m_search->raise();
    m_search->activateWindow();
}
