// platform/: the file-system operations the station list file needs.
//
// The real layer works on the disk; a test can put another (tests/support) in its place to make a chosen call fail
// (a full disk, a vanished file) without needing a real full disk. Every failure is a RuntimeError.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True for an existing file; a directory of that name counts as none.
    virtual bool FileExists(const QString& path) = 0;
    // The file's length in bytes (64-bit: a 2 GiB file is not empty). Fails when the file does not exist.
    virtual qint64 FileLen(const QString& path) = 0;
    // The whole content. Fails when the file cannot be opened or read, or does not fit in memory.
    virtual QByteArray ReadAll(const QString& path) = 0;
    // Removes the file. A file without write permission bits is not removed: that fails, whoever runs us.
    virtual void DeleteFile(const QString& path) = 0;
    // Replaces the file's content with bytes, all or nothing: a temporary file in the same folder is written,
    // flushed and renamed over it. An existing file without write permission bits makes it fail before
    // anything changes, as the delete does.
    virtual void ReplaceFile(const QString& path, const QByteArray& bytes) = 0;
};

class DiskFileSystem : public FileSystem {
public:
    bool FileExists(const QString& path) override;
    qint64 FileLen(const QString& path) override;
    QByteArray ReadAll(const QString& path) override;
    void DeleteFile(const QString& path) override;
    void ReplaceFile(const QString& path, const QByteArray& bytes) override;
};

// The folder that holds the program's executable; a test may name another.
QString ProgramDirectory();
void SetProgramDirectory(const QString& dir); // empty: the executable's own folder again

FileSystem& CurrentFileSystem();
void SetFileSystem(FileSystem* fileSystem); // nullptr: back to the disk

} // namespace platform
