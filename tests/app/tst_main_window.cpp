// tests/app: the window as a user meets it: geometry at 96 DPI, the menu tree, the shortcuts wherever the
// focus is, the link label and About.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/launch.h"
#include "player/media_player.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "support/recording_launcher.h"
#include "support/scripted_dialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

class TstMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    platform::ScriptedDialogs m_dialogs;
    platform::RecordingLauncher m_launcher;
    frmMain* m_form = nullptr;

    void fill() {
        auto items = m_form->lst_Play->ListItems();
        for (const char* name : {"一", "二", "三"})
            items.Add(QString::fromUtf8(name)).SetSubItems(1, QStringLiteral("http://x/"));
    }

private slots:
    void init() {
        m_dialogs = {};
        m_launcher = {};
        platform::SetDialogs(&m_dialogs);
        platform::SetLauncher(&m_launcher);
        platform::SetProgramDirectory(m_dir.path());
        m_form = new frmMain;
    }
    void cleanup() {
        delete m_form;
        platform::SetDialogs(nullptr);
        platform::SetLauncher(nullptr);
    }

    void geometryAt96Dpi() {
        if (qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchX()) != 96)
            QSKIP("the layout figures below are for a 96 DPI screen");
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Corvana"));
        QCOMPARE(m_form->centralWidget()->size(), QSize(281, 498));
        QCOMPARE(m_form->findChild<QWidget*>(QStringLiteral("WMP"))->geometry(), QRect(0, 0, 281, 45));
        QCOMPARE(m_form->Label1->geometry(), QRect(0, 48, 281, 25));
        QCOMPARE(m_form->lst_Play->geometry(), QRect(0, 72, 281, 401));
        QCOMPARE(m_form->l_State->geometry(), QRect(8, 480, 273, 25)); // its bottom 7 pixels are cut off
        // Fixed size: the window cannot grow or shrink.
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
        QVERIFY(m_form->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(m_form->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void labels() {
        QCOMPARE(m_form->Label1->text(), QStringLiteral("让你的心情放个假！Ostrelwww.ostrel.example"));
        QCOMPARE(m_form->Label1->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(m_form->Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(m_form->Label1->alignment() & Qt::AlignLeft);
        QVERIFY(m_form->l_State->alignment() & Qt::AlignHCenter);
        QVERIFY(m_form->l_State->text().isEmpty()); // until set-up writes it
        for (QLabel* label : {static_cast<QLabel*>(m_form->Label1), m_form->l_State}) {
            QCOMPARE(label->font().families().value(0), QStringLiteral("宋体"));
            QCOMPARE(label->font().pointSizeF(), 10.5);
            QCOMPARE(label->font().weight(), QFont::Normal);
            QVERIFY(label->alignment() & Qt::AlignTop);
        }
    }

    void menuTree() {
        struct Entry {
            const char* name;
            const char* caption;
            QKeySequence shortcut;
        };
        const QList<QPair<QString, QList<Entry>>> expected = {
            {QStringLiteral("文件"),
             {{"menu_NetUrl", "网络URL", {}},
              {"menu_Line1", "", {}},
              {"menu_SaveList", "保存列表", {}},
              {"menu_Line2", "", {}},
              {"menu_Exit", "退出", QKeySequence(QStringLiteral("Ctrl+E"))}}},
            {QStringLiteral("列表"),
             {{"menu_CleanList", "清空列表", QKeySequence(QStringLiteral("Ctrl+C"))},
              {"menu_Del", "删除", QKeySequence(Qt::Key_Delete)}}},
            {QStringLiteral("控制"),
             {{"menu_Play", "播放", QKeySequence(QStringLiteral("Ctrl+P"))},
              {"menu_Stop", "停止", QKeySequence(QStringLiteral("Ctrl+S"))},
              {"menu_Line3", "", {}},
              {"menu_Up", "增大声音↑", QKeySequence(QStringLiteral("Ctrl+U"))},
              {"menu_Down", "减小声音↓", QKeySequence(QStringLiteral("Ctrl+D"))},
              {"menu_OffSound", "静音 ╳", QKeySequence(QStringLiteral("Ctrl+O"))}}},
            {QStringLiteral("帮助"), {{"menu_About", "关于", {}}}},
        };
        const QList<QAction*> tops = m_form->menuBar()->actions();
        QCOMPARE(tops.size(), expected.size());
        for (int m = 0; m < tops.size(); ++m) {
            QCOMPARE(tops[m]->text(), expected[m].first);
            const QList<QAction*> entries = tops[m]->menu()->actions();
            QCOMPARE(entries.size(), expected[m].second.size());
            for (int i = 0; i < entries.size(); ++i) {
                const Entry& e = expected[m].second[i];
                QCOMPARE(entries[i]->objectName(), QString::fromLatin1(e.name));
                QCOMPARE(entries[i]->isSeparator(), QByteArray(e.name).startsWith("menu_Line"));
                QCOMPARE(entries[i]->text(), QString::fromUtf8(e.caption));
                QCOMPARE(entries[i]->shortcut(), e.shortcut);
                QVERIFY(entries[i]->isEnabled() && entries[i]->isVisible());
                QCOMPARE(entries[i]->isChecked(), QByteArray(e.name) == "menu_OffSound");
            }
        }
        QCOMPARE(m_form->menu_Control, tops[2]->menu());
    }

    // Del and Ctrl+C belong to the window: they work from the list and from elsewhere in it.
    void shortcutsWhereverTheFocusIs_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("list") << QStringLiteral("lst_Play");
        QTest::newRow("player strip") << QStringLiteral("WMP");
        QTest::newRow("window") << QStringLiteral("frmMain");
    }
    void shortcutsWhereverTheFocusIs() {
        QFETCH(QString, focus);
        m_form->Form_Load();
        fill();
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        QWidget* target = focus == QStringLiteral("frmMain") ? m_form : m_form->findChild<QWidget*>(focus);
        QVERIFY(target);
        target->setFocus();
        m_form->lst_Play->Select(2);

        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_form, Qt::Key_Delete);
        QCOMPARE(m_form->lst_Play->ListItems().Count(), 2);
        QCOMPARE(m_form->lst_Play->ListItems().Item(2).Text(), QStringLiteral("三"));
        QCOMPARE(m_form->ListModified, true);

        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_form, Qt::Key_C,
                        Qt::ControlModifier);
        QCOMPARE(m_form->lst_Play->ListItems().Count(), 0);
    }

    void mouseDoubleClickPlaysTheEntry() {
        m_form->Form_Load();
        fill();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        QWidget* viewport = m_form->lst_Play->viewport();
        const QPoint second = m_form->lst_Play->visualRect(m_form->lst_Play->model()->index(1, 0)).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, second);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, second);
        QCOMPARE(m_form->l_State->text(), QStringLiteral("正在收听:二"));
        QCOMPARE(m_form->WMP->get_URL(), QStringLiteral("http://x/"));
    }

    // Markup in a station's name is shown as the characters it holds: as HTML an <img> would make Qt load
    // the file it names (with /dev/zero, until the program runs out of memory). A small picture stands in.
    void namesWithMarkupShowLiterally() {
        const QString picture = m_dir.filePath(QStringLiteral("probe.png"));
        QImage(4, 4, QImage::Format_RGB32).save(picture);
        const QString name = QStringLiteral("<b>X</b><img src=\"%1\">").arg(picture);
        m_form->Form_Load();
        m_form->lst_Play->ListItems().Add(name).SetSubItems(1, QStringLiteral("http://127.0.0.1:9/"));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        QWidget* viewport = m_form->lst_Play->viewport();
        const QPoint row = m_form->lst_Play->visualRect(m_form->lst_Play->model()->index(0, 0)).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, row);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, row);
        QCOMPARE(m_form->l_State->text(), QStringLiteral("正在收听:") + name);
        QCOMPARE(m_form->l_State->textFormat(), Qt::PlainText);
        // Hovering the row shows its tooltip: the same characters, nothing rendered from them.
        QHelpEvent hover(QEvent::ToolTip, row, viewport->mapToGlobal(row));
        QApplication::sendEvent(viewport, &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        QCOMPARE(shown.toPlainText(), name);
        QToolTip::hideText();
    }

    // One mute state: the menu's mark follows the strip's button, and the menu then undoes it.
    void muteMarkFollowsTheStrip() {
        m_form->Form_Load();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form));
        auto* mute = m_form->WMP->findChild<QAbstractButton*>(QStringLiteral("mute"));
        QVERIFY(mute);
        QVERIFY(!m_form->menu_OffSound->isChecked());
        mute->click();
        QVERIFY(m_form->WMP->get_settings_mute());
        QVERIFY(m_form->menu_OffSound->isChecked());
        m_form->menu_OffSound->trigger();
        QVERIFY(!m_form->WMP->get_settings_mute());
        QVERIFY(!m_form->menu_OffSound->isChecked());
        QVERIFY(!mute->isChecked());
    }

    void linkLabelLaunchesEveryClick() {
        m_form->show();
        QTest::mouseClick(m_form->Label1, Qt::LeftButton);
        QTest::mouseClick(m_form->Label1, Qt::LeftButton);
        QCOMPARE(m_launcher.calls.size(), size_t(2));
        QCOMPARE(m_launcher.calls[1].commandLine, QStringLiteral("explorer.exe https://www.ostrel.example/"));
        QCOMPARE(m_launcher.calls[1].windowStyle, 2);

        // A launch that cannot start is reported; the program goes on.
        m_launcher.fail = true;
        QTest::mouseClick(m_form->Label1, Qt::LeftButton);
        QCOMPARE(m_dialogs.shown.size(), size_t(1));
        QCOMPARE(m_dialogs.shown[0].style, 16);
        QVERIFY(m_form->isVisible());
    }

    void about() {
        m_form->menu_About->trigger();
        QCOMPARE(m_dialogs.shown.size(), size_t(1));
        QCOMPARE(m_dialogs.shown[0].text,
                 QStringLiteral("提示：Ostrel为你提供一切免费杀毒，软件等资源下载 www.ostrel.example"));
        QCOMPARE(m_dialogs.shown[0].style, 64);
        QCOMPARE(m_dialogs.shown[0].title, QStringLiteral("关于"));
    }

    void tabOrder() {
        QWidget* w = m_form->findChild<QWidget*>(QStringLiteral("WMP"));
        QList<QWidget*> chain;
        QWidget* it = w;
        for (int i = 0; i < 50 && chain.size() < 4; ++i, it = it->nextInFocusChain())
            if (it == w || it == m_form->lst_Play || it == m_form->l_State || it == m_form->Label1)
                if (!chain.contains(it)) chain << it;
        QCOMPARE(chain, (QList<QWidget*>{w, m_form->lst_Play, m_form->l_State, m_form->Label1}));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_main_window.moc"
