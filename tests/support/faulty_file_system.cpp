// tests/support: the faulty file system.
#include "support/faulty_file_system.h"

#include "platform/error.h"

namespace platform {

QByteArray FaultyFileSystem::ReadAll(const QString& path) {
    if (failRead) ThrowFileError(*failRead, path);
    return DiskFileSystem::ReadAll(path);
}

void FaultyFileSystem::DeleteFile(const QString& path) {
    if (failDelete) ThrowFileError(*failDelete, path);
    DiskFileSystem::DeleteFile(path);
}

void FaultyFileSystem::ReplaceFile(const QString& path, const QByteArray& bytes) {
    ++replaceCalls;
    if (failReplace) ThrowFileError(*failReplace, path);
    DiskFileSystem::ReplaceFile(path, bytes);
}

} // namespace platform
