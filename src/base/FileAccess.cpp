#include "FileAccess.h"

#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

bool isReadOnlyFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) return false;
    constexpr auto kAnyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup |
                               QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & kAnyWrite);
}

bool isNonRegularFile(const QString& path)
{
    struct stat info {};
    const QByteArray bytes = QFile::encodeName(path);
    return !bytes.isEmpty() && ::stat(bytes.constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool openRegularFile(QFile& file, const QByteArray& path, QIODevice::OpenMode mode)
{
    if (path.isEmpty() || path.contains('\0')) return false;
    const bool write = mode & QIODevice::WriteOnly;
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // the file type is checked before anything is read.
    const int fd = ::open(path.constData(),
                          (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        // Something is there, so no caller may take it for a missing file.
        errno = EINVAL;
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const auto openMode = (write ? QIODevice::ReadWrite : QIODevice::ReadOnly) |
                          (mode & QIODevice::Unbuffered);
    if (!file.open(fd, openMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    return openRegularFile(file, QFile::encodeName(path), mode);
}

qint64 regularFileSize(const QByteArray& path)
{
    struct stat info {};
    if (path.isEmpty() || path.contains('\0') || ::stat(path.constData(), &info) != 0 ||
        !S_ISREG(info.st_mode))
        return -1;
    return info.st_size;
}

ReadOutcome readWholeFile(const QString& path, qint64 limit, QByteArray& out)
{
    QFile file;
    if (!openRegularFile(file, path, QIODevice::ReadOnly))
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    // Read in chunks until the end, so memory follows the bytes that are
    // really there; one byte past the limit tells a file that is too long.
    QByteArray data;
    char chunk[65536];
    for (;;) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0) return ReadOutcome::Failed;
        if (got == 0) break;
        data.append(chunk, static_cast<qsizetype>(got));
        if (data.size() > limit) return ReadOutcome::Failed;
    }
    out = std::move(data);
    return ReadOutcome::Read;
}

}  // namespace velmora
