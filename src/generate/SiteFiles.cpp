#include "SiteFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include "base/Errors.h"
#include "base/FolderFile.h"
#include "generate/Naming.h"
#include "project/ProjectCompanion.h"
#include "project/ProjectSession.h"

namespace velmora {

const QString kSiteAddressRule =
    QStringLiteral("The site address must be an absolute http or https address ending in \"/\"");
const QString kIndexNowKeyRule =
    QStringLiteral("The IndexNow key must be 8 to 128 characters of a-z, A-Z, 0-9 and \"-\"");

namespace {

// Crawlers read at most this much of a robots.txt; a larger one is not a
// file we keep up.
constexpr qint64 kMaxRobotsSize = 500 * 1024;

void removeStaleSitemaps(const QString& outputFolder, int written)
{
    static const QRegularExpression numbered(
        QRegularExpression::anchoredPattern(QStringLiteral("sitemap([1-9][0-9]{0,8})\\.xml")));
    const QStringList names =
        QDir(outputFolder).entryList({QStringLiteral("sitemap*.xml")}, QDir::Files | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = numbered.match(name);
        if (match.hasMatch() && match.captured(1).toInt() > written)
            QFile::remove(QDir(outputFolder).filePath(name));
    }
}

// The path part of an absolute address, without query or fragment.
QByteArray pathOf(const QByteArray& address)
{
    const QUrl url = QUrl::fromEncoded(address.trimmed());
    return url.isValid() ? url.path(QUrl::FullyEncoded).toUtf8() : QByteArray();
}

}  // namespace

QByteArray NormalisedSiteAddress(const QString& text)
{
    // Tolerant, so that a blank typed in a folder name is encoded, not refused.
    const QUrl url(text.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        !url.path().endsWith(u'/'))
        throw VelmoraError(kSiteAddressRule);
    return url.toEncoded();
}

bool isValidSiteAddress(const QString& text)
{
    try {
        NormalisedSiteAddress(text);
        return true;
    } catch (const VelmoraError&) {
        return false;
    }
}

bool isValidIndexNowKey(const QString& key)
{
    static const QRegularExpression rule(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-zA-Z0-9-]{8,128}")));
    return rule.match(key).hasMatch();
}

QString NewIndexNowKey()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

QString KeyFileName(const QString& key) { return key + QStringLiteral(".txt"); }

std::vector<PublishedPage> PublishedPages(const PageList& pages, const QString& projectPath,
                                          const QString& projectName)
{
    const QByteArray outputFolder = QFile::encodeName(OutputFolder(projectPath, projectName));
    std::vector<PublishedPage> published;
    published.reserve(std::size_t(pages.size()));
    for (int i = 0; i < pages.size(); ++i) {
        const PageRecord& page = pages[i];
        const QByteArray stored = page.text(TextField::Edit2);
        const QByteArray folder = page.text(TextField::PageFolder);
        if (stored.isEmpty()) {
            const QByteArray name = QFile::encodeName(AutoPageName(projectName, i));
            published.push_back({name, QFile::decodeName(outputFolder + name)});
        } else {
            published.push_back(
                {stored, QFile::decodeName((folder.isEmpty() ? outputFolder : folder) + stored)});
        }
    }
    return published;
}

QByteArray PublishedAddress(const QByteArray& siteAddress, const QByteArray& name)
{
    // RFC 3986 pchar: unreserved, sub-delims, ":" and "@" stay as they are.
    return siteAddress + name.toPercentEncoding("!$&'()*+,;=:@");
}

QByteArray UpdatedRobots(const QByteArray& existing, const QByteArray& sitemapAddress)
{
    // A line ends in CR LF, LF or a lone CR, as crawlers read it; the file's
    // first line end is the one written back.
    QByteArray lineEnd;
    QByteArrayList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < existing.size();) {
        const char c = existing[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        const qsizetype endSize = c == '\r' && existing.mid(i + 1, 1) == "\n" ? 2 : 1;
        if (lineEnd.isEmpty()) lineEnd = existing.mid(i, endSize);
        lines << existing.mid(start, i - start);
        i += endSize;
        start = i;
    }
    if (start < existing.size()) lines << existing.mid(start);
    if (lineEnd.isEmpty()) lineEnd = "\n";

    const QByteArray ours = "Sitemap: " + sitemapAddress;
    const QByteArray ourPath = pathOf(sitemapAddress);
    bool placed = false;
    QByteArrayList kept;
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype colon = trimmed.indexOf(':');
        const bool isSitemap =
            colon > 0 && trimmed.left(colon).trimmed().compare("sitemap", Qt::CaseInsensitive) == 0;
        QByteArray value = isSitemap ? trimmed.mid(colon + 1) : QByteArray();
        if (const qsizetype hash = value.indexOf('#'); hash >= 0) value.truncate(hash);
        if (isSitemap && pathOf(value.trimmed()) == ourPath) {
            if (!placed) kept.append(ours);
            placed = true;
            continue;
        }
        kept.append(line);
    }
    if (!placed) kept.append(ours);
    return kept.join(lineEnd) + lineEnd;
}

QByteArray SiteAddressOf(const ProjectCompanion& companion)
{
    const QString stored = companion.value(kSiteAddressKey);
    return stored.isEmpty() ? QByteArray() : NormalisedSiteAddress(stored);
}

QString IndexNowKeyOf(const ProjectCompanion& companion)
{
    const QString key = companion.value(kIndexNowKeyKey);
    if (!key.isEmpty() && !isValidIndexNowKey(key)) throw VelmoraError(kIndexNowKeyRule);
    return key;
}

void SetSiteAddress(ProjectCompanion& companion, const QString& text)
{
    const QString trimmed = text.trimmed();
    companion.setValue(kSiteAddressKey, trimmed.isEmpty()
                                            ? QString()
                                            : QString::fromLatin1(NormalisedSiteAddress(trimmed)));
}

void SetIndexNowKey(ProjectCompanion& companion, const QString& key)
{
    const QString trimmed = key.trimmed();
    if (!trimmed.isEmpty() && !isValidIndexNowKey(trimmed)) throw VelmoraError(kIndexNowKeyRule);
    companion.setValue(kIndexNowKeyKey, trimmed);
}

void WriteOutputFile(const QString& path, const QByteArray& bytes)
{
    const FolderAndName target = splitPath(QFile::encodeName(path));
    writeFileInFolder(target.folder, target.name, bytes);
}

std::vector<SiteFile> WriteSiteFiles(const QString& outputFolder, const QByteArray& siteAddress,
                                     const std::vector<PublishedPage>& pages,
                                     const QString& indexNowKey, const SitemapLimits& limits,
                                     QStringList* warnings)
{
    const QDir folder(outputFolder);
    std::vector<SiteFile> files;
    auto write = [&](const QByteArray& name, const QByteArray& bytes) {
        const QString path = folder.filePath(QFile::decodeName(name));
        WriteOutputFile(path, bytes);
        files.push_back({path, name});
    };

    if (!indexNowKey.isEmpty()) {
        if (!isValidIndexNowKey(indexNowKey)) throw VelmoraError(kIndexNowKeyRule);
        write(KeyFileName(indexNowKey).toLatin1(), indexNowKey.toLatin1());
    }

    const QList<QByteArray> sitemaps = BuildSitemaps(siteAddress, pages, limits);
    const int numbered = sitemaps.size() > 1 ? int(sitemaps.size()) - 1 : 0;
    for (int i = 0; i < numbered; ++i) write(NumberedSitemapName(i + 1), sitemaps[i]);
    write(kSitemapName, sitemaps.last());
    removeStaleSitemaps(outputFolder, numbered);

    const QString robotsPath = folder.filePath(QString::fromLatin1(kRobotsName));
    const QByteArray sitemapAddress = PublishedAddress(siteAddress, kSitemapName);
    const QFileInfo robots(robotsPath);
    const auto leaveAlone = [&](const char* why) {
        if (warnings)
            warnings->append(QStringLiteral("robots.txt left alone, neither updated nor published: "
                                            "%1 %2")
                                 .arg(robotsPath, QLatin1String(why)));
    };
    if (!robots.exists() && !robots.isSymLink()) {
        write(kRobotsName, "User-agent: *\nDisallow:\n\nSitemap: " + sitemapAddress + '\n');
    } else if (robots.isSymLink()) {
        leaveAlone("is a link");
    } else if (!robots.isFile()) {
        leaveAlone("is not a regular file");
    } else if (robots.size() > kMaxRobotsSize) {
        leaveAlone("is larger than 500 KB");
    } else {
        // The user's own file: only its Sitemap line is ours.
        QFile kept(robotsPath);
        if (!kept.open(QIODevice::ReadOnly)) throw FileError::cannotOpen(robotsPath);
        const QByteArray existing = kept.read(kMaxRobotsSize + 1);
        kept.close();
        write(kRobotsName, UpdatedRobots(existing, sitemapAddress));
    }
    // Anything else standing there (a link, a folder, a huge file) is left
    // alone and not published, which the warning says.
    return files;
}

namespace {

std::vector<SiteFile> writeSiteFilesOf(ProjectCompanion& companion, const QByteArray& siteAddress,
                                       const QString& projectPath, const QString& projectName,
                                       const std::vector<PublishedPage>& pages,
                                       const SitemapLimits& limits, QStringList* warnings)
{
    // The key is made with the first site files, so that its file is
    // published before the first notification asks the engines to read it.
    QString key = IndexNowKeyOf(companion);
    if (key.isEmpty()) {
        key = NewIndexNowKey();
        companion.setValue(kIndexNowKeyKey, key);
    }
    const QString folder = OutputFolder(projectPath, projectName);
    QDir().mkpath(folder);
    return WriteSiteFiles(folder, siteAddress, pages, key, limits, warnings);
}

}  // namespace

std::vector<SiteFile> GenerateSiteFiles(ProjectSession& session, const SitemapLimits& limits,
                                        QStringList* warnings)
{
    ProjectCompanion& companion = session.companion();
    const QByteArray siteAddress = SiteAddressOf(companion);
    if (siteAddress.isEmpty()) return {};
    return writeSiteFilesOf(
        companion, siteAddress, session.projectPath(), session.projectName(),
        PublishedPages(session.project().pages, session.projectPath(), session.projectName()), limits,
        warnings);
}

std::vector<SiteFile> GenerateSiteFiles(ProjectCompanion& companion, const QString& projectPath,
                                        const QString& projectName,
                                        const std::vector<PublishedPage>& pages,
                                        const SitemapLimits& limits, QStringList* warnings)
{
    const QByteArray siteAddress = SiteAddressOf(companion);
    if (siteAddress.isEmpty()) return {};
    return writeSiteFilesOf(companion, siteAddress, projectPath, projectName, pages, limits,
                            warnings);
}

}  // namespace velmora
