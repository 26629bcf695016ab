// The sitemap files of sitemaps.org: one list of the published pages, or
// numbered lists and an index that names them once one file would pass a
// limit.

#include <QDateTime>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamWriter>
#include <optional>

#include "base/FolderFile.h"
#include "generate/SiteFiles.h"

namespace velmora {

namespace {

const QString kSitemapNamespace = QStringLiteral("http://www.sitemaps.org/schemas/sitemap/0.9");

// W3C Datetime in UTC.
QString w3cTime(const QDateTime& time) { return time.toUTC().toString(Qt::ISODate); }

// sitemaps.org asks for every data value entity-escaped, the apostrophe
// included, which QXmlStreamWriter leaves as it is.
void writeEscapedText(QXmlStreamWriter& xml, const QString& text)
{
    const QStringList parts = text.split(u'\'');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0) xml.writeEntityReference(QStringLiteral("apos"));
        xml.writeCharacters(parts[i]);
    }
}

// One <url> or <sitemap> entry, on a line of its own.
void writeEntry(QXmlStreamWriter& xml, const QString& element, const QByteArray& address,
                const QString& lastModified)
{
    xml.writeStartElement(element);
    xml.writeStartElement(QStringLiteral("loc"));
    writeEscapedText(xml, QString::fromUtf8(address));
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("lastmod"), lastModified);
    xml.writeEndElement();
    xml.writeCharacters(QStringLiteral("\n"));
}

// One sitemap file as it is written: the declaration and the root element,
// then the entries, then the root's end.
class SitemapFile {
public:
    explicit SitemapFile(const QString& root) : closingSize_(root.size() + 4), xml_(&bytes_)
    {
        xml_.writeStartDocument();
        xml_.writeCharacters(QStringLiteral("\n"));
        xml_.writeDefaultNamespace(kSitemapNamespace);
        xml_.writeStartElement(kSitemapNamespace, root);
        xml_.writeCharacters(QStringLiteral("\n"));
    }
    SitemapFile(const SitemapFile&) = delete;
    SitemapFile& operator=(const SitemapFile&) = delete;

    int entries() const { return entries_; }

    // True when the file stays within `maxBytes` with this entry added.
    bool fits(const QString& element, const QByteArray& address, const QString& lastModified,
              qint64 maxBytes) const
    {
        QByteArray entry;
        QXmlStreamWriter xml(&entry);
        writeEntry(xml, element, address, lastModified);
        return bytes_.size() + entry.size() + closingSize_ <= maxBytes;
    }

    void add(const QString& element, const QByteArray& address, const QString& lastModified)
    {
        writeEntry(xml_, element, address, lastModified);
        ++entries_;
    }

    // Closes the root element; the end of the document ends its line.
    QByteArray finish()
    {
        xml_.writeEndDocument();
        return bytes_;
    }

private:
    qint64 closingSize_;  // "</root>" and its line end
    QByteArray bytes_;
    QXmlStreamWriter xml_;
    int entries_ = 0;
};

}  // namespace

QByteArray NumberedSitemapName(int number)
{
    return "sitemap" + QByteArray::number(number) + ".xml";
}

QList<QByteArray> BuildSitemaps(const QByteArray& siteAddress,
                                const std::vector<PublishedPage>& pages,
                                const SitemapLimits& limits)
{
    const QString url = QStringLiteral("url");
    QList<QByteArray> files;
    std::optional<SitemapFile> file(std::in_place, QStringLiteral("urlset"));
    QSet<QByteArray> listed;
    for (const PublishedPage& page : pages) {
        if (!isPlainFileName(page.name) || listed.contains(page.name)) continue;
        const QFileInfo info(page.localPath);
        if (!info.isFile()) continue;  // not generated, so not published either
        listed.insert(page.name);
        const QByteArray address = PublishedAddress(siteAddress, page.name);
        const QString lastModified = w3cTime(info.lastModified());
        if (file->entries() > 0 &&
            (file->entries() >= limits.maxUrls ||
             !file->fits(url, address, lastModified, limits.maxBytes))) {
            files.append(file->finish());
            file.emplace(QStringLiteral("urlset"));
        }
        file->add(url, address, lastModified);
    }
    if (file->entries() > 0 || files.isEmpty()) files.append(file->finish());
    if (files.size() == 1) return files;

    const QString now = w3cTime(QDateTime::currentDateTimeUtc());
    SitemapFile index(QStringLiteral("sitemapindex"));
    for (int i = 0; i < files.size(); ++i)
        index.add(QStringLiteral("sitemap"), PublishedAddress(siteAddress, NumberedSitemapName(i + 1)),
                  now);
    files.append(index.finish());
    return files;
}

}  // namespace velmora
