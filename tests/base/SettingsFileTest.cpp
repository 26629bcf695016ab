#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Errors.h"
#include "base/Options.h"
#include "base/SettingsFile.h"
#include "base/VendorValues.h"
#include "support/HostileFiles.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    SettingsFile settings = SettingsFile::inDirectory(dir.path());
};

TEST_F(SettingsFileTest, AMissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(settings.read("VENDOR", "HOMEPAGE", "dflt"), "dflt");
    dir.write(QStringLiteral("velmora.ini"), "[VENDOR]\nCOPYRIGHT=me\n");
    EXPECT_EQ(settings.read("VENDOR", "HOMEPAGE", "dflt"), "dflt");
    EXPECT_EQ(settings.read("FTP", "COPYRIGHT", "dflt"), "dflt");
}

TEST_F(SettingsFileTest, NamesMatchWithoutRegardToCase)
{
    dir.write(QStringLiteral("velmora.ini"), "[vendor]\nhomepage=http://x/\n");
    EXPECT_EQ(settings.read("VENDOR", "HOMEPAGE", ""), "http://x/");
    settings.write("Vendor", "HomePage", "http://y/");
    EXPECT_EQ(settings.read("VENDOR", "HOMEPAGE", ""), "http://y/");
    EXPECT_EQ(dir.read(QStringLiteral("velmora.ini")).count("omepage"), 1);
}

TEST_F(SettingsFileTest, WritesCreateTheFileForItsOwnerOnlyAndKeepOtherKeys)
{
    settings.write("FTP", "PASSWORD", "secret");
    settings.write("WSIZE", "Height", "480");
    settings.write("FTP", "PASSWORD", "other");
    EXPECT_EQ(settings.read("FTP", "PASSWORD", ""), "other");
    EXPECT_EQ(settings.read("WSIZE", "Height", ""), "480");
    EXPECT_EQ(QFile::permissions(settings.path()),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser);
}

TEST_F(SettingsFileTest, ValuesAreCutTo1023Bytes)
{
    dir.write(QStringLiteral("velmora.ini"), "[A]\nK=" + QByteArray(1500, 'v') + "\n");
    EXPECT_EQ(settings.read("A", "K", ""), QByteArray(1023, 'v'));
    settings.write("A", "L", QByteArray(1022, 'w') + "\xC3\xA9");  // no half letter kept
    EXPECT_EQ(settings.read("A", "L", ""), QByteArray(1022, 'w'));
}

TEST_F(SettingsFileTest, AValueNeverStartsANewLine)
{
    settings.write("FTP", "HOST_NAME", "host\n[VENDOR]\nHOMEPAGE=evil");
    EXPECT_EQ(settings.read("FTP", "HOST_NAME", ""), "host");
    EXPECT_EQ(settings.read("VENDOR", "HOMEPAGE", "none"), "none");
}

TEST_F(SettingsFileTest, AReadOnlyFileIsLeftAsItIs)
{
    dir.write(QStringLiteral("velmora.ini"), "[A]\nK=1\n");
    QFile::setPermissions(settings.path(), QFileDevice::ReadOwner);
    EXPECT_THROW(settings.write("A", "K", "2"), FileError);
    EXPECT_EQ(settings.read("A", "K", ""), "1");
}

TEST_F(SettingsFileTest, WhatIsNoRegularFileGivesDefaultsAtOnceAndIsNeverWritten)
{
    for (test::Planted kind : test::kAllPlanted) {
        ASSERT_TRUE(test::plant(kind, QFile::encodeName(settings.path()))) << test::nameOf(kind);
        EXPECT_EQ(settings.read("VENDOR", "HOMEPAGE", "dflt"), "dflt") << test::nameOf(kind);
        EXPECT_EQ(VendorValues::read(settings).programName, "Velmora 1.0");
        EXPECT_THROW(settings.write("WSIZE", "Left", "1"), FileError) << test::nameOf(kind);
        EXPECT_TRUE(QFileInfo(settings.path()).isSymLink() || !QFileInfo(settings.path()).isFile());
        QFile::remove(settings.path());
        QDir().rmdir(settings.path());
    }
}

TEST_F(SettingsFileTest, ALinkAtTheNameIsReplacedForTheOwnerOnlyAndWhatItPointsAtStays)
{
    const QByteArray elsewhere = "[A]\nK=1\n";
    dir.write(QStringLiteral("elsewhere"), elsewhere);
    QFile::setPermissions(dir.file(QStringLiteral("elsewhere")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("elsewhere")), settings.path()));
    ASSERT_NO_THROW(settings.write("FTP", "PASSWORD", "secret"));
    EXPECT_FALSE(QFileInfo(settings.path()).isSymLink());
    EXPECT_EQ(settings.read("FTP", "PASSWORD", ""), "secret");
    EXPECT_EQ(dir.read(QStringLiteral("elsewhere")), elsewhere);
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(settings.path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(SettingsFileTest, AFileTooLargeToReadWholeIsNeitherReadNorRewritten)
{
    // Keys after 16 MB of padding: a write that read only part of the file
    // would drop them.
    const QByteArray big = "[FTP]\nPASSWORD=secret\n[PAD]\nP=" + QByteArray(16 * 1024 * 1024, 'p') +
                           "\n[VENDOR]\nHOMEPAGE=http://mine/\n";
    dir.write(QStringLiteral("velmora.ini"), big);
    EXPECT_EQ(settings.read("FTP", "PASSWORD", "none"), "none");
    EXPECT_THROW(settings.write("WSIZE", "Left", "1"), FileError);
    EXPECT_TRUE(dir.read(QStringLiteral("velmora.ini")) == big);
}

TEST_F(SettingsFileTest, AFolderThatCannotHoldATemporaryFileIsWrittenInPlace)
{
    dir.write(QStringLiteral("velmora.ini"), "[A]\nK=1\n");
    test::openToEveryone(dir.path());
    ASSERT_EQ(::chown(QFile::encodeName(settings.path()).constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                     QFileDevice::ReadOther | QFileDevice::ExeOther));
    bool written = false;
    ASSERT_TRUE(test::asUnprivilegedUser([&] {
        try {
            settings.write("A", "L", "2");
            written = true;
        } catch (const FileError&) {
        }
    }));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    EXPECT_TRUE(written);
    EXPECT_EQ(settings.read("A", "K", ""), "1");
    EXPECT_EQ(settings.read("A", "L", ""), "2");
}

TEST_F(SettingsFileTest, VendorValuesHaveDefaults)
{
    const VendorValues none = VendorValues::read(settings);
    EXPECT_EQ(none.programName, "Velmora 1.0");
    EXPECT_EQ(none.linkInHtml, kVelmoraHomePage);
    dir.write(QStringLiteral("velmora.ini"),
              "[VENDOR]\nPROGRAM_NAME=Velmora 2\nLINK_IN_HTML=http://credit/\n");
    const VendorValues set = VendorValues::read(settings);
    EXPECT_EQ(set.programName, "Velmora 2");
    EXPECT_EQ(set.linkInHtml, "http://credit/");
    EXPECT_EQ(set.copyright, kVelmoraCopyright);
}

struct OptionsCase {
    const char* name;
    QByteArray file;
    Options expected;
};

class OptionsLoading : public SettingsFileTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(OptionsLoading, FollowsTheStoredValues)
{
    dir.write(QStringLiteral("velmora.ini"), GetParam().file);
    Options options;
    LoadOptions(settings, options);
    EXPECT_EQ(options, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OptionsLoading,
    ::testing::Values(
        OptionsCase{"empty", "", {true, true, true, 0}},
        OptionsCase{"lower_case_yes_clears", "[OPTIONS]\nMSG_FILE=yes\n", {true, true, false, 0}},
        OptionsCase{"no", "[OPTIONS]\nAUTO_NAME=No\nMSG_FOLDER=YES\n", {false, false, true, 0}},
        OptionsCase{"single", "[OPTIONS]\nCHOSING_NEW_PRJ=1\n", {true, true, true, 1}},
        OptionsCase{"above_two_clamped", "[OPTIONS]\nCHOSING_NEW_PRJ=7\n", {true, true, true, 2}},
        OptionsCase{"below_minus_one_clamped", "[OPTIONS]\nCHOSING_NEW_PRJ=-5\n",
                    {true, true, true, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, AChoiceThatIsNoIntegerFailsAfterTheFlagsAreLoaded)
{
    dir.write(QStringLiteral("velmora.ini"), "[OPTIONS]\nMSG_FILE=No\nCHOSING_NEW_PRJ=two\n");
    Options options{.newProjectChoice = 1};
    try {
        LoadOptions(settings, options);
        FAIL() << "no failure raised";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("'two' is not a valid integer value"));
    }
    EXPECT_FALSE(options.msgFile);
    EXPECT_EQ(options.newProjectChoice, 1);
}

TEST_F(SettingsFileTest, StoredOptionsReadBackTheSame)
{
    StoreOptions(settings, {false, true, false, -1});
    EXPECT_EQ(settings.read("OPTIONS", "AUTO_NAME", ""), "No");
    EXPECT_EQ(settings.read("OPTIONS", "CHOSING_NEW_PRJ", ""), "-1");
    Options options;
    LoadOptions(settings, options);
    EXPECT_EQ(options, (Options{false, true, false, -1}));
}

TEST(ErrorDisplayText, AddsAFullStopAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(errorDisplayText(QStringLiteral("Connection Failed")), QStringLiteral("Connection Failed."));
    EXPECT_EQ(errorDisplayText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(errorDisplayText(QStringLiteral("530 Login incorrect.\r\n")),
              QStringLiteral("530 Login incorrect.\r\n"));
    EXPECT_EQ(errorDisplayText(QStringLiteral("a-")), QStringLiteral("a-"));  // '-' sorts before '.'
}

}  // namespace
}  // namespace velmora
