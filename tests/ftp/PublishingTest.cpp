#include <gtest/gtest.h>

#include <QFile>

#include "QtPrint.h"
#include "ftp/Publishing.h"
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

TEST(PlanUploadsTest, EachDistinctImageOnceBeforeTheFirstPageThatShowsIt)
{
    PageList pages;
    addPage(pages, "/site/", "a.htm", "/pics/logo.gif", "logo.gif");
    addPage(pages, "/site/", "b.htm");
    addPage(pages, "/site/", "c.htm", "/pics/logo.gif", "other-name.gif");
    addPage(pages, "/site/", "d.htm", "/pics/photo.jpg", "photo.jpg");
    addPage(pages, "/site/", "e.htm", "/pics/Logo.gif", "Logo.gif");

    using K = UploadItem::Kind;
    const std::vector<UploadItem> expected = {
        {K::Image, QStringLiteral("/pics/logo.gif"), "pub/logo.gif"},
        {K::Page, QStringLiteral("/site/a.htm"), "pub/a.htm"},
        {K::Page, QStringLiteral("/site/b.htm"), "pub/b.htm"},
        {K::Page, QStringLiteral("/site/c.htm"), "pub/c.htm"},
        {K::Image, QStringLiteral("/pics/photo.jpg"), "pub/photo.jpg"},
        {K::Page, QStringLiteral("/site/d.htm"), "pub/d.htm"},
        {K::Image, QStringLiteral("/pics/Logo.gif"), "pub/Logo.gif"},  // paths compare exactly
        {K::Page, QStringLiteral("/site/e.htm"), "pub/e.htm"},
    };
    EXPECT_TRUE(PlanUploads(pages, "pub/") == expected);
}

TEST(PlanUploadsTest, AnEmptyDirectoryLeavesBareNamesAndNoPagesNoUploads)
{
    PageList pages;
    EXPECT_TRUE(PlanUploads(pages, "").empty());
    addPage(pages, "/site/", "index.htm", "/i/x.gif", "x.gif");
    const auto plan = PlanUploads(pages, "");
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].remoteName, QByteArray("x.gif"));
    EXPECT_EQ(plan[1].remoteName, QByteArray("index.htm"));
}

TEST(PlanUploadsTest, LocalPathsAreDecodedFromTheRecordsBytes)
{
    PageList pages;
    addPage(pages, "/s\xc3\xa4ite/", "p\xc3\xa4ge.htm");
    const auto plan = PlanUploads(pages, "d/");
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].localPath, QFile::decodeName("/s\xc3\xa4ite/p\xc3\xa4ge.htm"));
    EXPECT_EQ(plan[0].remoteName, QByteArray("d/p\xc3\xa4ge.htm"));
}

TEST(UploadProgressTest, CountsFilesAndBytes)
{
    test::TempDir dir;
    dir.write(QStringLiteral("a"), QByteArray(300, 'a'));
    dir.write(QStringLiteral("b"), QByteArray(700, 'b'));
    const std::vector<UploadItem> plan = {
        {UploadItem::Kind::Page, dir.file(QStringLiteral("a")), "a"},
        {UploadItem::Kind::Page, dir.file(QStringLiteral("missing")), "m"},
        {UploadItem::Kind::Page, dir.file(QStringLiteral("b")), "b"},
    };
    UploadProgress progress(plan);
    EXPECT_EQ(progress.fileCount(), 3);
    EXPECT_EQ(progress.bytesTotal(), 1000);
    EXPECT_EQ(progress.text(), QStringLiteral("0 of 3 files, 0 of 1000 bytes"));

    progress.startFile(0);
    progress.setFileBytes(150);
    EXPECT_EQ(progress.permille(), 150);
    progress.setFileBytes(5000);  // never beyond the file's size
    EXPECT_EQ(progress.bytesDone(), 300);
    progress.finishFile();
    progress.startFile(1);
    progress.finishFile();
    progress.startFile(2);
    progress.setFileBytes(350);
    EXPECT_EQ(progress.text(), QStringLiteral("2 of 3 files, 650 of 1000 bytes"));
    EXPECT_EQ(progress.permille(), 650);
    progress.finishFile();
    EXPECT_EQ(progress.permille(), 1000);
    EXPECT_EQ(progress.text(), QStringLiteral("3 of 3 files, 1000 of 1000 bytes"));
}

TEST(UploadProgressTest, EmptyFilesCountByFiles)
{
    test::TempDir dir;
    dir.write(QStringLiteral("e1"), {});
    dir.write(QStringLiteral("e2"), {});
    UploadProgress progress({{UploadItem::Kind::Page, dir.file(QStringLiteral("e1")), "e1"},
                             {UploadItem::Kind::Page, dir.file(QStringLiteral("e2")), "e2"}});
    progress.startFile(0);
    progress.finishFile();
    EXPECT_EQ(progress.permille(), 500);
}

}  // namespace
}  // namespace velmora
