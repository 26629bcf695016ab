#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "support/QtPrint.h"
#include "base/Errors.h"
#include "base/FileAccess.h"
#include "publish/ChangedFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Stands in for a server: copies each file of the plan under its remote name
// into a folder, reporting as a real publisher does. It can be told to lose
// the connection part way through a file.
class FolderPublisher final : public Publisher {
public:
    explicit FolderPublisher(QString root) : root_(std::move(root)) {}

    void carryOut(const std::vector<UploadItem>& plan, const QByteArrayList& removals) override
    {
        ++runs;
        received.clear();
        const int count = int(plan.size());
        for (int i = 0; i < count; ++i) {
            if (stopRequested_) throw VelmoraError(QStringLiteral("Stopped"));
            const UploadItem& item = plan[std::size_t(i)];
            emit fileStarted(i, count);
            QFile source;
            if (!openRegularFile(source, item.localPath, QIODevice::ReadOnly))
                throw FileError::cannotOpen(QFile::decodeName(item.localPath));
            QByteArray bytes = source.readAll();
            const QString target = root_ + u'/' + QString::fromUtf8(item.remoteName);
            QDir().mkpath(QFileInfo(target).path());
            if (i == failAt) {
                // What a dropped connection leaves behind: part of the file.
                writeFile(target, bytes.left(bytes.size() / 2));
                throw VelmoraError(QStringLiteral("Connection Lost"));
            }
            writeFile(target, bytes);
            received.append(item.remoteName);
            emit fileConfirmed(i);
        }
        for (const QByteArray& name : removals) {
            QFile::remove(root_ + u'/' + QString::fromUtf8(name));
            emit fileRemoved(name);
        }
    }
    void stop() override { stopRequested_ = true; }

    int failAt = -1;
    int runs = 0;
    QByteArrayList received;

private:
    QString root_;
    bool stopRequested_ = false;
};

PublishDestination destination(const QByteArray& directory = "pub", const QByteArray& user = "alice")
{
    PublishDestination d;
    d.protocol = PublishProtocol::Ftp;
    d.host = QStringLiteral("127.0.0.1");
    d.port = 2121;
    d.user = user;
    d.directory = directory;
    return d;
}

// A published site: local files, a project path for the companion and a
// folder standing for the server.
struct Site {
    TempDir dir;
    QString project = dir.file(QStringLiteral("shop.kpj"));
    QString server = dir.file(QStringLiteral("server"));
    std::vector<UploadItem> plan;

    Site()
    {
        QDir().mkpath(server);
        QDir().mkpath(dir.file(QStringLiteral("pages")));
        addImage(QStringLiteral("logo.gif"), "GIF89a-logo");
        for (const char* page : {"a.htm", "b.htm", "c.htm"})
            addPage(QString::fromLatin1(page), QByteArray("<html>page ") + page + "</html>");
    }
    QString local(const QString& name) const { return dir.file(QStringLiteral("pages/") + name); }
    void addPage(const QString& name, const QByteArray& bytes, const QByteArray& dir = "pub/")
    {
        writeFile(local(name), bytes);
        plan.push_back({UploadItem::Kind::Page, QFile::encodeName(local(name)), dir + name.toUtf8()});
    }
    void addImage(const QString& name, const QByteArray& bytes)
    {
        writeFile(local(name), bytes);
        plan.push_back({UploadItem::Kind::Image, QFile::encodeName(local(name)), "pub/" + name.toUtf8()});
    }
    QByteArray onServer(const QByteArray& remoteName) const
    {
        return readFile(server + u'/' + QString::fromUtf8(remoteName));
    }
    // Publishes the plan as a Send does and gives the names sent.
    QByteArrayList publish(bool onlyChanged, const PublishDestination& to = destination())
    {
        ProjectCompanion companion(project);
        ChangedFiles changes(&companion, to, plan, onlyChanged);
        FolderPublisher publisher(server);
        changes.publishThrough(publisher);
        EXPECT_EQ(changes.sentCount(), publisher.received.size());
        return publisher.received;
    }
    QByteArrayList dryRun(bool onlyChanged = true, const PublishDestination& to = destination())
    {
        ProjectCompanion companion(project);
        return ChangedFiles(&companion, to, plan, onlyChanged).namesToSend();
    }
};

QByteArrayList allNames(const std::vector<UploadItem>& plan)
{
    QByteArrayList names;
    for (const UploadItem& item : plan) names.append(item.remoteName);
    return names;
}

TEST(PublishScopeTest, EachPartOfTheDestinationMakesItAnother)
{
    const QString base = PublishScope(destination());
    EXPECT_EQ(PublishScope(destination("pub/")), base) << "one directory, with or without /";
    PublishDestination upper = destination();
    upper.host = QStringLiteral("127.0.0.1").toUpper();
    PublishDestination named = destination();
    named.host = QStringLiteral("Example.COM");
    PublishDestination lower = named;
    lower.host = lower.host.toLower();
    EXPECT_EQ(PublishScope(named), PublishScope(lower));

    PublishDestination other = destination();
    other.protocol = PublishProtocol::Sftp;
    EXPECT_NE(PublishScope(other), base);
    other = destination();
    other.port = 21;
    EXPECT_NE(PublishScope(other), base);
    other = destination();
    other.host = QStringLiteral("127.0.0.2");
    EXPECT_NE(PublishScope(other), base);
    EXPECT_NE(PublishScope(destination("www")), base);
    EXPECT_NE(PublishScope(destination("/pub")), base);
    EXPECT_NE(PublishScope(destination("pub", "bob")), base);
    EXPECT_NE(PublishScope(destination("pub", "Alice")), base);
}

TEST(PublishScopeTest, NoPartCanPassForAnother)
{
    // A separator typed into one part must not shift the others.
    PublishDestination userWithAt = destination("pub", "a@b");
    userWithAt.host = QStringLiteral("c");
    PublishDestination hostWithAt = destination("pub", "a");
    hostWithAt.host = QStringLiteral("b@c");
    EXPECT_NE(PublishScope(userWithAt), PublishScope(hostWithAt));

    PublishDestination colon = destination("1/pub", "a");
    colon.port = 2;
    PublishDestination slash = destination("pub", "a");
    slash.port = 21;
    EXPECT_NE(PublishScope(colon), PublishScope(slash));

    const QString scope = PublishScope(destination("d\xff\n\x01", "u\r\n"));
    for (QChar c : scope) EXPECT_TRUE(c.unicode() > 32 && c.unicode() < 127) << scope.toStdString();
}

TEST(ChangedFilesTest, PublishedOnceThenOnlyTheChangedAndTheAddedPageGo)
{
    Site site;
    EXPECT_EQ(site.dryRun(), allNames(site.plan)) << "a new destination needs everything";
    EXPECT_EQ(site.publish(true), allNames(site.plan));

    // b.htm keeps its size; d.htm is new.
    writeFile(site.local(QStringLiteral("b.htm")), "<html>page B.htm</html>");
    site.addPage(QStringLiteral("d.htm"), "<html>page d.htm</html>");
    const QByteArrayList changed{"pub/b.htm", "pub/d.htm"};
    EXPECT_EQ(site.dryRun(), changed);
    EXPECT_EQ(site.dryRun(), changed) << "a dry run sends and records nothing";
    {
        ProjectCompanion companion(site.project);
        ChangedFiles changes(&companion, destination(), site.plan, true);
        EXPECT_EQ(changes.upToDateCount(), 3);
        FolderPublisher publisher(site.server);
        changes.publishThrough(publisher);
        EXPECT_EQ(publisher.received, changed);
        EXPECT_EQ(changes.summary(), QStringLiteral("2 files sent, 3 already up to date"));
    }
    EXPECT_EQ(site.onServer("pub/b.htm"), QByteArray("<html>page B.htm</html>"));
    EXPECT_EQ(site.onServer("pub/d.htm"), QByteArray("<html>page d.htm</html>"));

    // Nothing changed: no connection at all.
    ProjectCompanion companion(site.project);
    ChangedFiles changes(&companion, destination(), site.plan, true);
    FolderPublisher publisher(site.server);
    changes.publishThrough(publisher);
    EXPECT_EQ(publisher.runs, 0);
    EXPECT_EQ(changes.summary(), QStringLiteral("0 files sent, 5 already up to date"));
}

TEST(ChangedFilesTest, WithoutTheChoiceEverythingGoesAndTheRecordIsRefreshed)
{
    Site site;
    site.publish(true);
    // The server's copy was changed behind our back; a full Send mends it.
    writeFile(site.server + QStringLiteral("/pub/a.htm"), "tampered");
    writeFile(site.local(QStringLiteral("c.htm")), "new c");
    EXPECT_EQ(site.dryRun(false), allNames(site.plan));
    EXPECT_EQ(site.publish(false), allNames(site.plan));
    EXPECT_EQ(site.onServer("pub/a.htm"), QByteArray("<html>page a.htm</html>"));

    ProjectCompanion companion(site.project);
    const QHash<QByteArray, FileStamp> record = companion.stamps(PublishScope(destination()));
    ASSERT_EQ(record.size(), 4);
    for (const UploadItem& item : site.plan)
        EXPECT_EQ(record.value(item.remoteName), *stampOfFile(item.localPath)) << item.remoteName.constData();
    EXPECT_TRUE(site.dryRun().isEmpty());
    ChangedFiles all(&companion, destination(), site.plan, false);
    EXPECT_EQ(all.upToDateCount(), 0) << "nothing is left out without the choice";
}

TEST(ChangedFilesTest, ASiteOfManyFilesIsStampedWholeAndItsRecordLeftCompact)
{
    // Enough files to be stamped on several threads and to make a record
    // worth compacting.
    Site site;
    for (int i = 0; i < 700; ++i)
        site.addPage(QStringLiteral("p%1.htm").arg(i), "<html>" + QByteArray::number(i) + "</html>");
    EXPECT_EQ(site.publish(false).size(), 704);
    EXPECT_EQ(site.publish(false).size(), 704);

    ProjectCompanion companion(site.project);
    EXPECT_LE(2 * companion.fileSize(), 3 * companion.liveSize())
        << "each full Send withdraws and writes every stamp; the file is tidied after it";
    const QHash<QByteArray, FileStamp> record = companion.stamps(PublishScope(destination()));
    ASSERT_EQ(record.size(), 704);
    for (const UploadItem& item : site.plan)
        EXPECT_EQ(record.value(item.remoteName), *stampOfFile(item.localPath)) << item.remoteName.constData();

    writeFile(site.local(QStringLiteral("p699.htm")), "<html>changed</html>");
    writeFile(site.local(QStringLiteral("p3.htm")), "<html>changed too</html>");
    EXPECT_EQ(site.dryRun(), (QByteArrayList{"pub/p3.htm", "pub/p699.htm"}));
}

TEST(ChangedFilesTest, AnInterruptedUploadResumesWhereItStopped)
{
    Site site;
    {
        ProjectCompanion companion(site.project);
        ChangedFiles changes(&companion, destination(), site.plan, true);
        FolderPublisher publisher(site.server);
        publisher.failAt = 2;
        EXPECT_THROW(changes.publishThrough(publisher), VelmoraError);
        EXPECT_EQ(changes.sentCount(), 2);
    }
    // The record reached the disk file by file: a fresh reader sees it.
    EXPECT_EQ(site.dryRun(), (QByteArrayList{"pub/b.htm", "pub/c.htm"}));
    EXPECT_EQ(site.publish(true), (QByteArrayList{"pub/b.htm", "pub/c.htm"}));
    EXPECT_EQ(site.onServer("pub/b.htm"), QByteArray("<html>page b.htm</html>"));
    EXPECT_TRUE(site.dryRun().isEmpty());
}

TEST(ChangedFilesTest, AFileCutOffMidwayIsSentAgainEvenWhenItsBytesDidNotChange)
{
    Site site;
    site.publish(true);
    // A full Send dies inside b.htm, leaving half of it on the server,
    // though the record held b.htm's present bytes.
    {
        ProjectCompanion companion(site.project);
        ChangedFiles changes(&companion, destination(), site.plan, false);
        FolderPublisher publisher(site.server);
        publisher.failAt = 2;
        EXPECT_THROW(changes.publishThrough(publisher), VelmoraError);
    }
    EXPECT_NE(site.onServer("pub/b.htm"), QByteArray("<html>page b.htm</html>"));
    EXPECT_EQ(site.dryRun(), QByteArrayList{"pub/b.htm"});
    site.publish(true);
    EXPECT_EQ(site.onServer("pub/b.htm"), QByteArray("<html>page b.htm</html>"));
}

TEST(ChangedFilesTest, AnotherDirectoryUserOrProtocolStartsFromNothing)
{
    Site site;
    site.publish(true);
    PublishDestination sftp = destination();
    sftp.protocol = PublishProtocol::Sftp;
    PublishDestination port = destination();
    port.port = 21;
    for (const PublishDestination& to :
         {destination("www"), destination("pub", "bob"), sftp, port, destination("/pub")})
        EXPECT_EQ(site.dryRun(true, to), allNames(site.plan)) << PublishScope(to).toStdString();
    EXPECT_TRUE(site.dryRun(true, destination("pub/")).isEmpty());
}

TEST(ChangedFilesTest, AMissingLocalFileIsLeftToTheUploadToReport)
{
    Site site;
    site.publish(true);
    const QString gone = site.local(QStringLiteral("b.htm"));
    ASSERT_TRUE(QFile::remove(gone));
    EXPECT_EQ(site.dryRun(), QByteArrayList{"pub/b.htm"});

    ProjectCompanion companion(site.project);
    ChangedFiles changes(&companion, destination(), site.plan, true);
    FolderPublisher publisher(site.server);
    try {
        changes.publishThrough(publisher);
        ADD_FAILURE() << "a missing file must fail the upload";
    } catch (const FileError& e) {
        EXPECT_EQ(e.text(), FileError::cannotOpen(gone).text());
    }
    // Its record is gone with the attempt: nothing claims it is there.
    EXPECT_FALSE(companion.stamp(changes.scope(), "pub/b.htm"));
}

TEST(ChangedFilesTest, ANameSentTwiceCountsByItsLastFile)
{
    // Two images under one remote name: a full Send leaves the second.
    Site site;
    writeFile(site.local(QStringLiteral("other.gif")), "GIF89a-other");
    site.plan.push_back({UploadItem::Kind::Image,
                         QFile::encodeName(site.local(QStringLiteral("other.gif"))), "pub/logo.gif"});
    site.publish(false);
    EXPECT_EQ(site.onServer("pub/logo.gif"), QByteArray("GIF89a-other"));
    EXPECT_TRUE(site.dryRun().isEmpty());

    writeFile(site.local(QStringLiteral("logo.gif")), "GIF89a-LOGO");
    EXPECT_TRUE(site.dryRun().isEmpty()) << "the first file is overwritten anyway";
    writeFile(site.local(QStringLiteral("other.gif")), "GIF89a-OTHER");
    EXPECT_EQ(site.publish(true), QByteArrayList{"pub/logo.gif"});
    EXPECT_EQ(site.onServer("pub/logo.gif"), QByteArray("GIF89a-OTHER"));
    EXPECT_TRUE(site.dryRun().isEmpty());
}

TEST(ChangedFilesTest, AHostileRecordNeverHidesAChange)
{
    Site site;
    const QString scope = PublishScope(destination());
    const auto stampLine = [&](const QByteArray& name, const QByteArray& sha, const QByteArray& size,
                               const QString& inScope) {
        return "{\"op\":\"stamp\",\"scope\":\"" + inScope.toUtf8() + "\",\"name\":\"" + name +
               "\",\"sha256\":\"" + sha + "\",\"size\":" + size + "}\n";
    };
    const FileStamp a = *stampOfFile(site.local(QStringLiteral("a.htm")));
    const FileStamp b = *stampOfFile(site.local(QStringLiteral("b.htm")));
    const FileStamp c = *stampOfFile(site.local(QStringLiteral("c.htm")));
    const FileStamp logo = *stampOfFile(site.local(QStringLiteral("logo.gif")));
    QByteArray content;
    static const char garbage[] = "\0\xff garbage\n{\"op\":\n";
    content += QByteArray(garbage, sizeof garbage - 1);
    // Right hash, wrong size; upper-case hash; another scope's record.
    content += stampLine("pub/a.htm", a.sha256, QByteArray::number(a.size + 1), scope);
    content += stampLine("pub/b.htm", b.sha256.toUpper(), QByteArray::number(b.size), scope);
    content += stampLine("pub/c.htm", c.sha256, QByteArray::number(c.size),
                         PublishScope(destination("www")));
    // The only sound line; then a torn one that would have matched c.htm.
    content += stampLine("pub/logo.gif", logo.sha256, QByteArray::number(logo.size), scope);
    content += stampLine("pub/c.htm", c.sha256, QByteArray::number(c.size), scope).left(40);
    writeFile(ProjectCompanion::pathFor(site.project), content);

    EXPECT_EQ(site.dryRun(), (QByteArrayList{"pub/a.htm", "pub/b.htm", "pub/c.htm"}));
    site.publish(true);
    EXPECT_TRUE(site.dryRun().isEmpty()) << "records after a torn line still count";
}

TEST(ChangedFilesTest, ARecordThatCannotBeWrittenStopsTheUploadAndSaysSo)
{
    Site site;
    // The companion's name is taken by a link: never ours to write through.
    const QString elsewhere = site.dir.file(QStringLiteral("elsewhere"));
    writeFile(elsewhere, "");
    ASSERT_TRUE(QFile::link(elsewhere, ProjectCompanion::pathFor(site.project)));

    ProjectCompanion companion(site.project);
    ChangedFiles changes(&companion, destination(), site.plan, true);
    FolderPublisher publisher(site.server);
    try {
        changes.publishThrough(publisher);
        ADD_FAILURE() << "an upload without its record must not pass for done";
    } catch (const FileError& e) {
        EXPECT_EQ(e.text(), FileError::cannotCreate(companion.path()).text());
    }
    EXPECT_EQ(publisher.received.size(), 1) << "stopped at the first record";
    EXPECT_TRUE(readFile(elsewhere).isEmpty());
}

TEST(ChangedFilesTest, OneLocalFileUnderTwoNamesIsStampedForEach)
{
    Site site;
    site.plan.push_back(
        {UploadItem::Kind::Page, QFile::encodeName(site.local(QStringLiteral("a.htm"))), "pub/copy.htm"});
    site.publish(true);
    writeFile(site.local(QStringLiteral("a.htm")), "changed a");
    EXPECT_EQ(site.dryRun(), (QByteArrayList{"pub/a.htm", "pub/copy.htm"}));
}

TEST(ChangedFilesTest, ALocalNameThatIsNotUtf8IsStampedByItsOwnBytes)
{
    Site site;
    // "\xff" decodes to a replacement character, which names another file.
    const QByteArray odd = QFile::encodeName(site.local(QString())) + "p\xff.htm";
    const QByteArray lookalike = QFile::encodeName(site.local(QStringLiteral("p\uFFFD.htm")));
    const auto write = [](const QByteArray& path, const QByteArray& bytes) {
        std::FILE* file = std::fopen(path.constData(), "wb");
        ASSERT_TRUE(file) << path.constData();
        EXPECT_EQ(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file),
                  size_t(bytes.size()));
        std::fclose(file);
    };
    write(odd, "<html>odd</html>");
    write(lookalike, "<html>look-alike</html>");
    site.plan.push_back({UploadItem::Kind::Page, odd, "pub/p\xff.htm"});
    site.publish(true);
    EXPECT_EQ(site.onServer("pub/p\xff.htm"), QByteArray("<html>odd</html>"));

    write(lookalike, "<html>look-alike changed</html>");
    EXPECT_TRUE(site.dryRun().isEmpty()) << "the look-alike is another file";
    write(odd, "<html>odd, changed</html>");
    EXPECT_EQ(site.dryRun(), QByteArrayList{"pub/p\xff.htm"});
}

TEST(ChangedFilesTest, WithoutARecordEverythingIsNewAndNothingIsKept)
{
    Site site;
    for (bool onlyChanged : {true, false}) {
        ChangedFiles changes(nullptr, destination(), site.plan, onlyChanged);
        EXPECT_EQ(changes.namesToSend(), allNames(site.plan));
        FolderPublisher publisher(site.server);
        changes.publishThrough(publisher);
        EXPECT_EQ(publisher.received, allNames(site.plan));
        EXPECT_EQ(changes.summary(), QStringLiteral("4 files sent, 0 already up to date"));
    }
    EXPECT_FALSE(QFile::exists(ProjectCompanion::pathFor(site.project)));
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(DroppedFilesTest, OnlyWhatTheRecordOwnsIsDeletedThenForgotten)
{
    Site site;
    EXPECT_EQ(site.publish(false).size(), 4);
    writeFile(site.server + QStringLiteral("/pub/.htaccess"), "placed by hand");
    // b.htm leaves the project; another destination's record is no business of this one.
    site.plan.erase(site.plan.begin() + 2);
    {
        ProjectCompanion companion(site.project);
        ChangedFiles other(&companion, destination("elsewhere"), site.plan, true);
        EXPECT_TRUE(other.droppedNames().isEmpty());
    }
    ProjectCompanion companion(site.project);
    ChangedFiles changes(&companion, destination(), site.plan, true);
    EXPECT_EQ(changes.droppedNames(), QByteArrayList({"pub/b.htm"}));
    // Listed only when asked for, after the names to send.
    EXPECT_EQ(changes.plannedChanges(), QByteArrayList());
    changes.setRemoveDropped(true);
    EXPECT_EQ(changes.plannedChanges(), QByteArrayList({"delete pub/b.htm"}));

    FolderPublisher publisher(site.server);
    changes.publishThrough(publisher);
    EXPECT_EQ(changes.removedCount(), 1);
    EXPECT_EQ(changes.summary(), QStringLiteral("0 files sent, 3 already up to date, 1 removed"));
    EXPECT_FALSE(QFile::exists(site.server + QStringLiteral("/pub/b.htm")));
    EXPECT_EQ(site.onServer("pub/.htaccess"), QByteArray("placed by hand"));
    EXPECT_EQ(site.onServer("pub/a.htm"), QByteArray("<html>page a.htm</html>"));
    // Forgotten: the next run has nothing left to delete.
    EXPECT_EQ(companion.stamp(changes.scope(), "pub/b.htm"), std::nullopt);
    ChangedFiles next(&companion, destination(), site.plan, true);
    EXPECT_TRUE(next.droppedNames().isEmpty());
}

}  // namespace
}  // namespace velmora
