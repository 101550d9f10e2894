// app/: an old list brought back to life: which of its stations still answer, and the dead ones mended from the
// community's directory, the listener choosing each replacement.
#include "app/frmMain.h"

#include "app/repair_window.h"
#include "platform/error.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "stations/station_check.h"

void frmMain::CheckStations(const std::vector<stations::Station>& stations) {
    if (stations.empty()) return;
    if (!m_checker) {
        m_checker = new stations::StationChecker(m_fetcher, this);
        connect(m_checker, &stations::StationChecker::checked, this,
                [this](const stations::Station& station, web::Failure why) {
                    lst_Play->stationModel().setCheck(
                        station, {why == web::Failure::None ? QString() : web::FailureText(why),
                                  QDateTime::currentDateTime()});
                });
        connect(m_checker, &stations::StationChecker::finished, this, [this](int checked, int dead) {
            StatusLine()(dead ? QStringLiteral("检查了%1个电台,%2个无法连接").arg(checked).arg(dead)
                              : QStringLiteral("检查了%1个电台,都能连接").arg(checked));
        });
    }
    m_checker->check(stations);
    StatusLine()(QStringLiteral("正在检查%1个电台...").arg(stations.size()));
}

void frmMain::lst_Play_Check() {
    if (const auto selected = lst_Play->SelectedItem())
        CheckStations({{selected->Text(), selected->SubItems(1)}});
}

void frmMain::lst_Play_CheckAll() {
    CheckStations(lst_Play->stationModel().stations());
}

void frmMain::lst_Play_FindInDirectory() {
    const auto selected = lst_Play->SelectedItem();
    if (!selected) return;
    Form_Search();
    m_search->OpenFor(selected->Text(), selected->SubItems(1));
}

void frmMain::lst_Play_Repair() {
    std::vector<stations::Station> dead;
    for (const int row : lst_Play->stationModel().deadRows())
        dead.push_back(lst_Play->stationModel().at(row));
    if (dead.empty()) return;
    if (m_repair) m_repair->close();
    auto* repair = new frmRepair(m_fetcher, m_directoryNames, std::move(dead), this);
    m_repair = repair;
    connect(repair, &frmRepair::replaceRequested, this, [this](const QList<frmRepair::Change>& changes) {
        QList<std::pair<stations::Station, QString>> replacements;
        for (const frmRepair::Change& change : changes)
            replacements.append({change.station, change.address});
        platform::Guarded([&] { ReplaceAddresses(replacements); });
        UpdateDesktop();
    });
    repair->show();
    repair->raise();
    repair->activateWindow();
}

void frmMain::ReplaceAddresses(const QList<std::pair<stations::Station, QString>>& changes) {
    // Each station where it is now: the list may have changed while the listener chose.
    std::vector<std::pair<int, QString>> rows;
    const std::vector<stations::Station>& all = lst_Play->stationModel().stations();
    for (const auto& [station, address] : changes)
        for (int row = 0; row < int(all.size()); ++row)
            if (all[size_t(row)].name == station.name && all[size_t(row)].address == station.address) {
                rows.emplace_back(row, address);
                break;
            }
    PinFileEntries();
    const int replaced = stations::ReplaceAddresses(*lst_Play, rows, &m_history);
    if (!replaced) return;
    ListModified = true;
    StatusLine()(replaced == 1 ? QStringLiteral("已替换地址:") + changes.first().first.name
                               : QStringLiteral("已替换%1个电台的地址").arg(replaced));
}
