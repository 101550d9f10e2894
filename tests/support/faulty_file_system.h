// tests/support: the disk, except that the calls a test names fail (a full disk, a vanished file) without
// needing a real full disk.
#pragma once

#include "platform/filesystem.h"

#include <QFile>
#include <optional>

// A file's bytes as they are on the disk, past the program's file layer; "<missing>" when there is no file.
inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

namespace platform {

// The disk, except that the calls named by a test fail with the errno it gives.
class FaultyFileSystem : public DiskFileSystem {
public:
    std::optional<int> failRead;    // ReadAll fails with this errno
    std::optional<int> failDelete;  // DeleteFile fails with this errno
    std::optional<int> failReplace; // ReplaceFile fails with this errno, leaving the file as it was
    int replaceCalls = 0;

    QByteArray ReadAll(const QString& path) override;
    void DeleteFile(const QString& path) override;
    void ReplaceFile(const QString& path, const QByteArray& bytes) override;
};

} // namespace platform
