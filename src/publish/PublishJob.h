#pragma once

#include <QByteArrayList>
#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

#include "generate/SiteFiles.h"
#include "project/Project.h"
#include "publish/ChangedFiles.h"
#include "publish/Publisher.h"
#include "publish/PublisherFactory.h"

namespace velmora {

class ProjectCompanion;
class ProjectSession;

// What a publish sends: the pages, the site files that go with them, and the
// companion that keeps the record of what each destination holds (none: every
// file is sent and nothing is recorded).
struct PublishSource {
    const PageList* pages = nullptr;
    std::vector<SiteFile> siteFiles;
    ProjectCompanion* companion = nullptr;

    // A session's generated project: its site files are written here, so the
    // sitemap and key file that go out are those of the pages that go out.
    static PublishSource ofSession(ProjectSession& session);
};

// What the user chose for one publish, beyond the destination.
struct PublishChoices {
    bool changedOnly = false;  // send only what the destination lacks
    bool dryRun = false;       // name what would be sent; connect nowhere
    // Delete what this destination holds from an earlier publish and the
    // project no longer has, once every file is sent.
    bool removeDropped = false;
};

// One publish of a project, as the FTP dialog's Send and velmora-cli upload
// both run it: the upload plan (each distinct image once, the page files,
// then the site files, under the normalised remote directory) is made and
// checked whole on construction, the local files stamped against the
// destination's record, and run() hands what is to go to the publisher of
// the destination's protocol, recording each file as the server confirms it.
//
// The faces only gather the choices and show the signals; failures are
// raised as VelmoraError, never reported as success.
class PublishJob : public QObject {
    Q_OBJECT
public:
    // Raises VelmoraError when a name of the plan could break a protocol
    // command; nothing has connected then.
    PublishJob(const PublishSource& source, PublishDestination destination,
               PublishChoices choices, QObject* parent = nullptr);
    ~PublishJob() override;

    // The remote directory as every remote name starts with it.
    const QByteArray& remoteDirectory() const { return directory_; }
    // The pictures the plan leaves out, one line each.
    const QStringList& skippedImages() const { return skippedImages_; }
    // The files run() sends, in order; the signals index into it.
    const std::vector<UploadItem>& toSend() const { return changes_->toSend(); }
    // What a dry run shows: the names that would go, then "delete NAME"
    // for each file that would be deleted.
    QByteArrayList namesToSend() const { return changes_->plannedChanges(); }
    const ChangedFiles& changes() const { return *changes_; }
    // Whether run() deletes changes().droppedNames(); the choice's value
    // unless changed here (a deletion too large, refused as a whole).
    void setRemoveDropped(bool remove) { changes_->setRemoveDropped(remove); }
    const PublishDestination& destination() const { return destination_; }

    // A server identity the user chose to trust for the next run().
    void trustFingerprint(const QByteArray& fingerprint);

    // Sends toSend(); a dry run sends nothing. Returns false when stop()
    // ended it, and raises the failure of anything else that ended it.
    bool run(const ServerTrustOptions& trust = {});
    // Asks a running run() to end; it returns within a second.
    void stop();

    // "2 files sent, 9998 already up to date."
    QString summary() const { return changes_->summary(); }

signals:
    void status(const QString& text);
    void fileStarted(int index, int count);
    void fileBytesSent(int index, qint64 bytes);
    // The server has confirmed the whole file under `remoteName`.
    void fileConfirmed(int index, const QByteArray& remoteName);
    // The server no longer holds a file the project dropped.
    void fileRemoved(const QByteArray& remoteName);

private:
    PublishDestination destination_;
    PublishChoices choices_;
    QByteArray directory_;
    QStringList skippedImages_;
    std::unique_ptr<ChangedFiles> changes_;
    Publisher* running_ = nullptr;
    bool stopRequested_ = false;
};

}  // namespace velmora
