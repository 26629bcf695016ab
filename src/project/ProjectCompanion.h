#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace velmora {

// What a file held when it was last seen somewhere: its SHA-256 in lower-case
// hexadecimal and its size in bytes.
struct FileStamp {
    QByteArray sha256;
    qint64 size = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of a regular file's bytes as they are now; nothing when it is
// not a regular file or cannot be read. The second form takes the path's
// bytes exactly, as a record holds them.
std::optional<FileStamp> stampOfFile(const QString& path);
std::optional<FileStamp> stampOfFile(const QByteArray& nativePath);

// stampOfFile for many paths, in their order, read on all the processor's
// cores: a site of thousands of small files is bound by the system calls.
std::vector<std::optional<FileStamp>> stampOfFiles(const std::vector<QByteArray>& nativePaths);

// What Velmora keeps about a project beyond its .kpj, whose format stays as
// it is: named values (the site address, the IndexNow key) and, per scope,
// the stamps of the files last confirmed there (scope: a publishing
// destination, or "indexnow" for the pages last announced).
//
// It lives beside the project file as "<project file name>.velmora", one
// JSON object per line. While in use the file is only appended to, one
// line per change, each handed to the system at once, so a run that stops
// half way keeps every record made before it stopped; later lines override
// earlier ones. When the file grows past a few times the size of what it
// holds, it is rewritten whole, atomically.
//
// Several processes may use one companion at once (two uploads of a
// project to two mirrors). Each change and each rewrite holds the file's
// lock (flock) and first reads what the others appended since, so a rewrite
// never brings back a withdrawn record nor drops another's line; a process
// that finds the file replaced goes on with the new one.
//
// The file may come from someone else: only a regular file is read, at most
// kMaxFileSize bytes of it, and a line that does not make sense is skipped.
// A write that fails raises FileError "Cannot create file %s".
class ProjectCompanion {
public:
    static constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;
    // A record longer than this is refused before anything is written: it
    // would not be read back.
    static constexpr qsizetype kMaxLineSize = 64 * 1024;

    explicit ProjectCompanion(const QString& projectFilePath);
    ~ProjectCompanion();
    ProjectCompanion(const ProjectCompanion&) = delete;
    ProjectCompanion& operator=(const ProjectCompanion&) = delete;

    // "/work/shop.kpj" gives "/work/shop.kpj.velmora".
    static QString pathFor(const QString& projectFilePath);

    // For Save As: the companion of `toProject` becomes what `from` holds,
    // so the site address, the IndexNow key and the publish records go with
    // the project. A companion already at `toProject` belonged to the
    // project file just replaced; it is rewritten, emptied when `from`
    // holds nothing. FileError when the companion cannot be written.
    static void carry(const ProjectCompanion& from, const QString& toProject);
    const QString& path() const { return path_; }

    // An empty text when the key is not set.
    QString value(const QString& key) const;
    // Setting an empty text removes the key.
    void setValue(const QString& key, const QString& value);
    QStringList keys() const { return values_.keys(); }

    QHash<QByteArray, FileStamp> stamps(const QString& scope) const;
    std::optional<FileStamp> stamp(const QString& scope, const QByteArray& name) const;
    // Raises VelmoraError, before anything is written, when the record would
    // be too long to read back.
    void recordStamp(const QString& scope, const QByteArray& name, const FileStamp& stamp);
    // True when a stamp of this scope and name can be recorded.
    static bool fitsStampRecord(const QString& scope, const QByteArray& name);
    void removeStamp(const QString& scope, const QByteArray& name);
    void clearScope(const QString& scope);
    QStringList scopes() const { return scopes_.keys(); }

    // Rewrites the file with only what it holds now.
    void compact();
    // For the end of a run of changes: compacts when a third of the file or
    // more is out of date, so that the next load reads little but what is
    // live. Appending alone lets the file grow to several times that.
    void tidy();

    // The file's size as this object last left it, and the size of the
    // lines that hold what it holds now.
    qint64 fileSize() const { return fileSize_; }
    qint64 liveSize() const { return liveSize_; }

private:
    struct Entry {
        FileStamp stamp;
        qsizetype lineSize = 0;
    };
    struct Value {
        QString text;
        qsizetype lineSize = 0;
    };
    // Lets the file's lock go when it goes out of scope.
    class Locked {
    public:
        explicit Locked(int fd) : fd_(fd) {}
        ~Locked();
        Locked(Locked&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
        Locked& operator=(Locked&&) = delete;

    private:
        int fd_;
    };

    void load();
    bool openFile(bool create);
    void closeFile();
    void forget();
    bool lockFile(bool exclusive, bool create);
    // Locks the file for a change and reads what others wrote since;
    // FileError when it cannot be written.
    Locked lockForWriting();
    void catchUp();
    void apply(const QByteArray& line);
    void setValueInMemory(const QString& key, const QString& value, qsizetype lineSize);
    void recordInMemory(const QString& scope, const QByteArray& name, const FileStamp& stamp,
                        qsizetype lineSize);
    void removeInMemory(const QString& scope, const QByteArray& name);
    void clearInMemory(const QString& scope);
    void refuseUnstorable(const QByteArray& line) const;
    // Appends the line `lineToWrite` gives, decided under the lock; an empty
    // one changes nothing.
    void change(const std::function<QByteArray()>& lineToWrite);
    void rewriteLocked();
    QByteArray liveContent();

    QString path_;
    QByteArray nativePath_;
    QHash<QString, Value> values_;
    QHash<QString, QHash<QByteArray, Entry>> scopes_;
    qint64 fileSize_ = 0;  // the bytes of the file read (or written) so far
    qint64 liveSize_ = 0;
    QByteArray pending_;    // a last line not ended yet
    bool skipping_ = false;  // inside a line too long to be one of ours
    bool usable_ = true;    // false when the path holds something that is not ours to write
    bool writable_ = false;
    int fd_ = -1;           // the file now at the path, while this object has it open
};

// The keys of the named values.
inline const QString kSiteAddressKey = QStringLiteral("site-address");
inline const QString kIndexNowKeyKey = QStringLiteral("indexnow-key");
inline const QString kModernHeadKey = QStringLiteral("modern-head");

}  // namespace velmora
