#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <unistd.h>
#include <ostream>

#include "SubmissionTestData.h"
#include "project/ProjectFile.h"
#include "submit/SubmissionFile.h"
#include "support/HostileFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::makeSubmissionList;
using test::submissionFileBytes;

class SubmissionFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    QString path = submissionFilePath(dir.path());
};

TEST(SubmissionFilePath, IsAddurlIniInTheStartupDirectory)
{
    EXPECT_EQ(submissionFilePath(QStringLiteral("/home/u/velmora")),
              QStringLiteral("/home/u/velmora/addurl.ini"));
}

TEST_F(SubmissionFileTest, WritesTheCountAndEveryEntryAndNothingElse)
{
    for (const int n : {1, 3, 12}) {
        const SubmissionList list = makeSubmissionList(n);
        ASSERT_EQ(WriteSubmissionFile(path, list), kFileOk);
        const QByteArray bytes = test::readFile(path);
        EXPECT_EQ(bytes.size(), 4 + 520 * n);
        EXPECT_EQ(bytes, submissionFileBytes(n, list));
    }
}

TEST_F(SubmissionFileTest, TwoEntriesOverTenLeave1044Bytes)
{
    ASSERT_EQ(WriteSubmissionFile(path, makeSubmissionList(10)), kFileOk);
    ASSERT_EQ(WriteSubmissionFile(path, makeSubmissionList(2)), kFileOk);
    EXPECT_EQ(test::readFile(path).size(), 1044);
}

TEST_F(SubmissionFileTest, ThreeOfThreeReadInOrder)
{
    const SubmissionList written = makeSubmissionList(3);
    test::writeFile(path, submissionFileBytes(3, written));
    SubmissionList read;
    ASSERT_EQ(ReadSubmissionFile(path, read), kFileOk);
    EXPECT_EQ(read, written);
}

TEST_F(SubmissionFileTest, TrailingBytesAreIgnoredAndGoneAfterTheNextWrite)
{
    const SubmissionList written = makeSubmissionList(2);
    test::writeFile(path, submissionFileBytes(2, written) + "left over from an older list");
    SubmissionList read;
    ASSERT_EQ(ReadSubmissionFile(path, read), kFileOk);
    EXPECT_EQ(read, written);
    ASSERT_EQ(WriteSubmissionFile(path, read), kFileOk);
    EXPECT_EQ(test::readFile(path), submissionFileBytes(2, written));
}

TEST_F(SubmissionFileTest, EveryByteOfAnEntrySurvivesARoundTrip)
{
    SubmissionList written = makeSubmissionList(2);
    written[0].setText(SubmissionField::Name, QByteArray(259, 'n'));
    written[1].setText(SubmissionField::Name, "\xFF\xFE not utf-8");
    std::fill_n(written[1].bytes().begin() + 260, 260, 's');  // a string without a zero
    ASSERT_EQ(WriteSubmissionFile(path, written), kFileOk);
    SubmissionList read;
    ASSERT_EQ(ReadSubmissionFile(path, read), kFileOk);
    EXPECT_EQ(read, written);
    EXPECT_EQ(read[0].name(), QByteArray(259, 'n'));
    EXPECT_EQ(read[1].submissionString(), QByteArray(260, 's'));
}

TEST_F(SubmissionFileTest, ALongerNameIsCutWithoutTouchingTheString)
{
    SubmissionList written;
    SubmissionEntry& entry = written.append();
    entry.setText(SubmissionField::SubmissionString, "http://x/?$URL");
    entry.setText(SubmissionField::Name, QByteArray(258, 'n') + "\xE2\x82\xAC" + "more");
    ASSERT_EQ(WriteSubmissionFile(path, written), kFileOk);
    SubmissionList read;
    ASSERT_EQ(ReadSubmissionFile(path, read), kFileOk);
    EXPECT_EQ(read[0].name(), QByteArray(258, 'n'));
    EXPECT_EQ(read[0].submissionString(), "http://x/?$URL");
}

struct BadFile {
    const char* name;
    QByteArray bytes;
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

class SubmissionFileRefuses : public SubmissionFileTest,
                              public ::testing::WithParamInterface<BadFile> {};

TEST_P(SubmissionFileRefuses, AShortOrEmptyListAndKeepsTheListItWasGiven)
{
    test::writeFile(path, GetParam().bytes);
    SubmissionList kept = makeSubmissionList(1);
    EXPECT_EQ(ReadSubmissionFile(path, kept), kFileShort);
    EXPECT_EQ(kept, makeSubmissionList(1));
}

INSTANTIATE_TEST_SUITE_P(
    Files, SubmissionFileRefuses,
    ::testing::Values(
        BadFile{"empty", {}}, BadFile{"two_bytes", QByteArray("\x03\x00", 2)},
        BadFile{"three_promised_two_present", submissionFileBytes(3, makeSubmissionList(2))},
        BadFile{"half_an_entry", submissionFileBytes(1, {}) + QByteArray(260, 'x')},
        BadFile{"count_zero", submissionFileBytes(0, makeSubmissionList(1))},
        BadFile{"count_negative", submissionFileBytes(-1, makeSubmissionList(1))},
        BadFile{"huge_count", submissionFileBytes(0x7fffffff, makeSubmissionList(1))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SubmissionFileTest, AMissingFileCannotBeOpened)
{
    SubmissionList read;
    EXPECT_EQ(ReadSubmissionFile(path, read), kFileCannotOpen);
    EXPECT_TRUE(read.isEmpty());
}

TEST_F(SubmissionFileTest, AReadOnlyFileCannotBeOpenedNorReplaced)
{
    const QByteArray before = submissionFileBytes(3, makeSubmissionList(3));
    test::writeFile(path, before);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    SubmissionList read;
    EXPECT_EQ(ReadSubmissionFile(path, read), kFileCannotOpen);
    EXPECT_EQ(WriteSubmissionFile(path, makeSubmissionList(1)), kFileCannotOpen);
    EXPECT_EQ(test::readFile(path), before);
}

TEST_F(SubmissionFileTest, AFileThatCannotBeCreatedIsReported)
{
    EXPECT_EQ(
        WriteSubmissionFile(dir.file(QStringLiteral("no/such/addurl.ini")), makeSubmissionList(1)),
        kFileCannotOpen);
    // A folder in the file's place is not replaced.
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_NE(WriteSubmissionFile(path, makeSubmissionList(1)), kFileOk);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(SubmissionFileTest, WhatIsNoRegularFileIsRefusedAtOnceAndNotReplaced)
{
    for (test::Planted kind : test::kAllPlanted) {
        ASSERT_TRUE(test::plant(kind, QFile::encodeName(path))) << test::nameOf(kind);
        SubmissionList read = makeSubmissionList(2);
        EXPECT_EQ(ReadSubmissionFile(path, read), kFileCannotOpen) << test::nameOf(kind);
        EXPECT_EQ(read.size(), 2);
        // A link is replaced by the list, never written through; anything
        // else in the list's place stays.
        const bool link = QFileInfo(path).isSymLink();
        EXPECT_EQ(WriteSubmissionFile(path, makeSubmissionList(1)), link ? kFileOk : kFileCannotOpen)
            << test::nameOf(kind);
        EXPECT_EQ(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(), link);
        QFile::remove(path);
        QDir().rmdir(path);
    }
}

TEST_F(SubmissionFileTest, ALinkAtTheNameIsReplacedAndWhatItPointsAtStays)
{
    const QByteArray elsewhere = "someone else's file";
    dir.write(QStringLiteral("elsewhere"), elsewhere);
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("elsewhere")), path));
    ASSERT_EQ(WriteSubmissionFile(path, makeSubmissionList(2)), kFileOk);
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(test::readFile(path).size(), 4 + 2 * 520);
    EXPECT_EQ(dir.read(QStringLiteral("elsewhere")), elsewhere);
}

TEST_F(SubmissionFileTest, AFolderThatCannotHoldATemporaryFileIsWrittenInPlace)
{
    ASSERT_EQ(WriteSubmissionFile(path, makeSubmissionList(1)), kFileOk);
    test::openToEveryone(dir.path());
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                     QFileDevice::ReadOther | QFileDevice::ExeOther));
    int result = -1;
    ASSERT_TRUE(test::asUnprivilegedUser(
        [&] { result = WriteSubmissionFile(path, makeSubmissionList(4)); }));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    EXPECT_EQ(result, kFileOk);
    EXPECT_EQ(test::readFile(path).size(), 4 + 4 * 520);
}

}  // namespace
}  // namespace velmora
