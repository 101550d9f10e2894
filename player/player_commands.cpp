// player/: SetUpPlayer and the six player commands (handlers of frmMain). They drive the component through
// frmMain::Player() and write the status line; they know nothing of the component's own state beyond the
// volume.
#include "app/frmMain.h"
#include "platform/error.h"
#include "player/player_component.h"
#include "stations/list_view.h"

#include <QAction>
#include <limits>

namespace {
// The volume step in 32 bits; a sum outside that range fails the command before anything is put.
qint32 Step(qint32 volume, qint32 step) {
    qint32 sum = 0;
    if (__builtin_add_overflow(volume, step, &sum))
        throw platform::RuntimeError(platform::errOverflow, QStringLiteral("溢出"));
    return sum;
}
} // namespace

void frmMain::SetUpPlayer() {
    Player().put_uiMode(QStringLiteral("Mini"));
    Player().put_enableContextMenu(false);
    menu_OffSound->setChecked(false);
    l_State->setText(QStringLiteral("Corvana") + SiteAddress);
}

void frmMain::lst_Play_DblClick() {
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    if (!selected) // nothing selected: nothing to play, nothing changes
        return;
    Player().put_URL(selected->SubItems(1));
    l_State->setText(QStringLiteral("正在收听:") + selected->Text());
}

void frmMain::menu_Play_Click() {
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    if (!selected) return;
    l_State->setText(QStringLiteral("正在收听:") + selected->Text());
    Player().controls_play();
}

void frmMain::menu_Stop_Click() {
    Player().controls_stop();
    l_State->setText(QStringLiteral("已停止播放"));
}

void frmMain::menu_Up_Click() {
    Player().put_settings_volume(Step(Player().get_settings_volume(), 5));
}

void frmMain::menu_Down_Click() {
    Player().put_settings_volume(Step(Player().get_settings_volume(), -5));
}

void frmMain::menu_OffSound_Click() {
    // The mark alone decides; the component's own mute state is never read.
    const bool muted = menu_OffSound->isChecked();
    Player().put_settings_mute(!muted);
    menu_OffSound->setChecked(!muted);
}
