#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

#include "generate/SiteFiles.h"

namespace velmora {

class ProjectCompanion;

// IndexNow tells the search engines that share it (Bing, Yandex, Seznam,
// Naver and others) which addresses changed, in one POST.
inline const QUrl kIndexNowEndpoint{QStringLiteral("https://api.indexnow.org/indexnow")};
// The most addresses one request may carry.
inline constexpr int kIndexNowBatchSize = 10000;
// The companion scope holding the pages as last announced.
inline const QString kIndexNowScope = QStringLiteral("indexnow");

struct IndexNowRequest {
    QByteArray host;
    QString key;
    QByteArray keyLocation;
    QByteArrayList urls;
};

// {"host", "key", "keyLocation", "urlList"} as UTF-8 JSON.
QByteArray IndexNowBody(const IndexNowRequest& request);

// What an answer means: "accepted", "bad request", ...
QString IndexNowMeaning(int status);
bool isIndexNowAccepted(int status);

struct IndexNowAnswer {
    int status = 0;    // the HTTP status; 0 when no answer came
    QString meaning;   // its meaning, or why no answer came
    int urlCount = 0;  // the addresses the request carried

    bool accepted() const { return isIndexNowAccepted(status); }
    // "200 accepted: 3 addresses"
    QString text() const;
};

// Posts one request and waits for its answer, the event loop running
// meanwhile; certificates are checked as the system's trust says, and a
// silent endpoint ends after `timeoutMs`.
IndexNowAnswer PostIndexNow(const QUrl& endpoint, const IndexNowRequest& request,
                            int timeoutMs = 30000);

struct NotificationReport {
    QString keyFile;              // where the key file lies in the output folder
    bool keyFileWritten = false;  // written now: it still has to be published
    int changedPages = 0;
    int unsentPages = 0;          // left out after a request that was not accepted
    QByteArrayList missingPages;  // names whose page file is not there
    std::vector<IndexNowAnswer> answers;

    bool allAccepted() const;
    // One line per fact, for the window's message and the CLI's output.
    QStringList lines() const;
};

// Notifies the endpoint of the project's pages changed since the last
// notification (all of them the first time), at most kIndexNowBatchSize
// addresses a request. First the key is made when the project has none and
// the key file written into the output folder when it is missing. Pages of
// an accepted request are recorded in the companion; sending stops at the
// first answer that is not acceptance. Raises VelmoraError when the project
// has no site address or a stored value breaks its rule.
NotificationReport NotifySearchEngines(ProjectCompanion& companion, const QString& outputFolder,
                                       const std::vector<PublishedPage>& pages,
                                       const QUrl& endpoint = kIndexNowEndpoint,
                                       int timeoutMs = 30000);

inline const QString kNoSiteAddress = QStringLiteral(
    "The project has no site address: set the public address of the folder the pages are "
    "published to first");

}  // namespace velmora
