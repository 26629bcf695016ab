#pragma once

#include <QByteArrayView>
#include <utility>

namespace velmora {

// Owns one open file descriptor and closes it when it goes out of scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }
    // Closes the one held now and holds `fd` instead.
    void reset(int fd = -1);
    // Closes now and tells whether every write reached the file system.
    bool close();

private:
    int fd_ = -1;
};

// Writes every byte to `fd`, going on after interruptions and partial
// writes; false on an error.
bool writeAll(int fd, QByteArrayView bytes);
// Reads exactly `count` bytes from `fd`; false at an early end or on an
// error.
bool readExactly(int fd, char* into, qint64 count);

}  // namespace velmora
