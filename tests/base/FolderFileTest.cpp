// Writing a file inside a folder without ever reaching outside it, and
// opening only regular files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Errors.h"
#include "base/FileAccess.h"
#include "base/FolderFile.h"
#include "support/HostileFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

struct stat statOf(const QByteArray& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.constData(), &info), 0) << path.constData();
    return info;
}

class FolderFileTest : public ::testing::Test {
protected:
    QByteArray path(const QByteArray& name) const { return folder + name; }
    QByteArray read(const QByteArray& name) const { return test::readFile(QFile::decodeName(path(name))); }

    test::TempDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
};

TEST_F(FolderFileTest, OnlyPlainNamesAreNames)
{
    for (const char* name : {"a.htm", "..a", "a..", ".hidden", "a:b", "a\\b", "\xff\xfe", " "})
        EXPECT_TRUE(isPlainFileName(name)) << name;
    for (QByteArrayView name : {QByteArrayView(""), QByteArrayView("."), QByteArrayView(".."),
                                QByteArrayView("a/b"), QByteArrayView("/"), QByteArrayView("../x"),
                                QByteArrayView("a\0b", 3)})
        EXPECT_FALSE(isPlainFileName(name)) << name.toByteArray().constData();
}

TEST_F(FolderFileTest, ANameThatIsNoNameIsRefusedAndNothingIsWritten)
{
    dir.write(QStringLiteral("victim"), "precious");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    for (const QByteArray& name : {QByteArray("../victim"), QByteArray(".."), QByteArray(".")}) {
        try {
            writeFileInFolder(folder + "sub/", name, "planted");
            ADD_FAILURE() << "written: " << name.constData();
        } catch (const FileError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Cannot create file %1sub/%2: \"%2\" is not a plain file name")
                                    .arg(dir.path() + u'/', QString::fromLatin1(name)));
        }
    }
    EXPECT_EQ(read("victim"), "precious");
    EXPECT_EQ(test::treeOf(folder), (QByteArrayList{"sub", "victim"}));
}

TEST_F(FolderFileTest, ALinkAtTheTargetIsReplacedAndWhatItPointsAtStays)
{
    dir.write(QStringLiteral("authorized_keys"), "ssh-ed25519 mine\n");
    ASSERT_EQ(::symlink(path("authorized_keys").constData(), path("page.htm").constData()), 0);
    EXPECT_EQ(writeFileInFolder(folder, "page.htm", "<html>\r\n"), WriteResult::Written);
    EXPECT_TRUE(S_ISREG(statOf(path("page.htm")).st_mode));
    EXPECT_EQ(read("page.htm"), "<html>\r\n");
    EXPECT_EQ(read("authorized_keys"), "ssh-ed25519 mine\n");

    // A link whose bytes match is still no file of ours: it is replaced too.
    ASSERT_EQ(::unlink(path("page.htm").constData()), 0);
    ASSERT_EQ(::symlink(path("authorized_keys").constData(), path("page.htm").constData()), 0);
    EXPECT_EQ(writeFileInFolder(folder, "page.htm", "ssh-ed25519 mine\n"), WriteResult::Written);
    EXPECT_TRUE(S_ISREG(statOf(path("page.htm")).st_mode));
}

TEST_F(FolderFileTest, ThePlantedThingsAreReplacedWithoutWaitingOnThem)
{
    for (test::Planted kind : {test::Planted::Fifo, test::Planted::DeviceLink,
                               test::Planted::EndlessDeviceLink}) {
        ASSERT_TRUE(test::plant(kind, path("page.htm"))) << test::nameOf(kind);
        EXPECT_EQ(writeFileInFolder(folder, "page.htm", "page"), WriteResult::Written);
        EXPECT_EQ(read("page.htm"), "page") << test::nameOf(kind);
        ASSERT_EQ(::unlink(path("page.htm").constData()), 0);
    }
}

struct StateCase {
    const char* name;
    FileUse use;
    mode_t before;
    mode_t after;
};

class StateFileWrite : public FolderFileTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateFileWrite, IsAlwaysWrittenWithItsPermissions)
{
    const StateCase& c = GetParam();
    dir.write(QStringLiteral("state.ini"), "same");
    ASSERT_EQ(::chmod(path("state.ini").constData(), c.before), 0);
    const ino_t before = statOf(path("state.ini")).st_ino;
    EXPECT_EQ(writeFileInFolder(folder, "state.ini", "same", c.use), WriteResult::Written);
    EXPECT_NE(statOf(path("state.ini")).st_ino, before) << "replaced, not left alone";
    EXPECT_EQ(statOf(path("state.ini")).st_mode & 07777, c.after);
    EXPECT_EQ(test::treeOf(folder), QByteArrayList{"state.ini"}) << "no temporary file left";
}

INSTANTIATE_TEST_SUITE_P(
    Uses, StateFileWrite,
    ::testing::Values(StateCase{"state_keeps_its_mode", FileUse::State, 0640, 0640},
                      StateCase{"private_is_narrowed", FileUse::PrivateState, 0644, 0600}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FolderFileTest, AStateFileRefusesWhatIsNeitherFileNorLink)
{
    for (test::Planted kind : {test::Planted::Fifo, test::Planted::Folder}) {
        ASSERT_TRUE(test::plant(kind, path("state.ini"))) << test::nameOf(kind);
        EXPECT_THROW(writeFileInFolder(folder, "state.ini", "x", FileUse::State), FileError);
        EXPECT_FALSE(S_ISREG(statOf(path("state.ini")).st_mode)) << test::nameOf(kind);
        ::unlink(path("state.ini").constData());
        ::rmdir(path("state.ini").constData());
    }
    ASSERT_TRUE(test::plant(test::Planted::DeviceLink, path("state.ini")));
    EXPECT_EQ(writeFileInFolder(folder, "state.ini", "x", FileUse::State), WriteResult::Written);
    EXPECT_EQ(read("state.ini"), "x");
}

TEST_F(FolderFileTest, TheSameBytesAreNotWrittenAgainAndOtherBytesReplaceTheFile)
{
    ASSERT_EQ(writeFileInFolder(folder, "p.htm", "one"), WriteResult::Written);
    ASSERT_EQ(::chmod(path("p.htm").constData(), 0640), 0);
    const timespec old = {1000000000, 0};
    const timespec times[2] = {old, old};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("p.htm").constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    const struct stat before = statOf(path("p.htm"));

    EXPECT_EQ(writeFileInFolder(folder, "p.htm", "one"), WriteResult::Unchanged);
    const struct stat same = statOf(path("p.htm"));
    EXPECT_EQ(same.st_ino, before.st_ino);
    EXPECT_EQ(same.st_mtim.tv_sec, old.tv_sec);

    EXPECT_EQ(writeFileInFolder(folder, "p.htm", "two"), WriteResult::Written);  // same length
    EXPECT_EQ(writeFileInFolder(folder, "p.htm", "three"), WriteResult::Written);
    const struct stat after = statOf(path("p.htm"));
    EXPECT_EQ(read("p.htm"), "three");
    EXPECT_NE(after.st_mtim.tv_sec, old.tv_sec);
    EXPECT_EQ(after.st_mode & 07777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(test::treeOf(folder), QByteArrayList{"p.htm"}) << "no temporary file left";
}

TEST_F(FolderFileTest, AFailedWriteLeavesTheOldFileWholeAndNoTemporaryFile)
{
    dir.write(QStringLiteral("kept.htm"), "old page");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("in-the-way.htm")));
    EXPECT_THROW(writeFileInFolder(folder, "in-the-way.htm", "x"), FileError);
    EXPECT_THROW(writeFileInFolder(folder + "missing/", "a.htm", "x"), FileError);

    // A folder the user may not write to: the file is not touched.
    test::openToEveryone(dir.path());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    bool refused = false;
    ASSERT_TRUE(test::asUnprivilegedUser([&] {
        try {
            writeFileInFolder(folder, "kept.htm", "new page");
        } catch (const FileError& e) {
            refused = e.text() == QStringLiteral("Cannot create file ") + dir.file(QStringLiteral("kept.htm"));
        }
    }));
    ::chmod(folder.constData(), 0755);
    EXPECT_TRUE(refused);
    EXPECT_EQ(read("kept.htm"), "old page");
    EXPECT_EQ(test::treeOf(folder), (QByteArrayList{"in-the-way.htm", "kept.htm"}));
}

TEST_F(FolderFileTest, AReadOnlyFileStaysAsItIs)
{
    dir.write(QStringLiteral("ro.htm"), "old");
    ASSERT_EQ(::chmod(path("ro.htm").constData(), 0444), 0);
    EXPECT_THROW(writeFileInFolder(folder, "ro.htm", "new"), FileError);
    EXPECT_EQ(read("ro.htm"), "old");
    // Holding the bytes already, it needs no write, so nothing is refused.
    EXPECT_EQ(writeFileInFolder(folder, "ro.htm", "old"), WriteResult::Unchanged);
    ::chmod(path("ro.htm").constData(), 0644);
}

TEST_F(FolderFileTest, AFolderWithoutItsSlashIsStillTheFolder)
{
    // "sub" + "page.htm" must not be taken for the neighbour "subpage.htm",
    // even when that one holds the very bytes.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    dir.write(QStringLiteral("subpage.htm"), "page");
    EXPECT_EQ(writeFileInFolder(folder + "sub", "page.htm", "page"), WriteResult::Written);
    EXPECT_EQ(read("sub/page.htm"), "page");
    EXPECT_EQ(writeFileInFolder(folder + "sub", "page.htm", "page"), WriteResult::Unchanged);
}

TEST_F(FolderFileTest, OnlyRegularFilesOpenAndNothingWaits)
{
    for (test::Planted kind : test::kAllPlanted) {
        const QByteArray where = path("planted" + QByteArray::number(int(kind)));
        ASSERT_TRUE(test::plant(kind, where)) << test::nameOf(kind);
        QFile file;
        EXPECT_FALSE(openRegularFile(file, where, QIODevice::ReadOnly)) << test::nameOf(kind);
        EXPECT_FALSE(openRegularFile(file, where, QIODevice::ReadWrite)) << test::nameOf(kind);
        EXPECT_EQ(regularFileSize(where), -1);
        EXPECT_TRUE(isNonRegularFile(QFile::decodeName(where)));
        QByteArray bytes;
        EXPECT_EQ(readWholeFile(QFile::decodeName(where), 1024, bytes), ReadOutcome::Failed);
    }
    QByteArray bytes;
    EXPECT_EQ(readWholeFile(dir.file(QStringLiteral("none")), 1024, bytes), ReadOutcome::Missing);
    dir.write(QStringLiteral("small"), QByteArray(1024, 's'));
    EXPECT_EQ(readWholeFile(dir.file(QStringLiteral("small")), 1024, bytes), ReadOutcome::Read);
    EXPECT_EQ(bytes.size(), 1024);
    dir.write(QStringLiteral("big"), QByteArray(1025, 'b'));
    EXPECT_EQ(readWholeFile(dir.file(QStringLiteral("big")), 1024, bytes), ReadOutcome::Failed);
    EXPECT_EQ(bytes.size(), 1024) << "a failed read leaves the buffer as it was";
}

TEST(VisibleName, ShowsControlBytesInsteadOfObeyingThem)
{
    EXPECT_EQ(visibleName("a.htm\r\nDELE x\t\x01"), QStringLiteral("a.htm\\r\\nDELE x\\t\\x01"));
    EXPECT_EQ(visibleName("caf\xc3\xa9"), QStringLiteral("caf\u00e9"));
}

}  // namespace
}  // namespace velmora
