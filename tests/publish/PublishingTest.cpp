#include <gtest/gtest.h>

#include <QFile>

#include "support/QtPrint.h"
#include "base/Errors.h"
#include "publish/Publishing.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

TEST(RemoteDirectoryTest, GetsTheSeparatorFtpUses)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"", ""},
        {"pub", "pub/"},
        {"pub/", "pub/"},
        {"pub\\", "pub\\"},
        {"www/docs", "www/docs/"},
        {"/", "/"},
        {"a\\b", "a\\b/"},
    };
    for (const auto& [written, used] : cases)
        EXPECT_EQ(NormalisedRemoteDirectory(written), used) << written.constData();
}

PageRecord& addPage(PageList& pages, const QByteArray& folder, const QByteArray& file,
                    const QByteArray& imageSource = {}, const QByteArray& image = {})
{
    PageRecord& page = pages.append();
    page.setText(TextField::PageFolder, folder);
    page.setText(TextField::Edit2, file);
    page.setText(TextField::ImageSource, imageSource);
    page.setText(TextField::Image, image);
    return page;
}

// A folder of image files: real pictures by their first bytes, and others.
class PlanUploadsTest : public ::testing::Test {
protected:
    QByteArray put(const char* name, const QByteArray& bytes)
    {
        dir.write(QString::fromLatin1(name), bytes);
        return QFile::encodeName(dir.file(QString::fromLatin1(name)));
    }
    QByteArray gif(const char* name) { return put(name, "GIF89a\x01\x00\x01\x00"); }

    test::TempDir dir;
    PageList pages;
};

TEST_F(PlanUploadsTest, EachDistinctImageOnceBeforeTheFirstPageThatShowsIt)
{
    const QByteArray logo = gif("logo.gif");
    const QByteArray photo = put("photo.jpg", "\xFF\xD8\xFF\xE0\x00\x10JFIF");
    const QByteArray upper = put("Logo.gif", "GIF87a\x02\x00\x02\x00");
    addPage(pages, "/site/", "a.htm", logo, "logo.gif");
    addPage(pages, "/site/", "b.htm");
    addPage(pages, "/site/", "c.htm", logo, "other-name.gif");
    addPage(pages, "/site/", "d.htm", photo, "photo.jpg");
    addPage(pages, "/site/", "e.htm", upper, "Logo.gif");

    using K = UploadItem::Kind;
    const std::vector<UploadItem> expected = {
        {K::Image, logo, "pub/logo.gif"},
        {K::Page, "/site/a.htm", "pub/a.htm"},
        {K::Page, "/site/b.htm", "pub/b.htm"},
        {K::Page, "/site/c.htm", "pub/c.htm"},
        {K::Image, photo, "pub/photo.jpg"},
        {K::Page, "/site/d.htm", "pub/d.htm"},
        {K::Image, upper, "pub/Logo.gif"},  // paths compare exactly
        {K::Page, "/site/e.htm", "pub/e.htm"},
    };
    const PlannedUploads plan = PlanUploads(pages, "pub/");
    EXPECT_TRUE(plan.items == expected);
    EXPECT_TRUE(plan.skippedImages.isEmpty());
}

TEST_F(PlanUploadsTest, AnEmptyDirectoryLeavesBareNamesAndNoPagesNoUploads)
{
    EXPECT_TRUE(PlanUploads(pages, "").items.empty());
    addPage(pages, "/site/", "index.htm", gif("x.gif"), "x.gif");
    const auto plan = PlanUploads(pages, "").items;
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].remoteName, QByteArray("x.gif"));
    EXPECT_EQ(plan[1].remoteName, QByteArray("index.htm"));
}

TEST_F(PlanUploadsTest, LocalPathsAreTheRecordsBytesExactly)
{
    addPage(pages, "/s\xc3\xa4ite/", "p\xff" "ge.htm");
    addPage(pages, "/s\xc3\xa4ite/", "p\xfe" "ge.htm");
    const auto plan = PlanUploads(pages, "d/").items;
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].localPath, QByteArray("/s\xc3\xa4ite/p\xff" "ge.htm"));
    EXPECT_EQ(plan[1].localPath, QByteArray("/s\xc3\xa4ite/p\xfe" "ge.htm"));
    EXPECT_EQ(plan[1].remoteName, QByteArray("d/p\xfe" "ge.htm"));
}

TEST_F(PlanUploadsTest, AControlByteInAnyNameFailsTheWholePlan)
{
    const QByteArray logo = gif("logo.gif");
    const QByteArray other = gif("other.gif");
    const struct {
        QByteArray directory, page, image;
        const char* shown;
    } cases[] = {
        {"pub/", "a.htm\r\nDELE index.htm", "logo.gif", "pub/a.htm\\r\\nDELE index.htm"},
        {"pub/", "a.htm", "logo.gif\nRMD pub", "pub/logo.gif\\nRMD pub"},
        {"pub\x01/", "a.htm", "", "pub\\x01/honest.gif"},
        {"", "tab\t.htm", "", "tab\\t.htm"},
    };
    for (const auto& c : cases) {
        PageList list;
        addPage(list, "/s/", "honest.htm", logo, "honest.gif");
        addPage(list, "/s/", c.page, c.image.isEmpty() ? QByteArray() : other, c.image);
        try {
            PlanUploads(list, c.directory);
            ADD_FAILURE() << "no failure for " << c.shown;
        } catch (const VelmoraError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Cannot upload \"%1\": a name sent to the server "
                                               "may not hold control characters")
                                    .arg(QString::fromLatin1(c.shown)));
        }
    }
}

TEST_F(PlanUploadsTest, APageNameThatIsNoPlainNameFailsTheWholePlan)
{
    for (const QByteArray& name : {QByteArray("../../x.htm"), QByteArray(".."), QByteArray("")}) {
        PageList list;
        addPage(list, "/s/", "honest.htm");
        addPage(list, "/s/", name);
        try {
            PlanUploads(list, "pub/");
            ADD_FAILURE() << "no failure for " << name.constData();
        } catch (const VelmoraError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Cannot upload /s/%1: \"%1\" is not a plain file name")
                                    .arg(QString::fromLatin1(name)));
        }
    }
}

TEST(UploadProgressTest, CountsFilesAndBytes)
{
    test::TempDir dir;
    dir.write(QStringLiteral("a"), QByteArray(300, 'a'));
    dir.write(QStringLiteral("b"), QByteArray(700, 'b'));
    const std::vector<UploadItem> plan = {
        {UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("a"))), "a"},
        {UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("missing"))), "m"},
        {UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("b"))), "b"},
    };
    UploadProgress progress(plan);
    EXPECT_EQ(progress.fileCount(), 3);
    EXPECT_EQ(progress.bytesTotal(), 1000);
    EXPECT_EQ(progress.text(), QStringLiteral("0 of 3 files, 0 of 1000 bytes"));

    progress.startFile(0);
    progress.setFileBytes(0, 150);
    EXPECT_EQ(progress.permille(), 150);
    progress.setFileBytes(0, 5000);  // never beyond the file's size
    EXPECT_EQ(progress.bytesDone(), 300);
    progress.finishFile(0);
    progress.finishFile(0);  // counted once
    progress.startFile(1);
    progress.finishFile(1);
    progress.startFile(2);
    progress.setFileBytes(2, 350);
    EXPECT_EQ(progress.text(), QStringLiteral("2 of 3 files, 650 of 1000 bytes"));
    EXPECT_EQ(progress.permille(), 650);
    progress.finishFile(2);
    EXPECT_EQ(progress.permille(), 1000);
    EXPECT_EQ(progress.text(), QStringLiteral("3 of 3 files, 1000 of 1000 bytes"));
}

TEST(UploadProgressTest, EmptyFilesCountByFiles)
{
    test::TempDir dir;
    dir.write(QStringLiteral("e1"), {});
    dir.write(QStringLiteral("e2"), {});
    UploadProgress progress(
        {{UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("e1"))), "e1"},
         {UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("e2"))), "e2"}});
    progress.startFile(0);
    progress.finishFile(0);
    EXPECT_EQ(progress.permille(), 500);
}

TEST(UploadProgressTest, FilesOnTheirWayTogetherEachCountTheirOwnBytes)
{
    test::TempDir dir;
    dir.write(QStringLiteral("a"), QByteArray(400, 'a'));
    dir.write(QStringLiteral("b"), QByteArray(600, 'b'));
    UploadProgress progress(
        {{UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("a"))), "a"},
         {UploadItem::Kind::Page, QFile::encodeName(dir.file(QStringLiteral("b"))), "b"}});
    progress.startFile(0);
    progress.startFile(1);
    progress.setFileBytes(1, 500);
    progress.setFileBytes(0, 100);
    EXPECT_EQ(progress.bytesDone(), 600);
    progress.finishFile(1);  // the later file may be confirmed first
    progress.setFileBytes(1, 50);  // a file no longer on its way changes nothing
    EXPECT_EQ(progress.text(), QStringLiteral("1 of 2 files, 700 of 1000 bytes"));
}

}  // namespace
}  // namespace velmora
