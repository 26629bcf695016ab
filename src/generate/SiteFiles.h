#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

#include "project/Project.h"

namespace velmora {

class ProjectCompanion;
class ProjectSession;

// The site address: the public web address of the folder the pages are
// published to, absolute http or https and ending in "/". The normal form
// has the scheme and host in lower case and every byte that needs it
// percent-encoded; an address that breaks the rule raises VelmoraError
// with kSiteAddressRule.
extern const QString kSiteAddressRule;
QByteArray NormalisedSiteAddress(const QString& text);
bool isValidSiteAddress(const QString& text);

// IndexNow keys: one made by Velmora is 32 lower-case hexadecimal digits;
// one the user gives must be 8 to 128 of a-z, A-Z, 0-9 and "-".
extern const QString kIndexNowKeyRule;
bool isValidIndexNowKey(const QString& key);
QString NewIndexNowKey();
// "KEY.txt", the file that proves the key belongs to the site.
QString KeyFileName(const QString& key);

// A page as it is published: its name under the remote directory and the
// file generation writes for it. A page that auto-named generation has not
// named yet gets the name it will give it.
struct PublishedPage {
    QByteArray name;
    QString localPath;
};
std::vector<PublishedPage> PublishedPages(const PageList& pages, const QString& projectPath,
                                          const QString& projectName);

// The address of a published file: the site address and the name, each
// byte that may not stand in a path percent-encoded.
QByteArray PublishedAddress(const QByteArray& siteAddress, const QByteArray& name);

// sitemaps.org limits of one sitemap file; tests lower them.
struct SitemapLimits {
    int maxUrls = 50000;
    qint64 maxBytes = 52428800;
};

// A file written beside the pages that is published with them.
struct SiteFile {
    QString localPath;
    QByteArray name;

    friend bool operator==(const SiteFile&, const SiteFile&) = default;
};

inline const QByteArray kSitemapName = "sitemap.xml";
inline const QByteArray kRobotsName = "robots.txt";
// "sitemapN.xml", the Nth of the sitemaps an index names.
QByteArray NumberedSitemapName(int number);

// Writes into the output folder the sitemap (numbered sitemaps and an index
// named sitemap.xml when one file would pass a limit), robots.txt (a kept
// one gets its Sitemap line added or updated, nothing else) and, when there
// is a key, the IndexNow key file. A file whose bytes are already right is
// left untouched; numbered sitemaps left over from a larger project are
// removed. Returns the files to publish, in the order they should go. A
// robots.txt that is left alone (a link, no regular file, too large) is
// named in one line added to `warnings`, as a skipped image is.
std::vector<SiteFile> WriteSiteFiles(const QString& outputFolder, const QByteArray& siteAddress,
                                     const std::vector<PublishedPage>& pages,
                                     const QString& indexNowKey, const SitemapLimits& limits = {},
                                     QStringList* warnings = nullptr);

// The sitemap contents for these pages: one file, or the numbered files
// followed by the index that names them.
QList<QByteArray> BuildSitemaps(const QByteArray& siteAddress,
                                const std::vector<PublishedPage>& pages,
                                const SitemapLimits& limits = {});

// A robots.txt with the Sitemap line that names `sitemapAddress`: a line
// naming a sitemap at the same path (under another scheme or host, say)
// is replaced, another Sitemap line is kept, and the line is added when
// there is none. Line ends follow the file's own.
QByteArray UpdatedRobots(const QByteArray& existing, const QByteArray& sitemapAddress);

// The project's site address and IndexNow key from its companion file,
// each checked; empty when not set.
QByteArray SiteAddressOf(const ProjectCompanion& companion);
QString IndexNowKeyOf(const ProjectCompanion& companion);
// Each checks its rule and stores the value in its normal form; an empty
// text removes it.
void SetSiteAddress(ProjectCompanion& companion, const QString& text);
void SetIndexNowKey(ProjectCompanion& companion, const QString& key);

// The site files of a session's project just generated: none when the
// project has no site address. A project that has one but no IndexNow key
// gets its key here.
std::vector<SiteFile> GenerateSiteFiles(ProjectSession& session, const SitemapLimits& limits = {},
                                        QStringList* warnings = nullptr);
// The same for a project file whose pages were generated one at a time,
// given its companion and the pages as published.
std::vector<SiteFile> GenerateSiteFiles(ProjectCompanion& companion, const QString& projectPath,
                                        const QString& projectName,
                                        const std::vector<PublishedPage>& pages,
                                        const SitemapLimits& limits = {},
                                        QStringList* warnings = nullptr);

// Replaces a file in the output folder with these bytes unless it already
// holds exactly them. A link at the target is replaced, never followed.
// Raises FileError "Cannot create file %s".
void WriteOutputFile(const QString& path, const QByteArray& bytes);

}  // namespace velmora
