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

TEST(ShippedSubmissionList, IsCountAndFixedEntriesToTheByte)
{
    const QByteArray file = shippedBytes();
    ASSERT_GE(file.size(), 4);
    const qint32 count = qFromLittleEndian<qint32>(file.constData());
    ASSERT_EQ(count, 4);
    ASSERT_EQ(file.size(), 4 + 520 * count);
    QByteArrayList names, strings;
    for (qsizetype field = 4; field < file.size(); field += 260) {
        const QByteArray bytes = file.mid(field, 260);
        const qsizetype end = bytes.indexOf('\0');
        ASSERT_GT(end, 0) << "an empty or unterminated field at " << field;
        // Zeros behind the text, so every build ships the same bytes.
        EXPECT_EQ(bytes.mid(end), QByteArray(260 - end, '\0'));
        ((field - 4) % 520 == 0 ? names : strings) << bytes.left(end);
    }
    EXPECT_EQ(strings,
              (QByteArrayList{
                  "https://api.indexnow.org/indexnow?url=$URL&key=$PAR1",
                  "https://www.bing.com/webmasters/submiturl?siteUrl=$PAR2",
                  "https://search.google.com/search-console/inspect?resource_id=$PAR2&id=$URL",
                  "https://webmaster.yandex.com/sites/",
              }));
    EXPECT_TRUE(names[0].startsWith("IndexNow"));
    EXPECT_TRUE(names[3].startsWith("Yandex Webmaster"));
    EXPECT_EQ(FillSubmissionString(strings[0], {.url = "https://shop.example.com/a.htm",
                                                .par1 = "0123456789abcdef"}),
              "https://api.indexnow.org/indexnow?url=https://shop.example.com/a.htm"
              "&key=0123456789abcdef");
}

TEST(ShippedSubmissionList, IsFoundAndCopiedOnFirstUseOnlyAsAWritableFile)
{
    test::TempDir install;
    test::TempDir startup;
    ASSERT_TRUE(QDir(install.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(install.path()).mkpath(QStringLiteral("share/velmora")));
    const QString bin = install.file(QStringLiteral("bin"));
    EXPECT_EQ(ShippedSubmissionFile(bin), QString());
    EXPECT_FALSE(InstallSubmissionFile(startup.path(), ShippedSubmissionFile(bin)));

    const QString shipped = install.file(QStringLiteral("share/velmora/addurl.ini"));
    install.write(QStringLiteral("share/velmora/addurl.ini"), shippedBytes());
    // Installed files are often read-only.
    ASSERT_TRUE(QFile::setPermissions(shipped, QFileDevice::ReadOwner | QFileDevice::ReadOther));
    EXPECT_EQ(QFileInfo(ShippedSubmissionFile(bin)).canonicalFilePath(),
              QFileInfo(shipped).canonicalFilePath());

    EXPECT_TRUE(InstallSubmissionFile(startup.path(), ShippedSubmissionFile(bin)));
    SubmissionList read;
    ASSERT_EQ(ReadSubmissionFile(submissionFilePath(startup.path()), read), kFileOk);
    EXPECT_TRUE(read == DefaultSubmissionList());

    // The user's own list is never replaced, not even a broken one.
    startup.write(QStringLiteral("addurl.ini"), "mine");
    EXPECT_FALSE(InstallSubmissionFile(startup.path(), shipped));
    EXPECT_EQ(startup.read(QStringLiteral("addurl.ini")), QByteArray("mine"));
}

}  // namespace
}  // namespace velmora
