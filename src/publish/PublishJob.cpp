#include "publish/PublishJob.h"

#include "base/Errors.h"
#include "base/ScopeExit.h"
#include "project/ProjectSession.h"
#include "publish/FtpErrors.h"

namespace velmora {

PublishSource PublishSource::ofSession(ProjectSession& session)
{
    return {.pages = &session.project().pages,
            .siteFiles = GenerateSiteFiles(session),
            .companion = &session.companion()};
}

PublishJob::PublishJob(const PublishSource& source, PublishDestination destination,
                       PublishChoices choices, QObject* parent)
    : QObject(parent),
      destination_(std::move(destination)),
      choices_(choices),
      directory_(NormalisedRemoteDirectory(destination_.directory))
{
    // Checked whole before anything connects: a name that would break a
    // command stops the publish here.
    PlannedUploads planned =
        source.pages ? PlanUploads(*source.pages, directory_) : PlannedUploads();
    AppendSiteFiles(planned.items, source.siteFiles, directory_);
    skippedImages_ = std::move(planned.skippedImages);
    // A destination whose record could not be kept is refused before too.
    if (source.companion) CheckRecordable(destination_);
    changes_ = std::make_unique<ChangedFiles>(source.companion, destination_, planned.items,
                                              choices_.changedOnly);
    changes_->setRemoveDropped(choices_.removeDropped);
}

PublishJob::~PublishJob() = default;

void PublishJob::trustFingerprint(const QByteArray& fingerprint)
{
    destination_.trustedFingerprint = fingerprint;
}

bool PublishJob::run(const ServerTrustOptions& trust)
{
    if (choices_.dryRun) return true;
    stopRequested_ = false;
    const std::unique_ptr<Publisher> publisher = makePublisher(destination_, trust);
    running_ = publisher.get();
    const ScopeExit forget([this] { running_ = nullptr; });
    connect(publisher.get(), &Publisher::status, this, &PublishJob::status);
    connect(publisher.get(), &Publisher::fileStarted, this, &PublishJob::fileStarted);
    connect(publisher.get(), &Publisher::fileBytesSent, this, &PublishJob::fileBytesSent);
    connect(publisher.get(), &Publisher::fileConfirmed, this, [this](int index) {
        emit fileConfirmed(index, toSend()[static_cast<std::size_t>(index)].remoteName);
    });
    connect(publisher.get(), &Publisher::fileRemoved, this, &PublishJob::fileRemoved);
    try {
        changes_->publishThrough(*publisher);
    } catch (const UntrustedServerError&) {
        throw;
    } catch (const VelmoraError&) {
        // A stop is what the user asked for, not a failure.
        if (!stopRequested_) throw;
        return false;
    }
    return true;
}

void PublishJob::stop()
{
    stopRequested_ = true;
    if (running_) running_->stop();
}

}  // namespace velmora
