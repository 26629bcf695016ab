#pragma once

#include <QByteArrayList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "publish/Publisher.h"
#include "publish/Publishing.h"
#include "project/ProjectCompanion.h"

namespace velmora {

// The companion scope that holds what a destination was last sent: one per
// protocol, host, port, user and remote directory, so that another folder or
// another login on the same server starts from nothing. Host names compare
// without regard to case; "www" and "www/" are one directory.
QString PublishScope(const PublishDestination& destination);

// Raises VelmoraError when what is sent to this destination could not be
// recorded (a remote folder so long that no file's record under it would
// be read back), so that an upload is refused before anything is written.
void CheckRecordable(const PublishDestination& destination);

// Decides which files of an upload plan a destination still needs, from the
// record of what it last confirmed there, and keeps that record as the
// files are confirmed.
//
// Each local file is read once, when the plan is split, for its SHA-256 and
// size. With `onlyChanged`, a remote name whose record matches is left out;
// when a name occurs more than once in the plan only its last file counts,
// since that is what a full upload leaves on the server. Without it every
// file is sent, as before, and the record is refreshed.
//
// Without a record (no companion: a project that has no file yet) every
// file is new and nothing is kept. A file that cannot be read stays in the
// plan, so that the upload reports it as it always has. A name's record is withdrawn before its upload starts
// and written again once the server confirms it, so an upload cut off
// mid-file never leaves a record claiming bytes the server does not hold.
class ChangedFiles {
public:
    ChangedFiles(ProjectCompanion* companion, const PublishDestination& destination,
                 const std::vector<UploadItem>& plan, bool onlyChanged);

    const QString& scope() const { return scope_; }
    bool onlyChanged() const { return onlyChanged_; }

    // What publish() is to be given, in the plan's order.
    const std::vector<UploadItem>& toSend() const { return toSend_; }
    // The remote names that would be sent: the dry run.
    QByteArrayList namesToSend() const;
    // Remote names the destination already holds as they are here.
    int upToDateCount() const { return upToDate_; }
    // The names this destination holds from an earlier upload (as the
    // record has them) that the plan no longer holds, in order: all that
    // "Remove pages no longer in the project" may delete. A file the record
    // does not name (placed there by hand) is never among them.
    const QByteArrayList& droppedNames() const { return dropped_; }
    // Deletes droppedNames() once every file is sent, and drops each from
    // the record as the server confirms it gone.
    void setRemoveDropped(bool remove) { removeDropped_ = remove; }
    bool removesDropped() const { return removeDropped_; }
    int removedCount() const { return removed_; }
    // The dry run: each name to send, then "delete NAME" for each file to
    // delete.
    QByteArrayList plannedChanges() const;
    // Files the server has confirmed so far.
    int sentCount() const { return sent_; }

    // The publisher's reports, by index into toSend().
    void fileStarted(int index);
    void fileConfirmed(int index);
    void fileRemoved(const QByteArray& remoteName);

    // Publishes toSend() through `publisher`, keeping the record as it goes.
    // A record that cannot be written stops the upload and is the failure
    // raised, after the publisher has ended. A publish that ends well
    // leaves the record's file compact.
    void publishThrough(Publisher& publisher);

    // "2 files sent, 9998 already up to date."
    QString summary() const;

private:
    void keepRecord(const std::function<void()>& change);

    ProjectCompanion* companion_;
    QString scope_;
    bool onlyChanged_ = false;
    std::vector<UploadItem> toSend_;
    std::vector<std::optional<FileStamp>> stamps_;  // of toSend_, nothing when unreadable
    int upToDate_ = 0;
    int sent_ = 0;
    QByteArrayList dropped_;
    bool removeDropped_ = false;
    int removed_ = 0;
    std::optional<QString> recordFailure_;
    Publisher* running_ = nullptr;
};

}  // namespace velmora
