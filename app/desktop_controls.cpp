// app/: the desktop's media controls wired to the window: each request of the MPRIS service runs the
// program's own command, with its status-line text, and the service is shown what the player does.
#include "app/frmMain.h"

#include "desktop/mpris.h"
#include "platform/error.h"
#include "player/address.h"
#include "player/player_component.h"
#include "stations/list_view.h"
#include "tray/window_hook.h"

#include <QApplication>
#include <QTimer>

void frmMain::PublishToDesktop() {
    if (m_mpris) return;
    m_mpris = new desktop::MprisService(this);
    m_mpris->setUriAcceptor([](const QString& uri) {
        return player::ClassifyAddress(uri).kind != player::EngineAddress::Refused;
    });
    ConnectDesktopRequests();
    connect(&m_session, &player::Session::stateChanged, this, &frmMain::UpdateDesktop);
    connect(&m_session, &player::Session::titleChanged, this, &frmMain::UpdateDesktop);
    connect(&m_session, &player::Session::volumeChanged, this, &frmMain::UpdateDesktop);
    connect(lst_Play->selectionModel(), &QItemSelectionModel::currentChanged, this, &frmMain::UpdateDesktop);
    m_mpris->registerOnSessionBus();
    UpdateDesktop();
}

void frmMain::ConnectDesktopRequests() {
    // A request runs from the event loop, also from the nested loop of an open dialog or pop-up menu: then it
    // is dropped rather than run inside it (a second save question, a list changed under the add prompt).
    auto when = [this](auto signal, auto body) {
        connect(m_mpris, signal, this, [this, body](auto... args) {
            if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return;
            platform::Guarded([&] { body(args...); });
            UpdateDesktop();
        });
    };
    using desktop::MprisService;
    when(&MprisService::raiseRequested,
         [this] { tray::RestoreWindow(*this, mod_Function::RestoreWindowState); });
    when(&MprisService::quitRequested, [this] { close(); });
    when(&MprisService::playRequested, [this] { Desktop_Play(); });
    when(&MprisService::stopRequested, [this] { menu_Stop_Click(); });
    when(&MprisService::nextRequested, [this] { Desktop_Step(1); });
    when(&MprisService::previousRequested, [this] { Desktop_Step(-1); });
    when(&MprisService::volumeRequested, [this](int volume) { Player().put_settings_volume(volume); });
    when(&MprisService::openUriRequested, [this](const QString& uri) { Desktop_OpenUri(uri); });
}

void frmMain::Desktop_Play() {
    // Holding a station, Play is 播放; just started, it plays the selected station, or else the first, as a
    // double-click does.
    if (!Player().get_URL().trimmed().isEmpty()) {
        menu_Play_Click();
        return;
    }
    if (lst_Play->ListItems().Count() == 0) return;
    if (!lst_Play->SelectedItem()) lst_Play->Select(1);
    lst_Play_DblClick();
}

void frmMain::Desktop_Step(int step) {
    const int count = lst_Play->ListItems().Count();
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    const int index = (selected ? selected->Index() : 0) + step;
    if (index < 1 || index > count) return;
    lst_Play->Select(index);
    lst_Play_DblClick();
}

void frmMain::Desktop_OpenUri(const QString& uri) {
    // An address from outside the list plays as it is, without becoming a station of the list.
    m_session.setListName({});
    Player().put_URL(uri);
    StatusLine()(QStringLiteral("正在收听:") + uri);
    m_listeningTo = uri;
}

void frmMain::UpdateDesktop() {
    // Once the event loop is back: a command changes several things at once (address, state, title), and
    // the desktop should see where they end up, not each step on the way.
    if (!m_mpris || m_desktopUpdateQueued) return;
    m_desktopUpdateQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_desktopUpdateQueued = false;
        ShowDesktop();
    });
}

void frmMain::ShowDesktop() {
    // Everything the desktop is shown comes from the session, the address held for the play button too: a test
    // may drive the commands through another component (SetPlayer), and its address beside this session's
    // state and title would describe a player that does not exist.
    const player::Session& session = m_session;
    const int count = lst_Play->ListItems().Count();
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    const int index = selected ? selected->Index() : 0;
    desktop::MprisState state;
    state.playing = session.listening();
    state.title = session.title();
    // Panels show the name as the window does, bounded; an address the player refuses for its length is
    // nothing it plays, and would send megabytes to every panel listening on the bus.
    const QString url = session.address();
    state.url = QStringView(url).trimmed().size() <= player::MaxAddressLength ? url : QString();
    state.station = url.isEmpty() ? QString() : platform::ShownText(m_listeningTo);
    state.volume = session.volume();
    state.canPlay = !url.trimmed().isEmpty() || count > 0;
    state.canGoNext = count > 0 && index < count;
    state.canGoPrevious = count > 0 && index > 1;
    m_mpris->update(state);
}
