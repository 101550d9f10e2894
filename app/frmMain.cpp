// app/: frmMain's construction: its controls laid out in twips, its menus wired to the handlers.
#include "app/frmMain.h"

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/twips.h"
#include "platform/window_state.h"
#include "player/media_player.h"
#include "stations/list_view.h"
#include "stations/station_finder.h"
#include "tray/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QSessionManager>
#include <QShortcut>

namespace mod_Function {
qint16 RestoreWindowState = 0;
} // namespace mod_Function

const QString frmMain::SiteHost = QStringLiteral("www.ostrel.example");
const QString frmMain::SiteAddress = QStringLiteral("https://www.ostrel.example/");

namespace {

// The labels' face: "宋体" 10.5 pt, normal weight, with Song-style faces a Linux desktop has in its place.
QFont SongFont() {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSizeF(10.5);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

class QtSessionEndRequest : public SessionEndRequest {
public:
    explicit QtSessionEndRequest(QSessionManager& manager) : m_manager(manager) {}
    bool allowsInteraction() override { return m_manager.allowsInteraction(); }
    void release() override { m_manager.release(); }
    void cancel() override { m_manager.cancel(); }

private:
    QSessionManager& m_manager;
};

// Calls back when the application is told to quit, before Qt closes its windows.
class QuitWatcher : public QObject {
public:
    QuitWatcher(std::function<void()> seen, QObject* parent) : QObject(parent), m_seen(std::move(seen)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Quit && watched == qApp) m_seen();
        return false;
    }

private:
    std::function<void()> m_seen;
};

QRect TwipsRect(double left, double top, double width, double height) {
    using namespace platform;
    return QRect(TwipsToPixelsX(left), TwipsToPixelsY(top), TwipsToPixelsX(width), TwipsToPixelsY(height));
}
} // namespace

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

frmMain::frmMain(web::Fetcher& fetcher, player::Session& session, QWidget* parent)
    : QMainWindow(parent), m_fetcher(fetcher), m_session(session) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Corvana"));
    setWindowIcon(QIcon(QStringLiteral(":/corvana/corvana-32.png")));
    // Fixed size, minimizable, no maximize button, a taskbar entry of its own.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    BuildLayout();
    BuildMenus();
    // One mute state: the menu's mark follows the session however it was changed (menu, strip, desktop).
    connect(&m_session, &player::Session::mutedChanged, menu_OffSound, &QAction::setChecked);
    // Every title heard goes into the run's history, under the name the list gives its station.
    connect(&m_session, &player::Session::titleChanged, this, [this](const QString& title) {
        const QString station =
            m_session.listName().isEmpty() ? m_session.stationName() : m_session.listName();
        if (m_titlesHeard.add(QDateTime::currentDateTime(), station, title) && m_historyWindow)
            m_historyWindow->Refresh();
    });
    adjustSize();
    setFixedSize(size());
    m_tray = new tray::TrayIcon(*this, *menu_Control, mod_Function::RestoreWindowState, this);
    platform::SetDialogParent(this);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        QtSessionEndRequest request(manager);
        SessionEnding(request);
    });
    // A logout that goes on ends the program with a Quit, which closes every window: after the logout's
    // QueryUnload, that close asks nothing again (the session manager allows no question any more).
    qApp->installEventFilter(new QuitWatcher(
        [this] {
            if (m_sessionAnswered) m_unloaded = true;
        },
        this));
}

frmMain::~frmMain() {
    if (platform::DialogParent() == this) platform::SetDialogParent(nullptr);
    // The session outlives the window; what it says while the controls go reaches none of the window's handlers.
    disconnect(&m_session, nullptr, this, nullptr);
}

void frmMain::BuildLayout() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(platform::TwipsToPixelsX(4215), platform::TwipsToPixelsY(7470));
    setCentralWidget(client);

    WMP = new player::MediaPlayer(m_session, client);
    WMP->setObjectName(QStringLiteral("WMP"));
    WMP->showRecorder(m_recorder);
    WMP->setGeometry(TwipsRect(0, 0, 4215, 675));

    Label1 = new LinkLabel(client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(TwipsRect(0, 720, 4215, 375));
    Label1->setText(QStringLiteral("让你的心情放个假！Ostrel") + SiteHost);
    Label1->setFont(SongFont());
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setFocusPolicy(Qt::NoFocus);
    connect(Label1, &LinkLabel::clicked, this, [this] { Run(&frmMain::Label1_Click); });

    lst_Play = new stations::ListView(client);
    lst_Play->setObjectName(QStringLiteral("lst_Play"));
    lst_Play->setGeometry(TwipsRect(0, 1080, 4215, 6015));
    lst_Play->SetWidth(4215);
    connect(lst_Play, &QAbstractItemView::doubleClicked, this, [this] { Run(&frmMain::lst_Play_DblClick); });
    lst_Play->installEventFilter(this);
    m_listViewport = lst_Play->viewport();
    m_listViewport->installEventFilter(this);
    lst_Play->viewport()->setAcceptDrops(true);
    // The list's history on the keys every editor of lists has: Ctrl+C clears the list at once, and Ctrl+Z is the
    // way back. Both redo keys are set: the desktop's standard one is only one of them.
    const auto key = [this](const QKeySequence& keys, void (frmMain::*handler)()) {
        auto* shortcut = new QShortcut(keys, this, nullptr, nullptr, Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, handler] { Run(handler); });
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_Z), &frmMain::Form_Undo);
    key(QKeySequence(Qt::CTRL | Qt::Key_Y), &frmMain::Form_Redo);
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &frmMain::Form_Redo);
    // The community's station directory: a key, not a menu entry.
    key(QKeySequence(Qt::CTRL | Qt::Key_F), &frmMain::Form_Search);
    // The list's own doors, shown in its right-click menu. Ctrl+Insert is the desktop's other copy key: Ctrl+C
    // stays 清空列表, and the list's built-in copy of one cell never sees it.
    key(QKeySequence(Qt::Key_F2), &frmMain::lst_Play_Rename);
    key(QKeySequence(Qt::ALT | Qt::Key_Up), &frmMain::lst_Play_MoveUp);
    key(QKeySequence(Qt::ALT | Qt::Key_Down), &frmMain::lst_Play_MoveDown);
    key(QKeySequence(Qt::CTRL | Qt::Key_Insert), &frmMain::lst_Play_Copy);
    connect(&lst_Play->stationModel(), &stations::StationModel::nameEdited, this,
            [this](int row, const QString& text) {
                platform::Guarded([&] { lst_Play_AfterLabelEdit(row, text); });
                UpdateDesktop();
            });
    // What was heard, and keeping what plays: keys too.
    key(QKeySequence(Qt::CTRL | Qt::Key_H), &frmMain::Form_History);
    key(QKeySequence(Qt::CTRL | Qt::Key_R), &frmMain::Form_Record);
    // Ctrl+V on the list; Ctrl+C stays the window's 清空列表.
    auto* paste =
        new QShortcut(QKeySequence::Paste, lst_Play, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(paste, &QShortcut::activated, this, [this] { Run(&frmMain::lst_Play_Paste); });

    l_State = new QLabel(client);
    l_State->setObjectName(QStringLiteral("l_State"));
    l_State->setGeometry(TwipsRect(120, 7200, 4095, 375));
    l_State->setFont(SongFont());
    // It quotes station names: never read as markup.
    l_State->setTextFormat(Qt::PlainText);
    l_State->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l_State->setFocusPolicy(Qt::NoFocus);

    // Stacking as designed: Label1 reaches 15 twips into the list and is drawn under it.
    Label1->lower();
    // Tab order WMP, lst_Play, l_State, Label1. Qt leaves widgets that take no focus out of setTabOrder, so
    // each takes tab focus just long enough to be placed in the chain.
    const QList<QWidget*> order = {WMP, lst_Play, l_State, Label1};
    QList<Qt::FocusPolicy> policies;
    for (QWidget* w : order) {
        policies << w->focusPolicy();
        w->setFocusPolicy(Qt::TabFocus);
    }
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (qsizetype i = 0; i < order.size(); ++i)
        order[i]->setFocusPolicy(policies[i]);
}

void frmMain::BuildMenus() {
    auto entry = [this](QMenu* menu, QAction*& action, const char* name, const QString& caption,
                        const QKeySequence& shortcut, void (frmMain::*handler)()) {
        action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        // The shortcuts belong to the window, whichever of its controls has the focus.
        action->setShortcutContext(Qt::WindowShortcut);
        if (handler) connect(action, &QAction::triggered, this, [this, handler] { Run(handler); });
    };
    auto separator = [](QMenu* menu, QAction*& action, const char* name) {
        action = menu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
    };
    auto top = [this](QMenu*& menu, const char* name, const QString& caption) {
        menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
    };

    top(menu_File, "menu_File", QStringLiteral("文件"));
    entry(menu_File, menu_NetUrl, "menu_NetUrl", QStringLiteral("网络URL"), {}, &frmMain::menu_NetUrl_Click);
    separator(menu_File, menu_Line1, "menu_Line1");
    entry(menu_File, menu_SaveList, "menu_SaveList", QStringLiteral("保存列表"), {},
          &frmMain::menu_SaveList_Click);
    separator(menu_File, menu_Line2, "menu_Line2");
    entry(menu_File, menu_Exit, "menu_Exit", QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_E),
          nullptr);
    connect(menu_Exit, &QAction::triggered, this, &QWidget::close);

    top(menu_List, "menu_List", QStringLiteral("列表"));
    entry(menu_List, menu_CleanList, "menu_CleanList", QStringLiteral("清空列表"),
          QKeySequence(Qt::CTRL | Qt::Key_C), &frmMain::menu_CleanList_Click);
    entry(menu_List, menu_Del, "menu_Del", QStringLiteral("删除"), QKeySequence(Qt::Key_Delete),
          &frmMain::menu_Del_Click);

    top(menu_Control, "menu_Control", QStringLiteral("控制"));
    entry(menu_Control, menu_Play, "menu_Play", QStringLiteral("播放"), QKeySequence(Qt::CTRL | Qt::Key_P),
          &frmMain::menu_Play_Click);
    entry(menu_Control, menu_Stop, "menu_Stop", QStringLiteral("停止"), QKeySequence(Qt::CTRL | Qt::Key_S),
          &frmMain::menu_Stop_Click);
    separator(menu_Control, menu_Line3, "menu_Line3");
    entry(menu_Control, menu_Up, "menu_Up", QStringLiteral("增大声音↑"), QKeySequence(Qt::CTRL | Qt::Key_U),
          &frmMain::menu_Up_Click);
    entry(menu_Control, menu_Down, "menu_Down", QStringLiteral("减小声音↓"),
          QKeySequence(Qt::CTRL | Qt::Key_D), &frmMain::menu_Down_Click);
    entry(menu_Control, menu_OffSound, "menu_OffSound", QStringLiteral("静音 ╳"),
          QKeySequence(Qt::CTRL | Qt::Key_O), nullptr);
    menu_OffSound->setCheckable(true);
    menu_OffSound->setChecked(true);
    connect(menu_OffSound, &QAction::triggered, this, [this](bool checked) {
        // The action has flipped its own mark already; the command decides from the mark as it was, and sets
        // it only once the component took the new mute state.
        menu_OffSound->setChecked(!checked);
        Run(&frmMain::menu_OffSound_Click);
    });

    top(menu_Help, "menu_Help", QStringLiteral("帮助"));
    entry(menu_Help, menu_About, "menu_About", QStringLiteral("关于"), {}, &frmMain::menu_About_Click);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // The event's type first: the list and its viewport pass their last events through here while they are
    // being destroyed, when nothing may be asked of them.
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == lst_Play) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !(key->modifiers() & ~Qt::KeypadModifier)) {
                Run(&frmMain::lst_Play_DblClick);
                return true;
            }
            if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
                Run(&frmMain::lst_Play_CancelReading);
                return true;
            }
        }
        break;
    case QEvent::ContextMenu:
        if (watched == lst_Play || watched == m_listViewport) {
            const auto* menu = static_cast<QContextMenuEvent*>(event);
            const QPoint pos =
                watched == lst_Play ? lst_Play->viewport()->mapFrom(lst_Play, menu->pos()) : menu->pos();
            platform::Guarded(
                [&] { lst_Play_ContextMenu(pos, menu->reason() == QContextMenuEvent::Keyboard); });
            return true;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (watched == m_listViewport) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            // A drag's formats come with it: looking at them asks the other program nothing. A row of the list
            // dragged within it is a move.
            if (drag->source() == lst_Play ||
                !stations::ChosenFormat(drag->mimeData()->formats()).isEmpty()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        break;
    case QEvent::Drop:
        if (watched == m_listViewport) {
            auto* drop = static_cast<QDropEvent*>(event);
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            if (drop->source() == lst_Play) {
                const auto selected = lst_Play->SelectedItem();
                const QModelIndex at = lst_Play->indexAt(drop->position().toPoint());
                const int to = at.isValid() ? at.row() : lst_Play->ListItems().Count() - 1;
                if (selected) platform::Guarded([&] { lst_Play_Move(selected->Index() - 1, to); });
            } else {
                platform::Guarded([this, drop] { lst_Play_OLEDragDrop(*drop->mimeData()); });
            }
            UpdateDesktop();
            return true;
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Run(void (frmMain::*handler)()) {
    platform::Guarded([this, handler] { (this->*handler)(); });
    UpdateDesktop();
}

player::PlayerComponent& frmMain::Player() {
    return m_player ? *m_player : *static_cast<player::PlayerComponent*>(WMP);
}

void frmMain::SetPlayer(player::PlayerComponent* player) {
    m_player = player;
}

void frmMain::StartEngine() {
    m_session.startEngineOrFail();
}

qint16 frmMain::WindowState() const {
    return platform::WindowState(*this);
}

void frmMain::SetWindowState(qint16 state) {
    platform::SetWindowState(*this, state);
}
