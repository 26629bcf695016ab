#include "publish/ChangedFiles.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <exception>

#include "base/Errors.h"
#include "base/ScopeExit.h"

namespace velmora {

namespace {

QByteArray protocolWord(PublishProtocol protocol)
{
    switch (protocol) {
    case PublishProtocol::Ftp: return "ftp";
    case PublishProtocol::Ftps: return "ftps";
    case PublishProtocol::FtpsImplicit: return "ftps-implicit";
    case PublishProtocol::Sftp: return "sftp";
    }
    return "unknown";
}

// Every byte but letters, digits and "-._~" is escaped, so no part can
// borrow another's separator.
QByteArray escaped(const QByteArray& part) { return part.toPercentEncoding(); }

QString plural(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

}  // namespace

QString PublishScope(const PublishDestination& destination)
{
    const QByteArray host = destination.host.toLower().toUtf8();
    const QByteArray directory = NormalisedRemoteDirectory(destination.directory);
    return QString::fromLatin1(protocolWord(destination.protocol) + "://" +
                               escaped(destination.user) + '@' + escaped(host) + ':' +
                               QByteArray::number(destination.port) + '/' + escaped(directory));
}

void CheckRecordable(const PublishDestination& destination)
{
    // Room for a name of this length below the folder; the names a project
    // makes are far shorter.
    constexpr qsizetype kLongestName = 1024;
    const QByteArray directory = NormalisedRemoteDirectory(destination.directory);
    const QByteArray name = directory + QByteArray(kLongestName, 'x');
    if (!ProjectCompanion::fitsStampRecord(PublishScope(destination), name)) {
        throw VelmoraError(QStringLiteral("The remote folder is too long to be recorded: %1 bytes")
                               .arg(destination.directory.size()));
    }
}

ChangedFiles::ChangedFiles(ProjectCompanion* companion, const PublishDestination& destination,
                           const std::vector<UploadItem>& plan, bool onlyChanged)
    : companion_(companion), scope_(PublishScope(destination)), onlyChanged_(onlyChanged)
{
    if (!companion_) {
        // Nothing to compare with and nowhere to keep stamps: no file is read.
        toSend_ = plan;
        stamps_.assign(plan.size(), std::nullopt);
        return;
    }

    // With onlyChanged, only the last file of each remote name counts.
    std::vector<const UploadItem*> considered;
    considered.reserve(plan.size());
    if (onlyChanged_) {
        QHash<QByteArray, std::size_t> lastOfName;
        lastOfName.reserve(qsizetype(plan.size()));
        for (std::size_t i = 0; i < plan.size(); ++i) lastOfName.insert(plan[i].remoteName, i);
        for (std::size_t i = 0; i < plan.size(); ++i)
            if (lastOfName.value(plan[i].remoteName) == i) considered.push_back(&plan[i]);
    } else {
        for (const UploadItem& item : plan) considered.push_back(&item);
    }

    // One read per local file, however many names it goes under.
    QHash<QByteArray, std::size_t> pathIndex;
    pathIndex.reserve(qsizetype(considered.size()));
    std::vector<QByteArray> paths;
    for (const UploadItem* item : considered) {
        if (pathIndex.contains(item->localPath)) continue;
        pathIndex.insert(item->localPath, paths.size());
        paths.push_back(item->localPath);
    }
    const std::vector<std::optional<FileStamp>> stampOfPath = stampOfFiles(paths);

    QSet<QByteArray> planned;
    planned.reserve(qsizetype(plan.size()));
    for (const UploadItem& item : plan) planned.insert(item.remoteName);
    const QHash<QByteArray, FileStamp> recorded = companion_->stamps(scope_);
    for (auto it = recorded.begin(); it != recorded.end(); ++it)
        if (!planned.contains(it.key())) dropped_.append(it.key());
    std::sort(dropped_.begin(), dropped_.end());

    for (const UploadItem* item : considered) {
        const std::optional<FileStamp>& stamp = stampOfPath[pathIndex.value(item->localPath)];
        if (onlyChanged_ && stamp && companion_->stamp(scope_, item->remoteName) == stamp) {
            ++upToDate_;
            continue;
        }
        toSend_.push_back(*item);
        stamps_.push_back(stamp);
    }
}

QByteArrayList ChangedFiles::namesToSend() const
{
    QByteArrayList names;
    names.reserve(qsizetype(toSend_.size()));
    for (const UploadItem& item : toSend_) names.append(item.remoteName);
    return names;
}

QByteArrayList ChangedFiles::plannedChanges() const
{
    QByteArrayList changes = namesToSend();
    if (removeDropped_)
        for (const QByteArray& name : dropped_) changes.append("delete " + name);
    return changes;
}

void ChangedFiles::fileRemoved(const QByteArray& remoteName)
{
    ++removed_;
    keepRecord([&] { companion_->removeStamp(scope_, remoteName); });
}

void ChangedFiles::fileStarted(int index)
{
    if (index < 0 || std::size_t(index) >= toSend_.size()) return;
    const QByteArray& name = toSend_[std::size_t(index)].remoteName;
    keepRecord([&] { companion_->removeStamp(scope_, name); });
}

void ChangedFiles::fileConfirmed(int index)
{
    if (index < 0 || std::size_t(index) >= toSend_.size()) return;
    ++sent_;
    const std::optional<FileStamp>& stamp = stamps_[std::size_t(index)];
    if (!stamp) return;  // read by the publisher but not by us: nothing sure to record
    const QByteArray& name = toSend_[std::size_t(index)].remoteName;
    keepRecord([&] { companion_->recordStamp(scope_, name, *stamp); });
}

void ChangedFiles::keepRecord(const std::function<void()>& change)
{
    if (!companion_ || recordFailure_) return;
    try {
        change();
    } catch (const VelmoraError& e) {
        // Raised from here it would unwind through the publisher's signal,
        // perhaps through the event loop; it is raised once publish() ends.
        recordFailure_ = e.text();
        if (running_) running_->stop();
    }
}

void ChangedFiles::publishThrough(Publisher& publisher)
{
    const QByteArrayList removals = removeDropped_ ? dropped_ : QByteArrayList();
    // Nothing to send or delete needs no connection.
    if (onlyChanged_ && toSend_.empty() && removals.isEmpty()) return;
    running_ = &publisher;
    const QMetaObject::Connection started =
        QObject::connect(&publisher, &Publisher::fileStarted, &publisher,
                         [this](int index, int) { fileStarted(index); });
    const QMetaObject::Connection confirmed = QObject::connect(
        &publisher, &Publisher::fileConfirmed, &publisher, [this](int index) { fileConfirmed(index); });
    const QMetaObject::Connection removed =
        QObject::connect(&publisher, &Publisher::fileRemoved, &publisher,
                         [this](const QByteArray& name) { fileRemoved(name); });
    const ScopeExit detach([&] {
        QObject::disconnect(started);
        QObject::disconnect(confirmed);
        QObject::disconnect(removed);
        running_ = nullptr;
    });
    try {
        publisher.publish(toSend_, removals);
    } catch (const VelmoraError&) {
        // A stop made for the record's sake reports the record, not the stop.
        if (!recordFailure_) throw;
    }
    if (recordFailure_) throw FileError(*recordFailure_);
    if (!companion_) return;
    try {
        companion_->tidy();
    } catch (const FileError&) {
        // The record as appended stands; it is compacted another time.
    }
}

QString ChangedFiles::summary() const
{
    QString text = plural(sent_, "file sent", "files sent") + QStringLiteral(", ") +
                   QStringLiteral("%1 already up to date").arg(upToDate_);
    if (removeDropped_) text += QStringLiteral(", %1 removed").arg(removed_);
    return text;
}

}  // namespace velmora
