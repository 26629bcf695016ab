#include "ProjectCompanion.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "base/Errors.h"
#include "base/FileLock.h"
#include "base/FileDescriptor.h"

namespace velmora {

namespace {

// Below this the file is never rewritten: a small file costs nothing to keep.
constexpr qint64 kCompactFloor = 64 * 1024;
// Rewritten when it holds more than this many times what is still live.
constexpr qint64 kWasteFactor = 4;
constexpr qint64 kReadChunk = 1024 * 1024;
// Sizes beyond this cannot be told apart from their neighbours in a double.
constexpr double kLargestExactSize = 9007199254740992.0;

const QString kOp = QStringLiteral("op");
const QString kKey = QStringLiteral("key");
const QString kValue = QStringLiteral("value");
const QString kScope = QStringLiteral("scope");
const QString kName = QStringLiteral("name");
const QString kName64 = QStringLiteral("name64");
const QString kSha256 = QStringLiteral("sha256");
const QString kSize = QStringLiteral("size");

bool isValidUtf8(const QByteArray& bytes) { return QString::fromUtf8(bytes).toUtf8() == bytes; }

bool isSha256Hex(const QByteArray& hex)
{
    return hex.size() == 64 && std::all_of(hex.begin(), hex.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

QByteArray lineOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// File names are bytes; those that are not UTF-8 travel as base64.
void putName(QJsonObject& object, const QByteArray& name)
{
    if (isValidUtf8(name))
        object.insert(kName, QString::fromUtf8(name));
    else
        object.insert(kName64, QString::fromLatin1(name.toBase64()));
}

// A text that is not whole Unicode (a lone surrogate escaped in the JSON)
// would come back different from a rewrite; such a line is not one of ours.
std::optional<QString> takeText(const QJsonObject& object, const QString& field)
{
    const QJsonValue value = object.value(field);
    if (!value.isString()) return std::nullopt;
    QString text = value.toString();
    if (!text.isValidUtf16()) return std::nullopt;
    return text;
}

std::optional<QByteArray> takeName(const QJsonObject& object)
{
    if (object.contains(kName)) {
        const std::optional<QString> plain = takeText(object, kName);
        if (!plain) return std::nullopt;
        return plain->toUtf8();
    }
    const QJsonValue coded = object.value(kName64);
    if (!coded.isString()) return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(coded.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return *decoded;
}

QByteArray setLine(const QString& key, const QString& value)
{
    return lineOf({{kOp, QStringLiteral("set")}, {kKey, key}, {kValue, value}});
}

QByteArray stampLine(const QString& scope, const QByteArray& name, const FileStamp& stamp)
{
    QJsonObject object{{kOp, QStringLiteral("stamp")},
                       {kScope, scope},
                       {kSha256, QString::fromLatin1(stamp.sha256)},
                       {kSize, double(stamp.size)}};
    putName(object, name);
    return lineOf(object);
}

QByteArray unstampLine(const QString& scope, const QByteArray& name)
{
    QJsonObject object{{kOp, QStringLiteral("unstamp")}, {kScope, scope}};
    putName(object, name);
    return lineOf(object);
}

QByteArray clearLine(const QString& scope)
{
    return lineOf({{kOp, QStringLiteral("clear")}, {kScope, scope}});
}

template <typename Map>
QList<typename Map::key_type> sortedKeys(const Map& map)
{
    QList<typename Map::key_type> keys = map.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

std::optional<FileStamp> stampOfFile(const QString& path)
{
    return stampOfFile(QFile::encodeName(path));
}

namespace {

// libcrypto's SHA-256, fetched once for a batch of files: fetching it
// again for each of thousands of small files costs more than hashing them.
class Sha256Algorithm {
public:
    Sha256Algorithm() : md_(EVP_MD_fetch(nullptr, "SHA256", nullptr)) {}
    ~Sha256Algorithm() { EVP_MD_free(md_); }
    Sha256Algorithm(const Sha256Algorithm&) = delete;
    Sha256Algorithm& operator=(const Sha256Algorithm&) = delete;
    const EVP_MD* get() const { return md_; }

private:
    EVP_MD* md_;
};

std::optional<FileStamp> stampWith(const Sha256Algorithm& sha256, const QByteArray& nativePath)
{
    // Publishing stamps every file of a site, so this costs one open, one
    // fstat, the reads and a close, and nothing more. O_NONBLOCK: opening a
    // FIFO must not wait for a writer; it is refused as no regular file.
    const FileDescriptor file(::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) return std::nullopt;
    const int fd = file.get();
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    // libcrypto's SHA-256 uses the processor's hashing instructions; Qt's own
    // is some thirty times slower, which a publish of thousands of pages
    // would feel.
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
    if (!hash || !sha256.get() || EVP_DigestInit_ex(hash.get(), sha256.get(), nullptr) != 1)
        return std::nullopt;
    char chunk[64 * 1024];
    qint64 size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (EVP_DigestUpdate(hash.get(), chunk, size_t(n)) != 1) return std::nullopt;
        size += n;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(hash.get(), digest, &length) != 1 || length != 32) return std::nullopt;
    return FileStamp{QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(), size};
}

}  // namespace

std::optional<FileStamp> stampOfFile(const QByteArray& nativePath)
{
    return stampWith(Sha256Algorithm(), nativePath);
}

std::vector<std::optional<FileStamp>> stampOfFiles(const std::vector<QByteArray>& nativePaths)
{
    std::vector<std::optional<FileStamp>> stamps(nativePaths.size());
    // Each worker takes every n-th path; a few hundred files are not worth
    // a thread.
    constexpr std::size_t kFilesPerWorker = 256;
    constexpr std::size_t kMostWorkers = 8;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min(
        {cores, kMostWorkers, std::max<std::size_t>(1, nativePaths.size() / kFilesPerWorker)});
    const Sha256Algorithm sha256;
    const auto stampEvery = [&](std::size_t first) {
        for (std::size_t i = first; i < nativePaths.size(); i += workers)
            stamps[i] = stampWith(sha256, nativePaths[i]);
    };
    {
        std::vector<std::jthread> others;
        others.reserve(workers - 1);
        for (std::size_t w = 1; w < workers; ++w) others.emplace_back(stampEvery, w);
        stampEvery(0);
    }  // the others have joined here
    return stamps;
}

ProjectCompanion::ProjectCompanion(const QString& projectFilePath)
    : path_(pathFor(projectFilePath)), nativePath_(QFile::encodeName(path_))
{
    load();
}

ProjectCompanion::~ProjectCompanion() { closeFile(); }

QString ProjectCompanion::pathFor(const QString& projectFilePath)
{
    return projectFilePath + QStringLiteral(".velmora");
}

void ProjectCompanion::carry(const ProjectCompanion& from, const QString& toProject)
{
    ProjectCompanion to(toProject);
    const bool nothingEitherSide = from.values_.isEmpty() && from.scopes_.isEmpty() &&
                                   to.values_.isEmpty() && to.scopes_.isEmpty();
    if (nothingEitherSide && to.fileSize_ == 0) return;
    const Locked locked = to.lockForWriting();
    to.values_ = from.values_;
    to.scopes_ = from.scopes_;
    to.rewriteLocked();
}

bool ProjectCompanion::openFile(bool create)
{
    // No link is followed and nothing waits on a FIFO or a device.
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(nativePath_.constData(), O_RDWR | O_APPEND | flags | (create ? O_CREAT : 0),
                    0666);
    writable_ = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = ::open(nativePath_.constData(), O_RDONLY | flags);
    if (fd < 0) {
        // Missing: an empty companion, made on the first record. Anything
        // else (a link, no permission) is not ours to read or write.
        usable_ = errno == ENOENT;
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        usable_ = false;
        return false;
    }
    fd_ = fd;
    return true;
}

void ProjectCompanion::closeFile()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void ProjectCompanion::forget()
{
    values_.clear();
    scopes_.clear();
    fileSize_ = liveSize_ = 0;
    pending_.clear();
    skipping_ = false;
}

bool ProjectCompanion::lockFile(bool exclusive, bool create)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (fd_ < 0) {
            if (!openFile(create)) return false;
            // Another file than the one read before (compacted by another
            // process, or made anew): it holds all there is, ours included.
            forget();
        }
        if (!lockDescriptor(fd_, exclusive)) {
            closeFile();
            return false;
        }
        // Locked, then checked: a file replaced while this one waited is
        // no longer the record, and a line appended to it would be lost.
        if (pathNamesDescriptor(nativePath_, fd_)) return true;
        closeFile();
    }
    return false;
}

ProjectCompanion::Locked ProjectCompanion::lockForWriting()
{
    if (!usable_ || !lockFile(true, true)) throw FileError::cannotCreate(path_);
    Locked locked(fd_);
    if (!writable_) throw FileError::cannotCreate(path_);
    catchUp();
    return locked;
}

ProjectCompanion::Locked::~Locked() { unlockDescriptor(fd_); }

void ProjectCompanion::load()
{
    if (!lockFile(false, false)) return;
    const Locked locked(fd_);
    catchUp();
}

void ProjectCompanion::catchUp()
{
    // What other processes appended since this one last looked, line by
    // line; a last line not yet ended waits in pending_ for the rest.
    // Mostly nothing was: then no buffer is needed.
    struct stat status {};
    if (::fstat(fd_, &status) == 0 && status.st_size <= off_t(fileSize_)) return;
    QByteArray chunk(kReadChunk, Qt::Uninitialized);
    while (fileSize_ < kMaxFileSize) {
        const ssize_t n = ::pread(fd_, chunk.data(), size_t(std::min(kReadChunk, kMaxFileSize - fileSize_)),
                                  off_t(fileSize_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        fileSize_ += n;
        qsizetype start = 0;
        while (start < n) {
            const qsizetype end = QByteArrayView(chunk.constData(), n).indexOf('\n', start);
            const qsizetype stop = end < 0 ? n : end;
            if (!skipping_) {
                pending_.append(chunk.constData() + start, stop - start);
                if (pending_.size() > kMaxLineSize) {
                    pending_.clear();
                    skipping_ = true;
                }
            }
            if (end < 0) break;
            if (!skipping_) apply(pending_);
            pending_.clear();
            skipping_ = false;
            start = end + 1;
        }
    }
}

void ProjectCompanion::apply(const QByteArray& line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return;
    const QJsonObject object = document.object();
    const QString op = object.value(kOp).toString();
    const qsizetype lineSize = line.size() + 1;

    if (op == QLatin1String("set")) {
        const std::optional<QString> key = takeText(object, kKey);
        const std::optional<QString> value = takeText(object, kValue);
        if (!key || key->isEmpty() || !value) return;
        setValueInMemory(*key, *value, lineSize);
        return;
    }
    const std::optional<QString> scopeText = takeText(object, kScope);
    if (!scopeText || scopeText->isEmpty()) return;
    const QString& scope = *scopeText;
    if (op == QLatin1String("clear")) {
        clearInMemory(scope);
        return;
    }
    const std::optional<QByteArray> name = takeName(object);
    if (!name || name->isEmpty()) return;
    if (op == QLatin1String("unstamp")) {
        removeInMemory(scope, *name);
        return;
    }
    if (op != QLatin1String("stamp")) return;
    const QByteArray sha256 = object.value(kSha256).toString().toLatin1();
    const QJsonValue sizeValue = object.value(kSize);
    if (!isSha256Hex(sha256) || !sizeValue.isDouble()) return;
    const double size = sizeValue.toDouble();
    if (!(size >= 0 && size <= kLargestExactSize) || size != double(qint64(size))) return;
    recordInMemory(scope, *name, {sha256, qint64(size)}, lineSize);
}

void ProjectCompanion::setValueInMemory(const QString& key, const QString& value,
                                        qsizetype lineSize)
{
    const auto old = values_.constFind(key);
    if (old != values_.constEnd()) {
        liveSize_ -= old->lineSize;
        values_.erase(old);
    }
    if (value.isEmpty()) return;
    values_.insert(key, {value, lineSize});
    liveSize_ += lineSize;
}

void ProjectCompanion::recordInMemory(const QString& scope, const QByteArray& name,
                                      const FileStamp& stamp, qsizetype lineSize)
{
    Entry& entry = scopes_[scope][name];
    liveSize_ += lineSize - entry.lineSize;
    entry = {stamp, lineSize};
}

void ProjectCompanion::removeInMemory(const QString& scope, const QByteArray& name)
{
    const auto found = scopes_.find(scope);
    if (found == scopes_.end()) return;
    const auto entry = found->constFind(name);
    if (entry == found->constEnd()) return;
    liveSize_ -= entry->lineSize;
    found->erase(entry);
    if (found->isEmpty()) scopes_.erase(found);
}

void ProjectCompanion::clearInMemory(const QString& scope)
{
    const auto found = scopes_.constFind(scope);
    if (found == scopes_.constEnd()) return;
    for (const Entry& entry : *found) liveSize_ -= entry.lineSize;
    scopes_.erase(found);
}

QString ProjectCompanion::value(const QString& key) const
{
    return values_.value(key).text;
}

void ProjectCompanion::setValue(const QString& key, const QString& value)
{
    if (key.isEmpty()) return;
    const QByteArray line = setLine(key, value);
    refuseUnstorable(line);
    change([&]() -> QByteArray {
        const auto old = values_.constFind(key);
        return (old == values_.constEnd() ? value.isEmpty() : old->text == value) ? QByteArray()
                                                                                 : line;
    });
}

QHash<QByteArray, FileStamp> ProjectCompanion::stamps(const QString& scope) const
{
    QHash<QByteArray, FileStamp> result;
    const auto found = scopes_.constFind(scope);
    if (found == scopes_.constEnd()) return result;
    result.reserve(found->size());
    for (auto it = found->constBegin(); it != found->constEnd(); ++it)
        result.insert(it.key(), it->stamp);
    return result;
}

std::optional<FileStamp> ProjectCompanion::stamp(const QString& scope, const QByteArray& name) const
{
    const auto found = scopes_.constFind(scope);
    if (found == scopes_.constEnd()) return std::nullopt;
    const auto entry = found->constFind(name);
    if (entry == found->constEnd()) return std::nullopt;
    return entry->stamp;
}

void ProjectCompanion::recordStamp(const QString& scope, const QByteArray& name,
                                   const FileStamp& stamp)
{
    if (scope.isEmpty() || name.isEmpty() || !isSha256Hex(stamp.sha256) || stamp.size < 0)
        throw VelmoraError(QStringLiteral("Invalid file stamp"));
    const QByteArray line = stampLine(scope, name, stamp);
    refuseUnstorable(line);
    change([&] { return line; });
}

bool ProjectCompanion::fitsStampRecord(const QString& scope, const QByteArray& name)
{
    const FileStamp widest{QByteArray(64, '0'), qint64(kLargestExactSize)};
    return stampLine(scope, name, widest).size() - 1 <= kMaxLineSize;
}

void ProjectCompanion::removeStamp(const QString& scope, const QByteArray& name)
{
    // Without a file there is no record to withdraw, and none is made.
    if ((fd_ < 0 || !usable_) && !stamp(scope, name)) return;
    change([&] { return stamp(scope, name) ? unstampLine(scope, name) : QByteArray(); });
}

void ProjectCompanion::clearScope(const QString& scope)
{
    if ((fd_ < 0 || !usable_) && !scopes_.contains(scope)) return;
    change([&] { return scopes_.contains(scope) ? clearLine(scope) : QByteArray(); });
}

void ProjectCompanion::refuseUnstorable(const QByteArray& line) const
{
    // A longer line would be skipped when read back: the value would be
    // lost without a word.
    if (line.size() - 1 > kMaxLineSize)
        throw VelmoraError(QStringLiteral("Cannot store a record of %1 bytes in %2: a record holds "
                                          "%3 bytes at most")
                               .arg(line.size())
                               .arg(path_)
                               .arg(kMaxLineSize));
}

void ProjectCompanion::change(const std::function<QByteArray()>& lineToWrite)
{
    // Decided and written under the lock, from the file as it is now: what
    // another process wrote meanwhile is read first, never overwritten.
    const Locked locked = lockForWriting();
    const QByteArray line = lineToWrite();
    if (line.isEmpty()) return;
    // The record goes to the system in one write, so that a stop after it
    // returns cannot lose it; a torn last line is ended first.
    const bool endsMidLine = !pending_.isEmpty() || skipping_;
    const QByteArray bytes = endsMidLine ? '\n' + line : line;
    if (!writeAll(fd_, bytes)) {
        closeFile();
        throw FileError::cannotCreate(path_);
    }
    if (endsMidLine && !skipping_) apply(pending_);
    pending_.clear();
    skipping_ = false;
    fileSize_ += bytes.size();
    apply(line.chopped(1));
    if (fileSize_ > kCompactFloor && fileSize_ > kWasteFactor * liveSize_) rewriteLocked();
}

void ProjectCompanion::tidy()
{
    if (!usable_ || fileSize_ <= kCompactFloor || 2 * fileSize_ <= 3 * liveSize_) return;
    const Locked locked = lockForWriting();
    if (fileSize_ > kCompactFloor && 2 * fileSize_ > 3 * liveSize_) rewriteLocked();
}

QByteArray ProjectCompanion::liveContent()
{
    // Each size is taken again from the line as written now, so that the
    // live size stays exact whatever spacing the lines read had.
    QByteArray content;
    content.reserve(liveSize_);
    for (const QString& key : sortedKeys(values_)) {
        Value& value = values_[key];
        const QByteArray line = setLine(key, value.text);
        value.lineSize = line.size();
        content += line;
    }
    for (const QString& scope : sortedKeys(scopes_)) {
        QHash<QByteArray, Entry>& entries = scopes_[scope];
        for (const QByteArray& name : sortedKeys(entries)) {
            Entry& entry = entries[name];
            const QByteArray line = stampLine(scope, name, entry.stamp);
            entry.lineSize = line.size();
            content += line;
        }
    }
    return content;
}

void ProjectCompanion::compact()
{
    const Locked locked = lockForWriting();
    rewriteLocked();
}

void ProjectCompanion::rewriteLocked()
{
    // Called with the old file locked and read to its end, so the new file
    // holds every line any process wrote. Others waiting for the lock find
    // the name moved on to the new file and go there.
    const QByteArray content = liveContent();
    FileReplacement file(nativePath_);
    if (!file.open() || !writeAll(file.fd(), content) || !file.commit())
        throw FileError::cannotCreate(path_);
    const int flags = ::fcntl(file.fd(), F_GETFL);
    ::fcntl(file.fd(), F_SETFL, flags | O_APPEND);
    closeFile();  // lets the old file's lock go
    fd_ = file.takeDescriptor();
    writable_ = true;
    fileSize_ = content.size();
    liveSize_ = content.size();
    pending_.clear();
    skipping_ = false;
}

}  // namespace velmora
