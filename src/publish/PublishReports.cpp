#include "publish/PublishReports.h"

namespace velmora {

void PublishReports::relay(const PublishReports& from, PublishReports& to)
{
    PublishReports* receiver = &to;
    connect(&from, &PublishReports::status, receiver, &PublishReports::status, Qt::QueuedConnection);
    connect(&from, &PublishReports::fileStarted, receiver, &PublishReports::fileStarted,
            Qt::QueuedConnection);
    connect(&from, &PublishReports::fileBytesSent, receiver, &PublishReports::fileBytesSent,
            Qt::QueuedConnection);
    connect(&from, &PublishReports::fileConfirmed, receiver, &PublishReports::fileConfirmed,
            Qt::QueuedConnection);
    connect(&from, &PublishReports::fileRemoved, receiver, &PublishReports::fileRemoved,
            Qt::QueuedConnection);
}

}  // namespace velmora
