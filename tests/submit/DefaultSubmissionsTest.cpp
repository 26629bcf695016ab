// The addurl.ini shipped with Velmora and its first use.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include "submit/DefaultSubmissions.h"
#include "submit/SubmissionFile.h"
#include "submit/SubmissionFill.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

QByteArray shippedBytes() { return test::readFile(QStringLiteral(VELMORA_SHIPPED_ADDURL)); }

// The text of a 260-byte field up to its zero, read straight from the bytes.
QByteArray fieldText(const QByteArray& file, qsizetype offset)
{
    const QByteArray field = file.mid(offset, 260);
    return field.left(field.indexOf('\0'));
}

TEST(ShippedSubmissionList, IsCountAndFixedEntriesToTheByte)
{
    const QByteArray file = shippedBytes();
    ASSERT_GE(file.size(), 4);
    const qint32 count = qFromLittleEndian<qint32>(file.constData());
    ASSERT_EQ(count, 4);
    ASSERT_EQ(file.size(), 4 + 520 * count);
    QByteArrayList names, strings;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 4 + 520 * i;
        for (qsizetype field : {entry, entry + 260}) {
            const QByteArray bytes = file.mid(field, 260);
            const qsizetype end = bytes.indexOf('\0');
            ASSERT_GT(end, 0) << "entry " << i << " has an empty or unterminated field";
            // Nothing but zeros behind the text, so the file is the same on every build.
            EXPECT_EQ(bytes.mid(end), QByteArray(260 - end, '\0'));
        }
        names << fieldText(file, entry);
        strings << fieldText(file, entry + 260);
    }
    EXPECT_EQ(strings,
              (QByteArrayList{
                  "https://api.indexnow.org/indexnow?url=$URL&key=$PAR1",
                  "https://www.bing.com/webmasters/submiturl?siteUrl=$PAR2",
                  "https://search.google.com/search-console/inspect?resource_id=$PAR2&id=$URL",
                  "https://webmaster.yandex.com/sites/",
              }));
    EXPECT_TRUE(names[0].startsWith("IndexNow"));
    EXPECT_TRUE(names[1].startsWith("Bing Webmaster Tools"));
    EXPECT_TRUE(names[2].startsWith("Google Search Console"));
    EXPECT_TRUE(names[3].startsWith("Yandex Webmaster"));

    // The dialog's own reader takes it as the list it came from.
    test::TempDir dir;
    dir.write(QStringLiteral("addurl.ini"), file);
    SubmissionList read;
    ASSERT_EQ(ReadSubmissionFile(dir.file(QStringLiteral("addurl.ini")), read), kFileOk);
    EXPECT_TRUE(read == DefaultSubmissionList());
}

TEST(ShippedSubmissionList, TheIndexNowEntryFillsIntoAWorkingAddress)
{
    const SubmissionList list = DefaultSubmissionList();
    EXPECT_EQ(FillSubmissionString(
                  list[0].submissionString(),
                  {.url = "https://shop.example.com/offers/shopb.htm", .par1 = "0123456789abcdef"}),
              "https://api.indexnow.org/indexnow?url=https://shop.example.com/offers/shopb.htm"
              "&key=0123456789abcdef");
}

TEST(ShippedSubmissionList, IsFoundBesideTheProgramOrUnderShare)
{
    test::TempDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("share/velmora")));
    const QString bin = dir.file(QStringLiteral("bin"));
    EXPECT_EQ(ShippedSubmissionFile(bin), QString());
    dir.write(QStringLiteral("share/velmora/addurl.ini"), shippedBytes());
    EXPECT_EQ(QFileInfo(ShippedSubmissionFile(bin)).canonicalFilePath(),
              QFileInfo(dir.file(QStringLiteral("share/velmora/addurl.ini"))).canonicalFilePath());
    dir.write(QStringLiteral("bin/addurl.ini"), shippedBytes());
    EXPECT_EQ(ShippedSubmissionFile(bin), dir.file(QStringLiteral("bin/addurl.ini")));
}

TEST(ShippedSubmissionList, IsCopiedOnFirstUseOnlyAndStaysWritable)
{
    test::TempDir shipped;
    test::TempDir startup;
    const QString source = shipped.file(QStringLiteral("addurl.ini"));
    shipped.write(QStringLiteral("addurl.ini"), shippedBytes());
    // Installed files are often read-only.
    ASSERT_TRUE(QFile::setPermissions(
        source, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));

    EXPECT_FALSE(InstallSubmissionFile(startup.path(), QString()));
    EXPECT_FALSE(startup.exists(QStringLiteral("addurl.ini")));

    EXPECT_TRUE(InstallSubmissionFile(startup.path(), source));
    EXPECT_EQ(startup.read(QStringLiteral("addurl.ini")), shippedBytes());
    SubmissionList read;
    EXPECT_EQ(ReadSubmissionFile(submissionFilePath(startup.path()), read), kFileOk);
    EXPECT_EQ(read.size(), 4);

    // The user's own list is never replaced, even an empty or broken one.
    startup.write(QStringLiteral("addurl.ini"), "mine");
    EXPECT_FALSE(InstallSubmissionFile(startup.path(), source));
    EXPECT_EQ(startup.read(QStringLiteral("addurl.ini")), QByteArray("mine"));
}

}  // namespace
}  // namespace velmora
