#include "FolderFile.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Errors.h"
#include "base/FileDescriptor.h"

namespace velmora {

namespace {

constexpr qint64 kChunk = 65536;

// Where the new content comes from: a buffer or an open file. Both can be
// read from the start again, once the old file has been compared.
class Content {
public:
    virtual ~Content() = default;
    virtual qint64 size() const = 0;
    virtual bool restart() = 0;
    // Up to `room` bytes; 0 at the end, -1 on an error.
    virtual qint64 read(char* into, qint64 room) = 0;
    // True when `theirs`, the old file's bytes from `at` on, are the
    // content's bytes there; called in order, from the start.
    virtual bool matches(qint64 at, QByteArrayView theirs) = 0;
};

class BufferContent final : public Content {
public:
    explicit BufferContent(QByteArrayView bytes) : bytes_(bytes) {}
    qint64 size() const override { return bytes_.size(); }
    bool restart() override
    {
        at_ = 0;
        return true;
    }
    qint64 read(char* into, qint64 room) override
    {
        const qint64 n = std::min<qint64>(room, bytes_.size() - at_);
        if (n > 0) std::memcpy(into, bytes_.data() + at_, static_cast<size_t>(n));
        at_ += n;
        return n;
    }
    bool matches(qint64 at, QByteArrayView theirs) override
    {
        return at + theirs.size() <= bytes_.size() && bytes_.sliced(at, theirs.size()) == theirs;
    }

private:
    QByteArrayView bytes_;
    qint64 at_ = 0;
};

class FileContent final : public Content {
public:
    explicit FileContent(QFile& file) : file_(file) {}
    qint64 size() const override { return file_.size(); }
    bool restart() override { return file_.seek(0); }
    qint64 read(char* into, qint64 room) override { return file_.read(into, room); }
    bool matches(qint64 at, QByteArrayView theirs) override
    {
        if (mine_.size() < theirs.size()) mine_.resize(theirs.size());
        return file_.pos() == at && file_.read(mine_.data(), theirs.size()) == theirs.size() &&
               QByteArrayView(mine_.constData(), theirs.size()) == theirs;
    }

private:
    QFile& file_;
    QByteArray mine_;
};

// True when the old file, open and known to be as long as the content,
// holds the very same bytes. The content is read from its start again
// afterwards.
bool sameBytes(const FileDescriptor& old, Content& content)
{
    if (!content.restart()) return false;
    char theirs[kChunk];
    qint64 at = 0;
    bool same = true;
    while (same && at < content.size()) {
        const qint64 n = std::min(kChunk, content.size() - at);
        same = readExactly(old.get(), theirs, n) && content.matches(at, QByteArrayView(theirs, n));
        at += n;
    }
    return content.restart() && same;
}

// True when `path` is a regular file that holds exactly the content: the
// usual case when an unchanged project is generated again, so it costs a
// stat, an open, the reads and a close. A link, FIFO or device there is
// never opened.
bool alreadyHolds(const QByteArray& path, Content& content)
{
    struct stat info {};
    if (::fstatat(AT_FDCWD, path.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_size != content.size())
        return false;
    const FileDescriptor old(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    return old.valid() && ::fstat(old.get(), &opened) == 0 && S_ISREG(opened.st_mode) &&
           opened.st_ino == info.st_ino && opened.st_dev == info.st_dev &&
           opened.st_size == content.size() && sameBytes(old, content);
}

QByteArray temporaryName()
{
    return ".velmora-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
}

bool isStateFile(FileUse use) { return use != FileUse::Page; }

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

// Writes the content from its start to `fd`; a state file also waits until
// its bytes are on the disk.
bool writeContent(int fd, Content& content, FileUse use)
{
    if (!content.restart()) return false;
    char buffer[kChunk];
    for (;;) {
        const qint64 n = content.read(buffer, kChunk);
        if (n < 0) return false;
        if (n == 0) break;
        if (!writeAll(fd, QByteArrayView(buffer, n))) return false;
    }
    return !isStateFile(use) || ::fsync(fd) == 0;
}

// The way out for a state file whose folder refuses a new file: the regular
// file `seen` at the name, opened without following a link and without
// waiting, is written over. Not atomic, but the only write the folder
// allows.
bool writeInPlace(int dir, const QByteArray& name, const struct stat& seen, Content& content,
                  FileUse use)
{
    FileDescriptor out(
        ::openat(dir, name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!out.valid() || ::fstat(out.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_ino != seen.st_ino || opened.st_dev != seen.st_dev)
        return false;
    // Only the file's owner may narrow its permissions; anyone else who may
    // write it still writes it, as before.
    if (use == FileUse::PrivateState) (void)::fchmod(out.get(), kOwnerOnly);
    return ::ftruncate(out.get(), 0) == 0 && writeContent(out.get(), content, use) && out.close();
}

WriteResult writeInFolder(const QByteArray& folder, const QByteArray& name, Content& content,
                          FileUse use)
{
    const auto shown = [&] { return QFile::decodeName(folder + name); };
    const auto cannotCreate = [&] { return FileError::cannotCreate(shown()); };
    if (!isPlainFileName(name)) throw FileError(notPlainFileNameText(folder + name, name));
    if (folder.contains('\0')) throw cannotCreate();
    // Nothing to write, so nothing to refuse either: a read-only page that
    // already holds these bytes is fine as it is.
    const QByteArray path =
        folder.isEmpty() || folder.endsWith('/') ? folder + name : folder + '/' + name;
    if (!isStateFile(use) && alreadyHolds(path, content)) return WriteResult::Unchanged;

    const FileDescriptor dir(::open(folder.isEmpty() ? "." : folder.constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) throw cannotCreate();

    // What is there now, looked at without following a link: a link is
    // simply replaced, and never opened; so is a FIFO or device in the place
    // of a page.
    mode_t keepMode = 0;
    struct stat info {};
    const bool exists = ::fstatat(dir.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno == ENOENT && !isStateFile(use)) {
        // Nothing of that name yet: a page is made in place, exclusively
        // and without following a link, so there is no old file to keep
        // whole and no temporary file and rename to pay for. Something that
        // appears there meanwhile is left to the replacing write below.
        // Files holding the user's work still go through a temporary file,
        // so an interrupted first write never leaves half a file.
        const int fd = ::openat(dir.get(), name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            FileDescriptor out(fd);
            const bool ok = writeContent(out.get(), content, use);
            if (out.close() && ok) return WriteResult::Written;
            ::unlinkat(dir.get(), name.constData(), 0);
            throw cannotCreate();
        }
        if (errno != EEXIST) throw cannotCreate();
    }
    if (exists) {
        if (S_ISDIR(info.st_mode)) throw cannotCreate();
        if (isStateFile(use) && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
            throw cannotCreate();
        if (S_ISREG(info.st_mode)) {
            // A read-only file stays as it is, as an in-place write would
            // leave it.
            if (::faccessat(dir.get(), name.constData(), W_OK, AT_EACCESS) != 0 ||
                !(info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
                throw cannotCreate();
            keepMode = info.st_mode & 07777;
        }
    }
    if (use == FileUse::PrivateState) keepMode = kOwnerOnly;

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryName();
        fd = ::openat(dir.get(), temporary.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      use == FileUse::PrivateState ? kOwnerOnly : 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const bool folderRefuses = errno == EACCES || errno == EPERM;
        if (folderRefuses && isStateFile(use) && exists && S_ISREG(info.st_mode) &&
            writeInPlace(dir.get(), name, info, content, use))
            return WriteResult::Written;
        throw cannotCreate();
    }
    FileDescriptor out(fd);
    bool ok = (!keepMode || ::fchmod(out.get(), keepMode) == 0) &&
              writeContent(out.get(), content, use);
    ok = out.close() && ok;
    if (!ok || ::renameat(dir.get(), temporary.constData(), dir.get(), name.constData()) != 0) {
        ::unlinkat(dir.get(), temporary.constData(), 0);
        throw cannotCreate();
    }
    // The new name on the disk too; the file itself already is.
    if (isStateFile(use)) (void)::fsync(dir.get());
    return WriteResult::Written;
}

}  // namespace

bool isPlainFileName(QByteArrayView name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

QString notPlainFileNameText(const QByteArray& path, const QByteArray& name)
{
    return QStringLiteral("Cannot create file %1: \"%2\" is not a plain file name")
        .arg(visibleName(path), visibleName(name));
}

QString visibleName(const QByteArray& bytes)
{
    QByteArray shown;
    shown.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32) {
            shown += c;
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            shown += "\\x" + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        }
    }
    return QString::fromUtf8(shown);
}

FolderAndName splitPath(const QByteArray& path)
{
    const qsizetype cut = path.lastIndexOf('/') + 1;
    return {path.left(cut), path.mid(cut)};
}

WriteResult writeFileInFolder(const QByteArray& folder, const QByteArray& name,
                              QByteArrayView content, FileUse use)
{
    BufferContent source(content);
    return writeInFolder(folder, name, source, use);
}

WriteResult writeFileAtPath(const QString& path, QByteArrayView content, FileUse use)
{
    const FolderAndName where = splitPath(QFile::encodeName(path));
    return writeFileInFolder(where.folder, where.name, content, use);
}

WriteResult copyFileInFolder(const QByteArray& folder, const QByteArray& name, QFile& source)
{
    FileContent content(source);
    return writeInFolder(folder, name, content, FileUse::Page);
}

}  // namespace velmora
