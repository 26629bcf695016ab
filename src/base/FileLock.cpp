#include "FileLock.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

QString systemReason(int error)
{
    QString reason = QString::fromLocal8Bit(std::strerror(error));
    // A second line reads on from the first: "permission denied".
    if (reason.size() > 1 && reason[0].isUpper() && reason[1].isLower())
        reason[0] = reason[0].toLower();
    return reason;
}

bool lockDescriptor(int fd, bool exclusive, int timeoutMs)
{
    const int operation = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    QElapsedTimer waited;
    waited.start();
    unsigned long pause = 1;
    for (;;) {
        if (::flock(fd, operation) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        // Another process writes; it is done in a moment, but a process
        // that never lets go must not hold this one forever.
        if (waited.elapsed() >= timeoutMs) {
            errno = ETIMEDOUT;
            return false;
        }
        QThread::msleep(pause);
        pause = std::min(pause * 2, 20ul);
    }
}

void unlockDescriptor(int fd)
{
    if (fd >= 0) ::flock(fd, LOCK_UN);
}

bool pathNamesDescriptor(const QByteArray& path, int fd)
{
    struct stat atPath {}, open {};
    return ::lstat(path.constData(), &atPath) == 0 && ::fstat(fd, &open) == 0 &&
           atPath.st_dev == open.st_dev && atPath.st_ino == open.st_ino;
}

PathLock::PathLock(const QByteArray& path)
{
    // Locked, then checked: a writer that replaced the file while this one
    // waited has left the old file locked for nobody.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return;  // nothing there, or a link: nothing to hold
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return;
        }
        if (!lockDescriptor(fd, true)) {
            ::close(fd);
            held_ = false;
            return;
        }
        if (pathNamesDescriptor(path, fd)) {
            fd_ = fd;
            return;
        }
        ::close(fd);
    }
    held_ = false;
}

PathLock::~PathLock()
{
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
}

FileReplacement::FileReplacement(QByteArray path) : path_(std::move(path)) {}

FileReplacement::~FileReplacement()
{
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.isEmpty()) ::unlink(temporary_.constData());
}

bool FileReplacement::fail()
{
    failure_ = systemReason(errno);
    return false;
}

bool FileReplacement::open()
{
    const qsizetype slash = path_.lastIndexOf('/');
    const QByteArray folder = path_.left(slash + 1);
    const QByteArray name = path_.mid(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            folder + '.' + name + ".velmora-" +
            QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int fd = ::open(candidate.constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return fail();
        }
        fd_ = fd;
        temporary_ = candidate;
        // The replaced file's permissions stay (a file kept private stays so).
        struct stat old {};
        if (::lstat(path_.constData(), &old) == 0 && S_ISREG(old.st_mode))
            ::fchmod(fd_, old.st_mode & 07777);
        return true;
    }
    errno = EEXIST;
    return fail();
}

bool FileReplacement::commit()
{
    if (fd_ < 0) return false;
    if (::fsync(fd_) != 0) return fail();
    if (::rename(temporary_.constData(), path_.constData()) != 0) return fail();
    committed_ = true;
    return true;
}

int FileReplacement::takeDescriptor() { return std::exchange(fd_, -1); }

}  // namespace velmora
