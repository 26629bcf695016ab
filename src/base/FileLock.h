#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The system's reason for the last failed call (errno), as a message's
// second line reads it: "permission denied", "no space left on device".
QString systemReason(int error);

// flock's lock on an open descriptor, shared or exclusive. Another process
// that holds it is waited for, at most `timeoutMs`; false when the lock was
// not had (the wait ran out, or the file system refused).
bool lockDescriptor(int fd, bool exclusive, int timeoutMs = 60'000);
void unlockDescriptor(int fd);

// True while `path` (a link at it not followed) names the file open at `fd`.
// A lock taken on a file that was replaced meanwhile guards nothing.
bool pathNamesDescriptor(const QByteArray& path, int fd);

// An exclusive lock on the regular file at a path, for as long as the object
// lives; files written by replacement are locked this way, so two writers
// take turns. When the name holds no regular file (missing, a link) nothing
// is locked: there is nothing another writer could hold either.
class PathLock {
public:
    explicit PathLock(const QByteArray& path);
    ~PathLock();
    PathLock(const PathLock&) = delete;
    PathLock& operator=(const PathLock&) = delete;

    // False when a file is there but its lock could not be had.
    bool held() const { return held_; }
    // The file locked, -1 when there was none.
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool held_ = true;
};

// A new file in the folder of `path` that commit() renames over the name:
// a link at the name is replaced, never followed, and until the rename the
// old file stays whole. The new file takes the old one's permissions, else
// those a new file gets. Dropped without commit, the new file is removed.
class FileReplacement {
public:
    explicit FileReplacement(QByteArray path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the new file; false with failure() set when it cannot be.
    bool open();
    int fd() const { return fd_; }
    // Flushes the new file to the disk and renames it over the name. The
    // descriptor stays open on the file now at the name, for the caller to
    // keep or close (takeDescriptor).
    bool commit();
    int takeDescriptor();
    // The system's reason for the last failure, empty when none.
    const QString& failure() const { return failure_; }

private:
    bool fail();

    QByteArray path_;
    QByteArray temporary_;
    int fd_ = -1;
    bool committed_ = false;
    QString failure_;
};

}  // namespace velmora
