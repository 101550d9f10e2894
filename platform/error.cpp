// platform/: the error type and the error report. Touches only the message box layer.
#include "platform/error.h"

#include "platform/dialogs.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <new>

namespace platform {

RuntimeError::RuntimeError(int number, QString message)
    : m_number(number), m_message(std::move(message)),
      m_what(QStringLiteral("%1: %2").arg(number).arg(m_message).toStdString()) {}

void ThrowFileError(int errnoValue, const QString& path) {
    const QString where = QDir::toNativeSeparators(path);
    switch (errnoValue) {
    case ENOENT:
        throw RuntimeError(errFileNotFound, QStringLiteral("文件未找到: %1").arg(where));
    case ENOTDIR:
        throw RuntimeError(errPathNotFound, QStringLiteral("路径未找到: %1").arg(where));
    case ENOSPC:
    case EDQUOT:
        throw RuntimeError(errDiskFull, QStringLiteral("磁盘已满: %1").arg(where));
    case EACCES:
    case EPERM:
    case EROFS:
        throw RuntimeError(errPermissionDenied, QStringLiteral("没有权限: %1").arg(where));
    default:
        throw RuntimeError(errPathFileAccess,
                           QStringLiteral("路径/文件访问错误: %1 (%2)")
                               .arg(where, QString::fromLocal8Bit(std::strerror(errnoValue))));
    }
}

QString ErrorReportText(const RuntimeError& e) {
    return QStringLiteral("运行时错误 '%1':\r\n\r\n%2").arg(e.number()).arg(e.message());
}

void ReportError(const RuntimeError& e) {
    MsgBox(ErrorReportText(e), vbCritical, QStringLiteral("Corvana"));
}

namespace {
// The report itself must not throw out of an event handler: if the message box fails too, stderr has to do.
void ReportSafely(const RuntimeError& e) {
    try {
        ReportError(e);
    } catch (...) {
        qCritical("%s", e.what());
    }
}
} // namespace

bool Guarded(const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const RuntimeError& e) {
        ReportSafely(e);
    } catch (const std::bad_alloc&) {
        ReportSafely(RuntimeError(errOutOfMemory, QStringLiteral("内存不足")));
    } catch (const std::exception& e) {
        ReportSafely(RuntimeError(errInvalidCall, QString::fromLocal8Bit(e.what())));
    }
    return false;
}

} // namespace platform
