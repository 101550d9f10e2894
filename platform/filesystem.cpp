// platform/: file-system operations on the disk (POSIX and QSaveFile), and the fault-injecting stand-in.
#include "platform/filesystem.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
DiskFileSystem g_disk;
FileSystem* g_current = nullptr;

// stat() of an existing path, or the errno of the failure.
int StatOf(const QString& path, struct stat& st) {
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &st) == 0 ? 0 : errno;
}

// A save killed between linking its temporary file into the folder and renaming it over the list leaves
// "NAME.XXXXXX" behind (QSaveFile's temporary name); the next save clears such leftovers away.
void RemoveStrayTemporaries(const QString& path) {
    const QFileInfo target(path);
    const QStringList strays = target.absoluteDir().entryList({target.fileName() + QStringLiteral(".??????")},
                                                              QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : strays) {
        const QString suffix = name.mid(target.fileName().size() + 1);
        bool alnum = true;
        for (QChar c : suffix)
            alnum = alnum && c.isLetterOrNumber() && c.unicode() < 128;
        if (alnum) QFile::remove(target.absoluteDir().filePath(name));
    }
}

void RefuseReadOnly(const QString& path) {
    struct stat st {};
    if (StatOf(path, st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        ThrowFileError(EACCES, path);
}
} // namespace

namespace {
QString g_programDir;
}

QString ProgramDirectory() {
    return g_programDir.isEmpty() ? QCoreApplication::applicationDirPath() : g_programDir;
}
void SetProgramDirectory(const QString& dir) {
    g_programDir = dir;
}

FileSystem& CurrentFileSystem() {
    return g_current ? *g_current : g_disk;
}
void SetFileSystem(FileSystem* fileSystem) {
    g_current = fileSystem;
}

bool DiskFileSystem::FileExists(const QString& path) {
    struct stat st {};
    return StatOf(path, st) == 0 && !S_ISDIR(st.st_mode);
}

qint64 DiskFileSystem::FileLen(const QString& path) {
    struct stat st {};
    if (const int err = StatOf(path, st)) ThrowFileError(err, path);
    return static_cast<qint64>(st.st_size);
}

QByteArray DiskFileSystem::ReadAll(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowFileError(errno, path);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowFileError(errno, path);
    if (S_ISDIR(st.st_mode)) ThrowFileError(EISDIR, path);
    if (st.st_size > static_cast<off_t>(std::numeric_limits<qsizetype>::max() / 2))
        throw RuntimeError(errOutOfMemory, QStringLiteral("内存不足"));

    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(st.st_size) + 1);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, path);
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    return bytes;
}

void DiskFileSystem::DeleteFile(const QString& path) {
    RefuseReadOnly(path);
    const QByteArray native = QFile::encodeName(path);
    if (::unlink(native.constData()) != 0) ThrowFileError(errno, path);
}

void DiskFileSystem::ReplaceFile(const QString& path, const QByteArray& bytes) {
    RefuseReadOnly(path);
    RemoveStrayTemporaries(path);
    QSaveFile file(path);
    // Never fall back to writing the list file in place: a failure half-way would leave half a list.
    file.setDirectWriteFallback(false);
    // Unbuffered, and synced by hand: QSaveFile's commit() ignores a failed flush or fsync and renames an
    // empty or short temporary file over the list (seen on a full disk with Qt 6.4). Every write error must
    // surface here.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) ThrowFileError(errno ? errno : EIO, path);
    const auto fail = [&](int err) {
        file.cancelWriting();
        ThrowFileError(err ? err : EIO, path);
    };
    errno = 0;
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) fail(errno);
    if (::fsync(file.handle()) != 0) fail(errno);
    errno = 0;
    if (!file.commit()) ThrowFileError(errno ? errno : EIO, path);
}

} // namespace platform
