// platform/: file-system operations on the disk (POSIX), and the save's temporary files.
#include "platform/filesystem.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

namespace {
DiskFileSystem g_disk;
FileSystem* g_current = nullptr;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// stat() of an existing path, or the errno of the failure.
int StatOf(const QString& path, struct stat& st) {
    return ::stat(Native(path).constData(), &st) == 0 ? 0 : errno;
}

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return QStringLiteral("一个文件夹");
    if (S_ISCHR(mode)) return QStringLiteral("一个字符设备");
    if (S_ISBLK(mode)) return QStringLiteral("一个块设备");
    if (S_ISFIFO(mode)) return QStringLiteral("一个管道");
    if (S_ISSOCK(mode)) return QStringLiteral("一个套接字");
    return QStringLiteral("一个特殊文件");
}

// The file a save of path writes: path itself, or the regular file its symbolic links lead to. No file at
// path at all is fine (the save creates it); anything else that is not a regular file is refused, so that a
// save never puts a file of ours in place of a folder, a device or a pipe, and never creates a file where a
// dangling link points.
QString SaveTarget(const QString& path) {
    QString current = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(Native(current).constData(), &st) != 0) {
            const int err = errno;
            if (err == ENOENT && links == 0) return current;
            if (err == ENOENT)
                throw RuntimeError(errFileNotFound,
                                   QStringLiteral("文件未找到: %1 是一个链接, 它指向的 %2 不存在")
                                       .arg(Shown(path), Shown(current)));
            ThrowFileError(err, current);
        }
        if (S_ISREG(st.st_mode)) return current;
        if (!S_ISLNK(st.st_mode)) {
            const QString what =
                links == 0 ? Shown(path) : QStringLiteral("%1 指向的 %2").arg(Shown(path), Shown(current));
            throw RuntimeError(errPathFileAccess,
                               QStringLiteral("路径/文件访问错误: %1 是%2, 不是普通文件, 列表不能保存在这里")
                                   .arg(what, KindOf(st.st_mode)));
        }
        if (links == 40) ThrowFileError(ELOOP, path);
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(Native(current).constData(), target.data(), size_t(target.size()));
        if (length < 0) ThrowFileError(errno, current);
        if (length >= target.size()) ThrowFileError(ENAMETOOLONG, current);
        target.truncate(length);
        const QString next = QFile::decodeName(target);
        // A relative link is read from the link's own folder.
        current = next.startsWith(u'/') ? next : QFileInfo(current).path() + u'/' + next;
    }
}

bool IsSaveTemporary(const QString& name, const QString& prefix) {
    if (!name.startsWith(prefix) || name.size() != prefix.size() + 6) return false;
    for (QChar c : QStringView(name).sliced(prefix.size())) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'))) return false;
    }
    return true;
}

// A save killed between creating its temporary file and renaming it over the list leaves that file behind;
// the next save clears such leftovers away. A save in progress (another copy of the program) holds a lock on
// its temporary file, and its file is left alone.
void RemoveLeftoverTemporaries(const QString& folder, const QString& fileName) {
    const QString prefix = SaveTemporaryPrefix(fileName);
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!IsSaveTemporary(name, prefix)) continue;
        const QByteArray native = Native(dir.filePath(name));
        const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(native.constData());
        ::close(fd);
    }
}

void RefuseReadOnly(const QString& target, const QString& path) {
    struct stat st {};
    if (::stat(Native(target).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        ThrowFileError(EACCES, path);
}

// The save's temporary file, open for writing and locked, or the error that says why the folder refused it.
struct Temporary {
    int fd = -1;
    QByteArray name;
};
Temporary CreateTemporary(const QString& folder, const QString& fileName, const QString& path) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QString prefix = QDir(folder).filePath(SaveTemporaryPrefix(fileName));
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = prefix;
        for (int i = 0; i < 6; ++i)
            name += QChar(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
        Temporary temp{-1, Native(name)};
        // Mode 0666 less the umask, as any new file; an existing list's own mode is copied over it later.
        temp.fd = ::open(temp.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (temp.fd >= 0) {
            ::flock(temp.fd, LOCK_EX);
            return temp;
        }
        const int err = errno;
        if (err == EEXIST) continue;
        if (err == ENOENT || err == ENOTDIR) ThrowFileError(ENOTDIR, folder);
        if (err == EACCES || err == EPERM || err == EROFS)
            throw RuntimeError(errPermissionDenied,
                               QStringLiteral("没有权限: 文件夹 %1 不允许新建文件, %2 无法保存")
                                   .arg(Shown(folder), Shown(path)));
        ThrowFileError(err, path);
    }
    ThrowFileError(EEXIST, path);
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
    RefuseReadOnly(SaveTarget(path), path);
    if (::unlink(Native(path).constData()) != 0) ThrowFileError(errno, path);
}

void DiskFileSystem::ReplaceFile(const QString& path, const QByteArray& bytes) {
    const QString target = SaveTarget(path);
    RefuseReadOnly(target, path);
    const QFileInfo info(target);
    RemoveLeftoverTemporaries(info.path(), info.fileName());
    Temporary temp = CreateTemporary(info.path(), info.fileName(), path);
    // Until the rename, the list file is untouched: any failure takes the temporary file away again.
    const auto fail = [&](int err) {
        ::unlink(temp.name.constData());
        ::close(temp.fd);
        ThrowFileError(err ? err : EIO, path);
    };
    // The list keeps its own mode. A file system that keeps no modes (a FAT stick) refuses the change, and
    // the list is still saved.
    struct stat existing {};
    if (::stat(Native(target).constData(), &existing) == 0) (void)::fchmod(temp.fd, existing.st_mode & 07777);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(temp.fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) fail(wrote < 0 ? errno : ENOSPC);
        done += wrote;
    }
    // On the disk before the rename: a crash right after the rename must find the new list whole, not empty.
    if (::fsync(temp.fd) != 0) fail(errno);
    if (::rename(temp.name.constData(), Native(target).constData()) != 0) fail(errno);
    // The rename itself reaches the disk with the folder; a folder that cannot be synced still holds it.
    const int folder = ::open(Native(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    ::close(temp.fd);
}

QString SaveTemporaryPrefix(const QString& fileName) {
    return u'.' + fileName + QStringLiteral(".corvana-save-");
}

void MakeFolders(const QString& folder) {
    if (QFileInfo(folder).isDir()) return;
    // The first folder of the path that is missing or cannot be made says why.
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder) MakeFolders(parent);
    if (::mkdir(Native(folder).constData(), 0777) != 0 && errno != EEXIST) ThrowFileError(errno, folder);
}

QString CreateNewFile(const QString& folder, const QString& stem, const QString& extension) {
    for (int number = 1;; ++number) {
        const QString name =
            number == 1 ? stem + extension : QStringLiteral("%1 (%2)%3").arg(stem).arg(number).arg(extension);
        const QString path = QDir(folder).filePath(name);
        const int fd = ::open(Native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST || number == 1000) ThrowFileError(errno, path);
    }
}

void RenameFile(const QString& from, const QString& to) {
    if (::rename(Native(from).constData(), Native(to).constData()) != 0) ThrowFileError(errno, to);
}

qint64 FreeBytes(const QString& path) {
    struct statvfs st {};
    if (::statvfs(Native(path).constData(), &st) != 0) return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

} // namespace platform
