// platform/: the file-system operations the station list file needs.
//
// The real layer works on the disk; a test can put another (tests/support) in its place to make a chosen call
// fail (a full disk, a vanished file) without needing a real full disk. Every failure is a RuntimeError.
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
    // Removes the file (a symbolic link itself, not what it leads to). A file without write permission bits
    // is not removed: that fails, whoever runs us. So does anything that is not a regular file, or a link to
    // one.
    virtual void DeleteFile(const QString& path) = 0;
    // Replaces the file's content with bytes, all or nothing: a temporary file in the same folder is written,
    // synced and renamed over it. A symbolic link is followed to the regular file it leads to. It fails
    // before anything changes for an existing file without write permission bits, as the delete does, and for
    // anything that is not a regular file: a folder, a device, a pipe, a link that leads nowhere.
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

// The name prefix of the save's temporary files beside fileName: "." + fileName + ".corvana-save-"; six
// letters or digits follow. Only this program makes such names, so the clean-up after a killed save touches
// nothing of the user's (a CvLst.lst.backup or CvLst.lst.201501 of their own).
QString SaveTemporaryPrefix(const QString& fileName);

// The files of recordings. Each failure is a RuntimeError in the program's words.
// Makes folder and the folders above it that are missing.
void MakeFolders(const QString& folder);
// Creates a new, empty file folder/stem + extension, exclusively: never one that exists, whoever made it. A
// name taken gets a number, "stem (2).ext", "stem (3).ext" ... The path made.
QString CreateNewFile(const QString& folder, const QString& stem, const QString& extension);
// Gives from's file the name to (a file of the program's own, which it replaces).
void RenameFile(const QString& from, const QString& to);
// Bytes an ordinary user may still write on the file system that holds path; -1 when it cannot be told.
qint64 FreeBytes(const QString& path);

FileSystem& CurrentFileSystem();
void SetFileSystem(FileSystem* fileSystem); // nullptr: back to the disk

} // namespace platform
