#include "SiteFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>
#include <QUrl>
#include <cstdio>

#include "base/Errors.h"
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

const QByteArray kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const QByteArray kUrlsetOpen = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
const QByteArray kUrlsetClose = "</urlset>\n";
const QByteArray kIndexOpen =
    "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
const QByteArray kIndexClose = "</sitemapindex>\n";

bool keepsInPath(unsigned char c)
{
    // RFC 3986 pchar: unreserved, sub-delims, ":" and "@".
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return QByteArrayView("-._~!$&'()*+,;=:@").contains(char(c));
}

QByteArray xmlEscaped(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// W3C Datetime in UTC.
QByteArray w3cTime(const QDateTime& time) { return time.toUTC().toString(Qt::ISODate).toLatin1(); }

QByteArray numberedSitemapName(int number)
{
    return "sitemap" + QByteArray::number(number) + ".xml";
}

// A file we may read and keep up: regular, not a link.
bool isOwnRegularFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

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

bool isPublishableName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

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
    QByteArray address = siteAddress;
    address.reserve(siteAddress.size() + name.size() * 3);
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (keepsInPath(byte)) {
            address += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            address += escaped;
        }
    }
    return address;
}

QList<QByteArray> BuildSitemaps(const QByteArray& siteAddress,
                                const std::vector<PublishedPage>& pages,
                                const SitemapLimits& limits)
{
    QList<QByteArray> files;
    QByteArray current;
    int urls = 0;
    const qint64 frame = kXmlHead.size() + kUrlsetOpen.size() + kUrlsetClose.size();
    auto finish = [&] {
        files.append(kXmlHead + kUrlsetOpen + current + kUrlsetClose);
        current.clear();
        urls = 0;
    };

    QSet<QByteArray> listed;
    for (const PublishedPage& page : pages) {
        if (!isPublishableName(page.name) || listed.contains(page.name)) continue;
        const QFileInfo file(page.localPath);
        if (!file.isFile()) continue;  // not generated, so not published either
        listed.insert(page.name);
        const QByteArray entry =
            "<url><loc>" + xmlEscaped(PublishedAddress(siteAddress, page.name)) +
            "</loc><lastmod>" + w3cTime(file.lastModified()) + "</lastmod></url>\n";
        if (urls > 0 &&
            (urls >= limits.maxUrls || frame + current.size() + entry.size() > limits.maxBytes))
            finish();
        current += entry;
        ++urls;
    }
    if (urls > 0 || files.isEmpty()) finish();
    if (files.size() == 1) return files;

    const QByteArray now = w3cTime(QDateTime::currentDateTimeUtc());
    QByteArray index = kXmlHead + kIndexOpen;
    for (int i = 0; i < files.size(); ++i) {
        index += "<sitemap><loc>" +
                 xmlEscaped(PublishedAddress(siteAddress, numberedSitemapName(i + 1))) +
                 "</loc><lastmod>" + now + "</lastmod></sitemap>\n";
    }
    files.append(index + kIndexClose);
    return files;
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
    if (isOwnRegularFile(path)) {
        QFile current(path);
        if (current.size() == bytes.size() && current.open(QIODevice::ReadOnly) &&
            current.readAll() == bytes)
            return;
    }
    const QFileInfo target(path);
    QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.velmora-XXXXXX"));
    if (target.fileName().isEmpty() || !temporary.open() ||
        temporary.write(bytes) != bytes.size() || !temporary.flush())
        throw FileError::cannotCreate(path);
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // rename() replaces whatever stands at the target, a link included,
    // without following it.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        throw FileError::cannotCreate(path);
    temporary.setAutoRemove(false);
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
    for (int i = 0; i < numbered; ++i) write(numberedSitemapName(i + 1), sitemaps[i]);
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

std::vector<SiteFile> GenerateSiteFiles(const ProjectSession& session, const SitemapLimits& limits,
                                        QStringList* warnings)
{
    ProjectCompanion companion(session.projectPath());
    const QByteArray siteAddress = SiteAddressOf(companion);
    if (siteAddress.isEmpty()) return {};
    return writeSiteFilesOf(
        companion, siteAddress, session.projectPath(), session.projectName(),
        PublishedPages(session.project().pages, session.projectPath(), session.projectName()), limits,
        warnings);
}

std::vector<SiteFile> GenerateSiteFiles(const QString& projectPath, const QString& projectName,
                                        const std::vector<PublishedPage>& pages,
                                        const SitemapLimits& limits, QStringList* warnings)
{
    ProjectCompanion companion(projectPath);
    const QByteArray siteAddress = SiteAddressOf(companion);
    if (siteAddress.isEmpty()) return {};
    return writeSiteFilesOf(companion, siteAddress, projectPath, projectName, pages, limits,
                            warnings);
}

bool HasSiteAddress(const QString& projectPath)
{
    return !SiteAddressOf(ProjectCompanion(projectPath)).isEmpty();
}

}  // namespace velmora
