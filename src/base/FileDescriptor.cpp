#include "base/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>

namespace velmora {

void FileDescriptor::reset(int fd)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

bool FileDescriptor::close()
{
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* from = bytes.data();
    qint64 count = bytes.size();
    while (count > 0) {
        const ssize_t n = ::write(fd, from, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        from += n;
        count -= n;
    }
    return true;
}

bool readExactly(int fd, char* into, qint64 count)
{
    while (count > 0) {
        const ssize_t n = ::read(fd, into, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        into += n;
        count -= n;
    }
    return true;
}

}  // namespace velmora
