// tests/support: the window fixture of the app tests.
#include "support/window_fixture.h"

#include "platform/filesystem.h"
#include "tray/tray_icon.h"

#include <QTest>

WindowFixture::WindowFixture()
    : m_restoreDialogs(std::function<void()>([] { platform::SetDialogs(nullptr); })) {
    platform::SetDialogs(&m_dialogs);
    platform::SetProgramDirectory(m_dir.path());
}

frmMain* WindowFixture::create() {
    m_form = std::make_unique<frmMain>(m_fetcher, m_session);
    return m_form.get();
}

frmMain* WindowFixture::load() {
    if (!m_form) create();
    m_form->Form_Load();
    return m_form.get();
}

frmMain* WindowFixture::start() {
    load();
    m_form->show();
    return QTest::qWaitFor([this] { return m_form->TrayIcon()->icon() != nullptr; }) ? m_form.get() : nullptr;
}
