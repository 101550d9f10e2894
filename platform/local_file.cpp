// platform/: the local file reader.
#include "platform/local_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

LocalFile Failed(LocalFile::Outcome outcome, int error = 0) {
    LocalFile file;
    file.outcome = outcome;
    if (error) file.error = QString::fromLocal8Bit(std::strerror(error));
    return file;
}

} // namespace

LocalFile ReadLocalFile(const QString& path, qint64 maxBytes) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a pipe or a device opens at once instead of waiting for its other end.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return Failed(LocalFile::Missing);
        if (error == EISDIR) return Failed(LocalFile::Folder);
        return Failed(LocalFile::Unreadable, error);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info = {};
    if (::fstat(fd, &info) != 0) return Failed(LocalFile::Unreadable, errno);
    if (S_ISDIR(info.st_mode)) return Failed(LocalFile::Folder);
    if (!S_ISREG(info.st_mode)) return Failed(LocalFile::NotRegular);
    if (info.st_size > maxBytes) return Failed(LocalFile::TooLarge);
    LocalFile file;
    // One byte over the bound tells a file that grew since it was looked at.
    file.bytes.resize(qsizetype(info.st_size) + 1);
    qsizetype have = 0;
    while (have < file.bytes.size()) {
        const ssize_t got = ::read(fd, file.bytes.data() + have, size_t(file.bytes.size() - have));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed(LocalFile::Unreadable, errno);
        if (got == 0) break;
        have += got;
        if (have > maxBytes) return Failed(LocalFile::TooLarge);
        if (have == file.bytes.size()) file.bytes.resize(std::min<qint64>(have * 2, maxBytes + 1));
    }
    file.bytes.truncate(have);
    file.outcome = LocalFile::Read;
    return file;
}

} // namespace platform
