#include "IndexNow.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <algorithm>
#include <memory>

#include "base/Errors.h"
#include "base/FolderFile.h"
#include "project/ProjectCompanion.h"

#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#include <QSslSocket>
#endif

namespace velmora {

namespace {

// The site address the recorded pages were announced under: under another
// address every page is new again.
const QString kAnnouncedSiteKey = QStringLiteral("indexnow-site-address");

QString addresses(int count)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? QLatin1String("address")
                                                             : QLatin1String("addresses"));
}

struct ChangedPage {
    QByteArray name;
    FileStamp stamp;
};

}  // namespace

QByteArray IndexNowBody(const IndexNowRequest& request)
{
    QJsonArray urls;
    for (const QByteArray& url : request.urls) urls.append(QString::fromUtf8(url));
    const QJsonObject body{{QStringLiteral("host"), QString::fromUtf8(request.host)},
                           {QStringLiteral("key"), request.key},
                           {QStringLiteral("keyLocation"), QString::fromUtf8(request.keyLocation)},
                           {QStringLiteral("urlList"), urls}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

bool isIndexNowAccepted(int status) { return status == 200 || status == 202; }

QString IndexNowMeaning(int status)
{
    switch (status) {
    case 200: return QStringLiteral("accepted");
    case 202: return QStringLiteral("accepted, key check pending");
    case 400: return QStringLiteral("bad request");
    case 403: return QStringLiteral("key not valid: the key file is missing or holds another key");
    case 422: return QStringLiteral("addresses not under the site address");
    case 429: return QStringLiteral("too many requests: try again later");
    default: return QStringLiteral("unexpected answer");
    }
}

QString IndexNowAnswer::text() const
{
    const QString count = addresses(urlCount);
    if (status == 0) return QStringLiteral("no answer (%1): %2").arg(meaning, count);
    return QStringLiteral("%1 %2: %3").arg(status).arg(meaning, count);
}

IndexNowAnswer PostIndexNow(const QUrl& endpoint, const IndexNowRequest& request, int timeoutMs)
{
    QNetworkAccessManager network;
    QNetworkRequest post(endpoint);
    post.setHeader(QNetworkRequest::ContentTypeHeader,
                   QByteArrayLiteral("application/json; charset=utf-8"));
    post.setTransferTimeout(timeoutMs);
#if QT_CONFIG(ssl)
    // Never relaxed: an endpoint that cannot prove who it is gets nothing.
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    post.setSslConfiguration(ssl);
#endif
    const std::unique_ptr<QNetworkReply> reply(network.post(post, IndexNowBody(request)));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();

    IndexNowAnswer answer;
    answer.urlCount = int(request.urls.size());
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.meaning = answer.status != 0 ? IndexNowMeaning(answer.status) : reply->errorString();
    return answer;
}

bool NotificationReport::allAccepted() const
{
    return std::all_of(answers.begin(), answers.end(),
                       [](const IndexNowAnswer& a) { return a.accepted(); });
}

QStringList NotificationReport::lines() const
{
    QStringList lines;
    if (keyFileWritten) {
        lines << QStringLiteral(
                     "Key file written: %1 (publish it with the pages: the search "
                     "engines read it to check the key)")
                     .arg(QDir::toNativeSeparators(keyFile));
    }
    for (const QByteArray& name : missingPages)
        lines << QStringLiteral("Not generated, left out: %1").arg(QString::fromUtf8(name));
    if (changedPages == 0)
        lines << QStringLiteral("No page has changed since the last notification");
    for (const IndexNowAnswer& answer : answers) lines << answer.text();
    if (unsentPages > 0) lines << QStringLiteral("Not sent: %1").arg(addresses(unsentPages));
    return lines;
}

NotificationReport NotifySearchEngines(ProjectCompanion& companion, const QString& outputFolder,
                                       const std::vector<PublishedPage>& pages,
                                       const QUrl& endpoint, int timeoutMs)
{
    const QByteArray siteAddress = SiteAddressOf(companion);
    if (siteAddress.isEmpty()) throw VelmoraError(kNoSiteAddress);
    QString key = IndexNowKeyOf(companion);
    if (key.isEmpty()) {
        key = NewIndexNowKey();
        companion.setValue(kIndexNowKeyKey, key);
    }

    NotificationReport report;
    report.keyFile = QDir(outputFolder).filePath(KeyFileName(key));
    const std::optional<FileStamp> before = stampOfFile(report.keyFile);
    QDir().mkpath(outputFolder);
    WriteOutputFile(report.keyFile, key.toLatin1());
    report.keyFileWritten = before != stampOfFile(report.keyFile);

    if (companion.value(kAnnouncedSiteKey) != QString::fromUtf8(siteAddress)) {
        companion.clearScope(kIndexNowScope);
        companion.setValue(kAnnouncedSiteKey, QString::fromUtf8(siteAddress));
    }

    const QHash<QByteArray, FileStamp> announced = companion.stamps(kIndexNowScope);
    std::vector<ChangedPage> changed;
    QSet<QByteArray> current;
    for (const PublishedPage& page : pages) {
        if (!isPlainFileName(page.name) || current.contains(page.name)) continue;
        current.insert(page.name);
        const std::optional<FileStamp> stamp = stampOfFile(page.localPath);
        if (!stamp) {
            report.missingPages << page.name;
            continue;
        }
        const auto last = announced.constFind(page.name);
        if (last == announced.constEnd() || *last != *stamp) changed.push_back({page.name, *stamp});
    }
    report.changedPages = int(changed.size());

    IndexNowRequest request;
    request.host = QUrl::fromEncoded(siteAddress).host(QUrl::FullyEncoded).toUtf8();
    request.key = key;
    request.keyLocation = PublishedAddress(siteAddress, KeyFileName(key).toLatin1());
    for (std::size_t first = 0; first < changed.size(); first += kIndexNowBatchSize) {
        const std::size_t end = std::min(changed.size(), first + kIndexNowBatchSize);
        request.urls.clear();
        for (std::size_t i = first; i < end; ++i)
            request.urls << PublishedAddress(siteAddress, changed[i].name);
        const IndexNowAnswer answer = PostIndexNow(endpoint, request, timeoutMs);
        report.answers.push_back(answer);
        if (!answer.accepted()) {
            // The next requests would meet the same refusal, or add to a
            // rate limit already reached.
            report.unsentPages = int(changed.size() - end);
            break;
        }
        for (std::size_t i = first; i < end; ++i)
            companion.recordStamp(kIndexNowScope, changed[i].name, changed[i].stamp);
    }

    // Pages no longer in the project need no record.
    for (auto it = announced.constBegin(); it != announced.constEnd(); ++it)
        if (!current.contains(it.key())) companion.removeStamp(kIndexNowScope, it.key());
    return report;
}

}  // namespace velmora
