#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>
#include <QtEndian>
#include <cstring>

#include "project/ProjectFile.h"
#include "support/HostileFiles.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

ProjectData makeProject(int type, int pages)
{
    return test::ProjectBuilder(pages)
        .type(type)
        .startupDir("/w")
        .text(TextField::Heading, test::numbered("page "))
        .build();
}

QByteArray header(qint32 type, qint32 count)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian<qint32>(type, bytes.data());
    qToLittleEndian<qint32>(count, bytes.data() + 4);
    return bytes;
}

class ProjectFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    QString path = dir.file(QStringLiteral("p.kpj"));
};

TEST_F(ProjectFileTest, ThreePagesMake112808Bytes)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 3)), kFileOk);
    const QByteArray bytes = test::readFile(path);
    EXPECT_EQ(bytes.size(), 112808);
    EXPECT_EQ(bytes.left(8), header(0, 3));
}

TEST_F(ProjectFileTest, ANewProjectOfOnePageStartsWithTypeAndCount)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kSingle, 1)), kFileOk);
    EXPECT_EQ(test::readFile(path).left(8), QByteArray::fromHex("0100000001000000"));
    EXPECT_EQ(test::readFile(path).size(), 37608);
}

TEST_F(ProjectFileTest, SavingOverALongerFileLeavesExactlyTheNewSize)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 5)), kFileOk);
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 2)), kFileOk);
    EXPECT_EQ(test::readFile(path).size(), 8 + 37600 * 2);
}

TEST_F(ProjectFileTest, RoundTripsEveryByte)
{
    ProjectData written = makeProject(kSingle, 4);
    written.pages.edit(2).setText(TextField::Description, "\xFF\xFE not utf-8\r\n");
    ASSERT_EQ(WriteProjectFile(path, written), kFileOk);
    ProjectData read;
    ASSERT_EQ(ReadProjectFile(path, read), kFileOk);
    EXPECT_EQ(read.projectType, kSingle);
    ASSERT_EQ(read.pages.size(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(read.pages[i], written.pages[i]);
}

TEST_F(ProjectFileTest, TrailingBytesAreIgnored)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 2)), kFileOk);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("trailing garbage");
    f.close();
    ProjectData read;
    EXPECT_EQ(ReadProjectFile(path, read), kFileOk);
    EXPECT_EQ(read.pages.size(), 2);
}

struct BadFile {
    const char* name;
    QByteArray bytes;
};

class ProjectFileRefuses : public ProjectFileTest,
                           public ::testing::WithParamInterface<BadFile> {};

TEST_P(ProjectFileRefuses, AShortOrEmptyFileAndKeepsTheProjectItWasGiven)
{
    test::writeFile(path, GetParam().bytes);
    ProjectData kept = makeProject(kSingle, 2);
    EXPECT_EQ(ReadProjectFile(path, kept), kFileShort);
    EXPECT_EQ(kept.projectType, kSingle);
    ASSERT_EQ(kept.pages.size(), 2);
    EXPECT_EQ(kept.pages[1].text(TextField::Heading), "page 1");
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProjectFileRefuses,
    ::testing::Values(BadFile{"empty", {}}, BadFile{"three_bytes", "\x01\x00\x00"},
                      BadFile{"type_only", header(0, 1).left(4)},
                      BadFile{"count_promises_more", header(0, 3) + QByteArray(37600 * 2, 'x')},
                      BadFile{"half_a_record", header(0, 1) + QByteArray(100, 'x')},
                      BadFile{"zero_pages", header(0, 0)},
                      BadFile{"negative_count", header(0, -1) + QByteArray(37600, 'x')},
                      BadFile{"huge_count", header(0, 0x7fffffff)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectFileTest, AMissingOrReadOnlyFileCannotBeOpened)
{
    ProjectData read;
    EXPECT_EQ(ReadProjectFile(dir.file(QStringLiteral("none.kpj")), read), kFileCannotOpen);

    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 1)), kFileOk);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    EXPECT_EQ(ReadProjectFile(path, read), kFileCannotOpen);
    EXPECT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 2)), kFileCannotOpen);
    EXPECT_EQ(test::readFile(path).size(), 37608);
}

TEST_F(ProjectFileTest, AFailedSaveLeavesTheOldFileWhole)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 2)), kFileOk);
    const QByteArray before = test::readFile(path);
    // A folder where the file should be cannot be written.
    const QString blocked = dir.file(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    EXPECT_NE(WriteProjectFile(blocked, makeProject(kInterlinked, 1)), kFileOk);
    EXPECT_EQ(WriteProjectFile(dir.file(QStringLiteral("no/such/dir.kpj")), makeProject(0, 1)),
              kFileCannotOpen);
    EXPECT_EQ(test::readFile(path), before);
}

TEST_F(ProjectFileTest, WhatIsNoRegularFileIsRefusedAtOnceAndNotReplaced)
{
    for (test::Planted kind : test::kAllPlanted) {
        const QString where = dir.file(QStringLiteral("planted%1.kpj").arg(int(kind)));
        ASSERT_TRUE(test::plant(kind, QFile::encodeName(where))) << test::nameOf(kind);
        ProjectData read = makeProject(kSingle, 2);
        EXPECT_EQ(ReadProjectFile(where, read), kFileCannotOpen) << test::nameOf(kind);
        EXPECT_EQ(read.pages.size(), 2);
        EXPECT_EQ(WriteProjectFile(where, makeProject(kSingle, 1)), kFileCannotOpen);
        EXPECT_FALSE(QFileInfo(where).isFile() && !QFileInfo(where).isSymLink());
    }
}

TEST_F(ProjectFileTest, AFailureSaysWhyAsAUserReadsIt)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 2)), kFileOk);
    const QByteArray whole = test::readFile(path);
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"cut", whole.left(whole.size() - 1000),
         "not a Velmora project: its size is not a whole number of pages"},
        {"random", QByteArray::fromHex("5c1e9a4f00ff1352") + QByteArray(50000, '\x9b'),
         "not a Velmora project: its size is not a whole number of pages"},
        {"a header alone", header(0, 2), "not a Velmora project: it holds fewer pages than it counts"},
        {"tiny", "\x01\x00", "not a Velmora project: it is shorter than its header"},
        {"no page", header(0, 0), "not a Velmora project: it counts no page"},
    };
    for (const auto& c : cases) {
        test::writeFile(path, c.bytes);
        ProjectData read;
        QString reason;
        EXPECT_NE(ReadProjectFile(path, read, &reason), kFileOk) << c.name;
        EXPECT_EQ(reason, QString::fromUtf8(c.reason)) << c.name;
    }
    QString reason;
    ProjectData read;
    EXPECT_EQ(ReadProjectFile(dir.file(QStringLiteral("none.kpj")), read, &reason), kFileCannotOpen);
    EXPECT_EQ(reason, QStringLiteral("no such file or directory"));
    EXPECT_EQ(WriteProjectFile(dir.file(QStringLiteral("no/such.kpj")), makeProject(0, 1), &reason),
              kFileCannotOpen);
    EXPECT_EQ(reason, QStringLiteral("no such file or directory"));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_EQ(WriteProjectFile(path, makeProject(0, 1), &reason), kFileCannotOpen);
    EXPECT_EQ(reason, QStringLiteral("the file is read-only"));
}

TEST_F(ProjectFileTest, ALinkAtTheNameIsReplacedNeverWrittenThrough)
{
    const QString notes = dir.file(QStringLiteral("notes.txt"));
    test::writeFile(notes, "my notes");
    ASSERT_TRUE(QFile::link(notes, path));
    ASSERT_EQ(WriteProjectFile(path, makeProject(kSingle, 1)), kFileOk);
    EXPECT_EQ(test::readFile(notes), "my notes");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(test::readFile(path).size(), 37608);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no leftovers
}

TEST_F(ProjectFileTest, AFolderThatCannotHoldATemporaryFileIsSavedInPlace)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 1)), kFileOk);
    test::openToEveryone(dir.path());
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                     QFileDevice::ReadOther | QFileDevice::ExeOther));
    int result = -1;
    ASSERT_TRUE(test::asUnprivilegedUser(
        [&] { result = WriteProjectFile(path, makeProject(kSingle, 3)); }));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    EXPECT_EQ(result, kFileOk);
    ProjectData read;
    ASSERT_EQ(ReadProjectFile(path, read), kFileOk);
    EXPECT_EQ(read.pages.size(), 3);
    EXPECT_EQ(read.projectType, kSingle);
}

// --- one record at a time ------------------------------------------------

TEST_F(ProjectFileTest, TheWriterWritesTheSameBytesAsAWholeProject)
{
    ProjectData project = makeProject(kSingle, 3);
    project.pages.edit(1).setText(TextField::Description, "\xFF not utf-8\r\n");
    QByteArray expected = header(kSingle, 3);
    for (int i = 0; i < 3; ++i) expected += QByteArray(project.pages[i].bytes().data(), 37600);

    ProjectFileWriter writer;
    ASSERT_EQ(writer.open(path, kSingle), kFileOk);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(writer.append(project.pages[i]), kFileOk);
    EXPECT_FALSE(QFile::exists(path));  // nothing under the final name before commit
    ASSERT_EQ(writer.commit(), kFileOk);
    EXPECT_EQ(test::readFile(path), expected);

    ASSERT_EQ(WriteProjectFile(path, project), kFileOk);
    EXPECT_EQ(test::readFile(path), expected);
}

TEST_F(ProjectFileTest, ZeroBlocksSkippedOnWritingReadBackAsZeros)
{
    // Records of nothing but zeros, one byte at either end or in the middle
    // of a long run of zeros, and none at all, written over a file whose old
    // bytes must not show through.
    ProjectData project;
    project.projectType = kInterlinked;
    project.pages.append();
    project.pages.append().bytes()[0] = 'a';
    project.pages.append().bytes()[20000] = 'b';
    project.pages.append().bytes().back() = 'c';
    std::memset(project.pages.append().bytes().data(), 0xFF, 37600);
    project.pages.append();
    project.pages.append();
    QByteArray expected = header(kInterlinked, 7);
    for (int i = 0; i < 7; ++i) expected += QByteArray(project.pages[i].bytes().data(), 37600);

    test::writeFile(path, QByteArray(expected.size() + 5000, 'x'));
    ASSERT_EQ(WriteProjectFile(path, project), kFileOk);
    EXPECT_TRUE(test::readFile(path) == expected);
    ProjectData read;
    ASSERT_EQ(ReadProjectFile(path, read), kFileOk);
    EXPECT_EQ(read.pages[6], PageRecord{});
}

TEST_F(ProjectFileTest, AWriterDroppedBeforeCommitLeavesTheOldFileAndNoLeftovers)
{
    ASSERT_EQ(WriteProjectFile(path, makeProject(kInterlinked, 2)), kFileOk);
    const QByteArray before = test::readFile(path);
    {
        ProjectFileWriter writer;
        ASSERT_EQ(writer.open(path, kSingle), kFileOk);
        ASSERT_EQ(writer.append(makeProject(kSingle, 1).pages[0]), kFileOk);
    }
    EXPECT_EQ(test::readFile(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("p.kpj")});

    ProjectFileWriter unopened;
    EXPECT_EQ(unopened.append(PageRecord{}), kFileShort);
    EXPECT_EQ(unopened.commit(), kFileShort);
}

TEST_F(ProjectFileTest, TheReaderHandsOutOneRecordAtATime)
{
    const ProjectData written = makeProject(kInterlinked, 3);
    ASSERT_EQ(WriteProjectFile(path, written), kFileOk);
    ProjectFileReader reader;
    ASSERT_EQ(reader.open(path), kFileOk);
    EXPECT_EQ(reader.projectType(), kInterlinked);
    EXPECT_EQ(reader.pageCount(), 3);
    PageRecord page;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(reader.read(page), kFileOk);
        EXPECT_EQ(page, written.pages[i]);
    }
    EXPECT_EQ(reader.pagesRead(), 3);
    EXPECT_EQ(reader.read(page), kFileShort);  // never past the count
}

}  // namespace
}  // namespace velmora
