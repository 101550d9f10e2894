// tests/support: the window fixture of the app tests.
#include "support/window_fixture.h"

#include "platform/filesystem.h"
#include "tray/tray_icon.h"

#include <QDir>
#include <QFile>
#include <QTest>

WindowFixture::WindowFixture(platform::ScriptedDialogs* dialogs)
    : m_dialogs(dialogs ? dialogs : &m_ownDialogs),
      m_restoreDialogs(std::function<void()>([] { platform::SetDialogs(nullptr); })) {
    platform::SetDialogs(m_dialogs);
    platform::SetProgramDirectory(m_dir.path());
}

WindowFixture::~WindowFixture() = default;

QString WindowFixture::listPath() const { return m_dir.filePath(QStringLiteral("CvLst.lst")); }

bool WindowFixture::writeList(const QByteArray& bytes) const {
    QFile f(listPath());
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray WindowFixture::listBytes() const {
    QFile f(listPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

frmMain* WindowFixture::create() {
    m_form = std::make_unique<frmMain>();
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
