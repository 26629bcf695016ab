#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <sys/stat.h>

#include "base/Errors.h"
#include "project/ProjectCompanion.h"
#include "support/HostileFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

FileStamp stampOf(char digit, qint64 size) { return {QByteArray(64, digit), size}; }

class ProjectCompanionTest : public ::testing::Test {
protected:
    QByteArray companionBytes() const { return dir.read(QStringLiteral("shop.kpj.velmora")); }
    void writeCompanion(const QByteArray& bytes) const
    {
        dir.write(QStringLiteral("shop.kpj.velmora"), bytes);
    }

    test::TempDir dir;
    QString project = dir.file(QStringLiteral("shop.kpj"));
};

TEST_F(ProjectCompanionTest, LivesBesideTheProjectFile)
{
    EXPECT_EQ(ProjectCompanion::pathFor(QStringLiteral("/work/shop.kpj")),
              QStringLiteral("/work/shop.kpj.velmora"));
    ProjectCompanion companion(project);
    EXPECT_EQ(companion.path(), dir.file(QStringLiteral("shop.kpj.velmora")));
    // Reading a project that has none creates nothing.
    EXPECT_EQ(companion.value(kSiteAddressKey), QString());
    EXPECT_TRUE(companion.stamps(QStringLiteral("indexnow")).isEmpty());
    EXPECT_FALSE(dir.exists(QStringLiteral("shop.kpj.velmora")));
}

TEST_F(ProjectCompanionTest, EverythingRecordedReadsBackInAnotherSession)
{
    const QByteArray notUtf8("caf\xe9.htm");
    {
        ProjectCompanion companion(project);
        companion.setValue(kSiteAddressKey, QStringLiteral("https://shop.example.com/offers/"));
        companion.setValue(kIndexNowKeyKey, QStringLiteral("0123456789abcdef"));
        companion.recordStamp(QStringLiteral("ftp://u@h:21/www"), "a.htm", stampOf('1', 10));
        companion.recordStamp(QStringLiteral("ftp://u@h:21/www"), notUtf8, stampOf('2', 0));
        companion.recordStamp(QStringLiteral("indexnow"), "a.htm", stampOf('3', 7));
        companion.recordStamp(QStringLiteral("indexnow"), "b.htm", stampOf('4', 8));
        companion.recordStamp(QStringLiteral("indexnow"), "a.htm", stampOf('5', 9));  // overrides
        companion.removeStamp(QStringLiteral("indexnow"), "b.htm");
        companion.recordStamp(QStringLiteral("gone"), "x.htm", stampOf('6', 1));
        companion.clearScope(QStringLiteral("gone"));
        companion.setValue(QStringLiteral("other"), QStringLiteral("v"));
        companion.setValue(QStringLiteral("other"), QString());  // removes
    }
    const ProjectCompanion again(project);
    EXPECT_EQ(again.value(kSiteAddressKey), QStringLiteral("https://shop.example.com/offers/"));
    EXPECT_EQ(again.value(kIndexNowKeyKey), QStringLiteral("0123456789abcdef"));
    EXPECT_EQ(again.value(QStringLiteral("other")), QString());
    const auto ftp = again.stamps(QStringLiteral("ftp://u@h:21/www"));
    EXPECT_EQ(ftp.size(), 2);
    EXPECT_EQ(ftp.value("a.htm"), stampOf('1', 10));
    EXPECT_EQ(ftp.value(notUtf8), stampOf('2', 0));
    const auto indexNow = again.stamps(QStringLiteral("indexnow"));
    EXPECT_EQ(indexNow.size(), 1);
    EXPECT_EQ(indexNow.value("a.htm"), stampOf('5', 9));
    EXPECT_TRUE(again.stamps(QStringLiteral("gone")).isEmpty());
}

TEST_F(ProjectCompanionTest, EachRecordIsOneLineAppendedToTheFile)
{
    ProjectCompanion companion(project);
    companion.setValue(kSiteAddressKey, QStringLiteral("https://a.example/"));
    QByteArray before = companionBytes();
    for (int i = 0; i < 50; ++i) {
        companion.recordStamp(QStringLiteral("d"), "p" + QByteArray::number(i) + ".htm",
                              stampOf('a', i));
        // On disk at once, without closing anything, and nothing before it rewritten.
        const QByteArray now = companionBytes();
        ASSERT_TRUE(now.startsWith(before)) << i;
        const QByteArray added = now.mid(before.size());
        ASSERT_EQ(added.count('\n'), 1);
        ASSERT_TRUE(added.endsWith('\n'));
        EXPECT_TRUE(QJsonDocument::fromJson(added).isObject()) << added.toStdString();
        EXPECT_EQ(companion.fileSize(), now.size());
        before = now;
    }
    // Recording what the file already says adds nothing for a value.
    companion.setValue(kSiteAddressKey, QStringLiteral("https://a.example/"));
    EXPECT_EQ(companionBytes(), before);
}

TEST_F(ProjectCompanionTest, GrowsToAFewTimesItsLiveSizeThenIsRewrittenWhole)
{
    ProjectCompanion companion(project);
    const QString scope = QStringLiteral("ftp://u@h:21/");
    for (int i = 0; i < 100; ++i)
        companion.recordStamp(scope, "p" + QByteArray::number(i) + ".htm", stampOf('b', i));
    const qint64 live = companion.liveSize();
    EXPECT_EQ(companion.fileSize(), live);
    qint64 largest = 0;
    bool shrank = false;
    for (int round = 0; round < 30; ++round) {
        for (int i = 0; i < 100; ++i) {
            const qint64 size = companion.fileSize();
            companion.recordStamp(scope, "p" + QByteArray::number(i) + ".htm",
                                  stampOf(char('0' + round % 10), i));
            if (companion.fileSize() < size) shrank = true;
            largest = std::max(largest, companion.fileSize());
        }
    }
    EXPECT_TRUE(shrank);
    EXPECT_LE(largest, std::max<qint64>(4 * live + 200, 64 * 1024 + 200));
    EXPECT_EQ(companion.liveSize(), live);
    EXPECT_EQ(companionBytes().size(), companion.fileSize());

    const ProjectCompanion again(project);
    const auto stamps = again.stamps(scope);
    ASSERT_EQ(stamps.size(), 100);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(stamps.value("p" + QByteArray::number(i) + ".htm"), stampOf('9', i));

    companion.compact();
    EXPECT_EQ(companionBytes().count('\n'), 100);
    EXPECT_EQ(companionBytes().size(), live);
}

// Two companions of one project stand for two processes that have it open
// at once (two uploads to two mirrors): whatever order their changes and
// rewrites come in, each reads what the other wrote first.
TEST_F(ProjectCompanionTest, TwoUsersAtOnceLoseNothingOfEachOther)
{
    static const QString s1 = QStringLiteral("ftp://u@s1:21/");
    static const QString s2 = QStringLiteral("ftp://u@s2:21/");
    using Steps = void (*)(ProjectCompanion& first, ProjectCompanion& second);
    const struct {
        const char* name;
        Steps steps;
    } cases[] = {
        {"a withdrawal survives the other's rewrite",
         [](ProjectCompanion& a, ProjectCompanion& b) {
             b.removeStamp(s1, "shop.htm");
             a.recordStamp(s2, "shop.htm", stampOf('2', 5));
             a.compact();
         }},
        {"lines after the other's rewrite go to the new file",
         [](ProjectCompanion& a, ProjectCompanion& b) {
             a.compact();
             b.removeStamp(s1, "shop.htm");
             b.recordStamp(s2, "shop.htm", stampOf('2', 5));
         }},
        {"both rewrite in turn",
         [](ProjectCompanion& a, ProjectCompanion& b) {
             b.removeStamp(s1, "shop.htm");
             a.compact();
             a.recordStamp(s2, "shop.htm", stampOf('2', 5));
             b.tidy();
             b.compact();
         }},
    };
    for (const auto& c : cases) {
        QFile::remove(ProjectCompanion::pathFor(project));
        ProjectCompanion(project).recordStamp(s1, "shop.htm", stampOf('1', 1383));
        ProjectCompanion first(project);
        ProjectCompanion second(project);
        c.steps(first, second);
        const ProjectCompanion after(project);
        EXPECT_EQ(after.stamp(s1, "shop.htm"), std::nullopt) << c.name;
        EXPECT_EQ(after.stamp(s2, "shop.htm"), stampOf('2', 5)) << c.name;
        EXPECT_EQ(after.fileSize(), companionBytes().size()) << c.name;
    }
}

TEST_F(ProjectCompanionTest, ARecordTooLongToReadBackIsRefusedBeforeItIsWritten)
{
    ProjectCompanion companion(project);
    companion.setValue(kSiteAddressKey, QStringLiteral("https://a.example/"));
    const QByteArray before = companionBytes();
    EXPECT_THROW(companion.setValue(kSiteAddressKey, QString(70000, u'a')), VelmoraError);
    EXPECT_THROW(companion.recordStamp(QString(70000, u's'), "x.htm", stampOf('1', 1)),
                 VelmoraError);
    EXPECT_FALSE(ProjectCompanion::fitsStampRecord(QStringLiteral("s"), QByteArray(70000, 'n')));
    EXPECT_EQ(companionBytes(), before);
    EXPECT_EQ(ProjectCompanion(project).value(kSiteAddressKey), QStringLiteral("https://a.example/"));
}

TEST_F(ProjectCompanionTest, ATornLastLineIsSkippedAndTheNextRecordStartsOnANewLine)
{
    ProjectCompanion(project).setValue(kSiteAddressKey, QStringLiteral("https://a.example/"));
    writeCompanion(companionBytes() + R"({"op":"stamp","scope":"d","name":"x.htm","sha)");
    {
        ProjectCompanion companion(project);
        EXPECT_TRUE(companion.stamps(QStringLiteral("d")).isEmpty());
        companion.recordStamp(QStringLiteral("d"), "y.htm", stampOf('c', 3));
    }
    const ProjectCompanion again(project);
    EXPECT_EQ(again.value(kSiteAddressKey), QStringLiteral("https://a.example/"));
    EXPECT_EQ(again.stamps(QStringLiteral("d")).keys(), QList<QByteArray>{"y.htm"});
}

TEST_F(ProjectCompanionTest, HostileLinesAreSkippedAndTheGoodOnesKept)
{
    const QByteArray good = R"({"op":"stamp","scope":"d","name":"ok.htm","sha256":")" +
                            QByteArray(64, 'e') + R"(","size":12})";
    const QByteArray sha = QByteArray(64, 'f');
    QByteArrayList lines = {
        "",
        "not json at all",
        QByteArray("\x00\x01\x02\xff\xfe", 5),
        "[1,2,3]",
        "\"a string\"",
        R"({"op":"set","key":"","value":"x"})",
        R"({"op":"set","key":"k","value":5})",
        R"({"op":"set","key":["k"],"value":"x"})",
        R"({"op":"stamp","scope":"d","name":"a","sha256":"XYZ","size":1})",
        R"({"op":"stamp","scope":"d","name":"a","sha256":")" + sha.toUpper() + R"(","size":1})",
        R"({"op":"stamp","scope":"d","name":"a","sha256":")" + sha + R"(","size":-1})",
        R"({"op":"stamp","scope":"d","name":"a","sha256":")" + sha + R"(","size":1.5})",
        R"({"op":"stamp","scope":"d","name":"a","sha256":")" + sha + R"(","size":1e300})",
        R"({"op":"stamp","scope":"d","name":"a","sha256":")" + sha + R"(","size":"1"})",
        R"({"op":"stamp","scope":"d","name":"","sha256":")" + sha + R"(","size":1})",
        R"({"op":"stamp","scope":"","name":"a","sha256":")" + sha + R"(","size":1})",
        R"({"op":"stamp","scope":"d","name64":"***","sha256":")" + sha + R"(","size":1})",
        R"({"op":"stamp","scope":"d","sha256":")" + sha + R"(","size":1})",
        R"({"op":"unknown","scope":"d","name":"a"})",
        R"({"op":"clear","scope":7})",
        "{\"op\":\"set\",\"key\":\"long\",\"value\":\"" + QByteArray(200 * 1024, 'x') + "\"}",
        QByteArray(100 * 1024, '{'),
        good,
        R"({"op":"set","key":"k","value":"v"}   )",
        "{\"op\":\"set\",\"key\":\"crlf\",\"value\":\"w\"}\r",
    };
    writeCompanion(lines.join('\n') + '\n');
    ProjectCompanion companion(project);
    EXPECT_EQ(companion.stamps(QStringLiteral("d")),
              (QHash<QByteArray, FileStamp>{{"ok.htm", {QByteArray(64, 'e'), 12}}}));
    EXPECT_EQ(companion.value(QStringLiteral("k")), QStringLiteral("v"));
    EXPECT_EQ(companion.value(QStringLiteral("crlf")), QStringLiteral("w"));
    EXPECT_EQ(companion.value(QStringLiteral("long")), QString());
    // The next record compacts the mostly dead file down to what it holds.
    companion.recordStamp(QStringLiteral("d"), "new.htm", stampOf('1', 1));
    EXPECT_LT(companionBytes().size(), 1024);
    const ProjectCompanion again(project);
    EXPECT_EQ(again.stamps(QStringLiteral("d")).size(), 2);
    EXPECT_EQ(again.value(QStringLiteral("crlf")), QStringLiteral("w"));
}

TEST_F(ProjectCompanionTest, OnlyARegularFileIsReadOrWritten)
{
    const QString companionPath = dir.file(QStringLiteral("shop.kpj.velmora"));
    // A FIFO: reading must not wait for a writer, and nothing is written into it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(companionPath).constData(), 0600), 0);
    {
        ProjectCompanion companion(project);
        EXPECT_EQ(companion.value(kSiteAddressKey), QString());
        EXPECT_THROW(companion.setValue(kSiteAddressKey, QStringLiteral("https://a/")), FileError);
    }
    QFile::remove(companionPath);

    // A link is not followed, for reading or writing.
    dir.write(QStringLiteral("elsewhere"), R"({"op":"set","key":"k","value":"v"})"
                                           "\n");
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("elsewhere")), companionPath));
    {
        ProjectCompanion companion(project);
        EXPECT_EQ(companion.value(QStringLiteral("k")), QString());
        EXPECT_THROW(companion.recordStamp(QStringLiteral("d"), "a", stampOf('1', 1)), FileError);
        EXPECT_THROW(companion.compact(), FileError);
    }
    EXPECT_EQ(dir.read(QStringLiteral("elsewhere")), QByteArray(R"({"op":"set","key":"k","value":"v"})"
                                                                "\n"));
    QFile::remove(companionPath);

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("shop.kpj.velmora")));
    ProjectCompanion companion(project);
    EXPECT_THROW(companion.setValue(kSiteAddressKey, QStringLiteral("https://a/")), FileError);
}

TEST(FileStampTest, IsTheSha256AndSizeOfTheBytes)
{
    test::TempDir dir;
    dir.write(QStringLiteral("abc.htm"), "abc");
    const auto stamp = stampOfFile(dir.file(QStringLiteral("abc.htm")));
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(stamp->size, 3);
    dir.write(QStringLiteral("big.htm"), QByteArray(600 * 1024, 'x'));
    EXPECT_EQ(stampOfFile(dir.file(QStringLiteral("big.htm")))->size, 600 * 1024);
    EXPECT_NE(stampOfFile(dir.file(QStringLiteral("big.htm")))->sha256, stamp->sha256);
    EXPECT_FALSE(stampOfFile(dir.file(QStringLiteral("missing.htm"))));
    EXPECT_FALSE(stampOfFile(dir.path()));
}

TEST(FileStampTest, ManyFilesAreStampedInTheirOrderAsOneByOne)
{
    test::TempDir dir;
    std::vector<QByteArray> paths;
    for (int i = 0; i < 1500; ++i) {
        const QString name = QStringLiteral("f%1").arg(i);
        // Every seventh is missing and one is a FIFO: no stamp for those.
        if (i % 7 != 3) dir.write(name, QByteArray(i % 300, char('a' + i % 26)) + QByteArray::number(i));
        paths.push_back(QFile::encodeName(dir.file(name)));
    }
    ASSERT_TRUE(test::plant(test::Planted::Fifo, paths[10]));
    const std::vector<std::optional<FileStamp>> stamps = stampOfFiles(paths);
    ASSERT_EQ(stamps.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        ASSERT_EQ(stamps[i], stampOfFile(paths[i])) << paths[i].constData();
    EXPECT_FALSE(stamps[3]);
    EXPECT_FALSE(stamps[10]);
    EXPECT_TRUE(stampOfFiles({}).empty());
}

TEST(FileStampTest, AgreesWithQtsHashAcrossBlockAndChunkEdges)
{
    test::TempDir dir;
    QRandomGenerator random(7);
    const qint64 chunk = 256 * 1024;
    for (const qint64 size : {qint64(0), qint64(1), qint64(55), qint64(56), qint64(64),
                              chunk - 1, chunk, chunk + 1, 4 * chunk + 7}) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes) c = char(random.bounded(256));
        dir.write(QStringLiteral("f.bin"), bytes);
        const auto stamp = stampOfFile(dir.file(QStringLiteral("f.bin")));
        ASSERT_TRUE(stamp) << size;
        EXPECT_EQ(stamp->size, size);
        EXPECT_EQ(stamp->sha256,
                  QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())
            << size;
    }
}

}  // namespace
}  // namespace velmora
