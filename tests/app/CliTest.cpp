#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "project/ProjectCompanion.h"
#include "project/ProjectFile.h"
#include "support/CliRun.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::CliRun;

CliRun runCli(const QStringList& args, const QString& workingDir = QString())
{
    return test::runCliProgram(args, {.workingDirectory = workingDir});
}

QJsonObject parse(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    return doc.object();
}

void writeProject(const QString& path, int type, int pages, bool withNames = false)
{
    test::ProjectBuilder project(pages);
    project.type(type).text(TextField::Heading, test::numbered("Page "));
    if (withNames) project.text(TextField::Edit2, [](int i) { return "named" + QByteArray::number(i) + ".htm"; });
    project.write(path);
}

TEST(CliFill, PrintsTheFilledFieldsInOrder)
{
    const CliRun run = runCli({QStringLiteral("fill"), QStringLiteral("cheap used cars")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject fields = parse(run.out);
    EXPECT_EQ(fields.size(), 19);
    EXPECT_EQ(fields[u"Heading"].toString(), QStringLiteral("cheap used cars"));
    EXPECT_EQ(fields[u"Description"].toString(),
              QStringLiteral("cheap used cars -- description goes here, minimum 75 words"));
    EXPECT_EQ(fields[u"Word"].toString(), QStringLiteral("cheap used cars"));
    EXPECT_EQ(fields[u"Word6"].toString(), QStringLiteral("used cars"));
    EXPECT_EQ(fields[u"Word7"].toString(), QString());
    EXPECT_TRUE(run.out.startsWith("{\"Heading\": "));
    EXPECT_TRUE(run.out.contains("\"Word13\": \"\", \"Word14\": \"\"}"));
}

TEST(CliFill, KeepsUnicodeWords)
{
    const CliRun run = runCli({QStringLiteral("fill"), QStringLiteral("дешёвые машины")});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(parse(run.out)[u"Word2"].toString(), QStringLiteral("машины"));
}

TEST(CliDump, PrintsEveryFieldOfEveryPage)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("p.kpj"));
    ProjectData project;
    project.projectType = 1;
    PageRecord& page = project.pages.append();
    InitPage(page, {.projectType = 1, .startupDir = "/w"});
    page.setText(TextField::Heading, "bad \xFF byte \"quoted\"");
    page.setFlag(FlagField::CommentsBox, false);
    project.pages.append();
    ASSERT_EQ(WriteProjectFile(path, project), kFileOk);

    const CliRun run = runCli({QStringLiteral("dump"), path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject dump = parse(run.out);
    EXPECT_EQ(dump[u"ProjectType"].toInt(), 1);
    const QJsonArray pages = dump[u"Pages"].toArray();
    ASSERT_EQ(pages.size(), 2);
    const QJsonObject first = pages[0].toObject();
    EXPECT_EQ(first.size(), 35 + 6 + 3);
    EXPECT_EQ(first[u"Heading"].toString(), QStringLiteral("bad \uFFFD byte \"quoted\""));
    EXPECT_EQ(first[u"HeadingColor"].toInteger(), 0x00D28282);
    EXPECT_EQ(first[u"CommentsBox"].toInt(), 0);
    EXPECT_EQ(first[u"RobotsBox"].toInt(), 1);
    EXPECT_EQ(first[u"ImageSource"].toString(), QStringLiteral("/w/splash1.jpg"));
    EXPECT_EQ(pages[1].toObject()[u"HomePage"].toString(), QString());
}

TEST(CliDump, AnUnreadableFileFails)
{
    test::TempDir dir;
    dir.write(QStringLiteral("short.kpj"), "\x00\x00\x00");
    for (const QString& path : {dir.file(QStringLiteral("none.kpj")), dir.file(QStringLiteral("short.kpj"))}) {
        const CliRun run = runCli({QStringLiteral("dump"), path});
        EXPECT_NE(run.exitCode, 0);
        EXPECT_EQ(run.err.trimmed(), "Error opening file");
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(CliUsage, AnUnknownCommandPrintsTheUsage)
{
    const CliRun run = runCli({QStringLiteral("frobnicate")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("velmora-cli fill PHRASE"));
    EXPECT_TRUE(run.err.contains(
        "velmora-cli indexnow PROJECT.kpj [--site-url URL] [--key KEY] [--endpoint URL]"));
}

TEST(CliUsage, TheFullUsageShowsEachCommandAsItsOwnUsageDoes)
{
    const QByteArray full = runCli({}).err;
    for (const char* command : {"fill", "dump", "generate", "new", "upload", "indexnow"}) {
        const QByteArray own = runCli({QString::fromLatin1(command), QStringLiteral("--no-such-option"),
                                       QStringLiteral("a"), QStringLiteral("b")})
                                   .err;
        ASSERT_TRUE(own.startsWith("usage: velmora-cli ")) << command << ": " << own.constData();
        const QByteArray line = own.trimmed().mid(int(qstrlen("usage: ")));
        EXPECT_TRUE(full.contains("  " + line + '\n') || full.endsWith("  " + line + '\n'))
            << line.constData();
    }
    EXPECT_TRUE(full.contains("[--changed-only] [--connections N] [--delete] [--max-delete N] [--dry-run]"));
}

TEST(CliGenerate, WritesAutoNamedPagesBesideTheProjectAndListsThem)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("site.kpj"));
    writeProject(path, 0, 3);
    const QByteArray before = test::readFile(path);
    dir.write(QStringLiteral("velmora.ini"), "[VENDOR]\nLINK_IN_HTML=http://credit.example/\n");

    const CliRun run = runCli({QStringLiteral("generate"), path}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString folder = dir.file(QStringLiteral("site/"));
    EXPECT_EQ(run.out, QFile::encodeName(folder + QStringLiteral("siteb.htm\n") + folder +
                                         QStringLiteral("sitev.htm\n") + folder +
                                         QStringLiteral("siteo.htm\n")));
    const QByteArray third = test::readFile(folder + QStringLiteral("siteo.htm"));
    EXPECT_TRUE(third.contains("<a href=\"http://credit.example/\">"));
    EXPECT_TRUE(third.contains("<b><p align=\"center\"><a href=\"sitev.htm\">Page 1</a></p></b>\r\n"));
    EXPECT_EQ(test::readFile(path), before);  // no --save: the project file is untouched
}

TEST(CliGenerate, SaveWritesTheUpdatedRecordsBack)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("site.kpj"));
    writeProject(path, 0, 2, /*withNames=*/true);
    const CliRun run = runCli({QStringLiteral("generate"), path, QStringLiteral("--save")}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ProjectData saved;
    ASSERT_EQ(ReadProjectFile(path, saved), kFileOk);
    EXPECT_EQ(QFile::decodeName(saved.pages[1].text(TextField::PageFolder)),
              dir.file(QStringLiteral("site/")));
    EXPECT_EQ(saved.pages[1].text(TextField::Edit2), "named1.htm");
    EXPECT_EQ(saved.pages[1].text(TextField::PreviousLinkAddress), "named0.htm");
}

TEST(CliGenerate, ASiteAddressAddsTheSiteFilesAndIsRecordedBesideTheProject)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("site.kpj"));
    writeProject(path, 1, 2);
    const QByteArray before = test::readFile(path);
    const CliRun run = runCli({QStringLiteral("generate"), path, QStringLiteral("--site-url"),
                               QStringLiteral("HTTPS://Shop.Example.com/offers/")},
                              dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString folder = dir.file(QStringLiteral("site/"));
    const QString key = ProjectCompanion(path).value(kIndexNowKeyKey);
    ASSERT_EQ(key.size(), 32);
    EXPECT_EQ(run.out, QFile::encodeName(folder + QStringLiteral("siteb.htm\n") + folder +
                                         QStringLiteral("sitev.htm\n") + folder +
                                         key + QStringLiteral(".txt\n") +
                                         folder + QStringLiteral("sitemap.xml\n") + folder +
                                         QStringLiteral("robots.txt\n")));
    EXPECT_TRUE(test::readFile(folder + QStringLiteral("sitemap.xml"))
                    .contains("<loc>https://shop.example.com/offers/sitev.htm</loc>"));
    EXPECT_EQ(ProjectCompanion(path).value(kSiteAddressKey),
              QStringLiteral("https://shop.example.com/offers/"));
    EXPECT_EQ(test::readFile(path), before);

    // Later runs keep it; a bad address is refused before anything is written.
    EXPECT_EQ(runCli({QStringLiteral("generate"), path}, dir.path()).out.count('\n'), 5);
    const CliRun bad = runCli({QStringLiteral("generate"), path, QStringLiteral("--site-url"),
                               QStringLiteral("ftp://shop.example.com/")},
                              dir.path());
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_EQ(bad.err.trimmed(),
              "The site address must be an absolute http or https address ending in \"/\"");
    EXPECT_TRUE(bad.out.isEmpty());
    const CliRun usage = runCli({QStringLiteral("generate"), path, QStringLiteral("--site-url")});
    EXPECT_TRUE(
        usage.err.startsWith("usage: velmora-cli generate PROJECT.kpj [--save] [--site-url URL]"));
}

TEST(CliGenerate, TheModernHeadIsRecordedAndOffLeavesThePagesAsBefore)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("site.kpj"));
    writeProject(path, 1, 2);
    const QString page = dir.file(QStringLiteral("site/sitev.htm"));
    ASSERT_EQ(runCli({QStringLiteral("generate"), path}, dir.path()).exitCode, 0);
    const QByteArray plain = test::readFile(page);
    EXPECT_TRUE(plain.startsWith("<html>\r\n<head>\r\n<title>"));

    const QByteArray head = "<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<meta name=\"viewport\" "
                            "content=\"width=device-width, initial-scale=1\">\r\n";
    CliRun run = runCli({QStringLiteral("generate"), path, QStringLiteral("--modern-head"),
                         QStringLiteral("on")},
                        dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(test::readFile(page).startsWith(head + "<title>")) << test::readFile(page).toStdString();

    // Kept in the companion file: a site address later adds the canonical link.
    run = runCli({QStringLiteral("generate"), path, QStringLiteral("--site-url"),
                  QStringLiteral("https://shop.example/offers/")},
                 dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(test::readFile(page).startsWith(
        head + "<link rel=\"canonical\" href=\"https://shop.example/offers/sitev.htm\">\r\n<title>"));

    run = runCli({QStringLiteral("generate"), path, QStringLiteral("--modern-head"), QStringLiteral("off")},
                 dir.path());
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(test::readFile(page), plain);
    EXPECT_NE(runCli({QStringLiteral("generate"), path, QStringLiteral("--modern-head"),
                      QStringLiteral("yes")},
                     dir.path())
                  .exitCode,
              0);
}

TEST(CliGenerate, APageThatCannotBeWrittenFailsWithItsPath)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("site.kpj"));
    writeProject(path, 1, 2);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("site/siteb.htm")));  // a folder in the way
    const CliRun run = runCli({QStringLiteral("generate"), path}, dir.path());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err.trimmed(),
              QFile::encodeName(QStringLiteral("Cannot create file ") + dir.file(QStringLiteral("site/siteb.htm"))));
}

TEST(CliGenerate, SaveWithARelativeProjectPathStoresAnAbsolutePageFolder)
{
    test::TempDir dir;
    writeProject(dir.file(QStringLiteral("site.kpj")), 1, 2);
    const CliRun run =
        runCli({QStringLiteral("generate"), QStringLiteral("site.kpj"), QStringLiteral("--save")}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QFile::encodeName(dir.file(QStringLiteral("site/siteb.htm")))));
    ProjectData saved;
    ASSERT_EQ(ReadProjectFile(dir.file(QStringLiteral("site.kpj")), saved), kFileOk);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(QFile::decodeName(saved.pages[i].text(TextField::PageFolder)), dir.file(QStringLiteral("site/")));
}

TEST(CliGenerate, EachSkippedImageIsOneLineOnStandardError)
{
    test::TempDir dir;
    const QString path = dir.file(QStringLiteral("site.kpj"));
    writeProject(path, 1, 3);  // every page shows /nowhere/splash1.jpg
    const CliRun run = runCli({QStringLiteral("generate"), path}, dir.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.count('\n'), 3);
    EXPECT_EQ(run.err, QByteArray("Image skipped: cannot read /nowhere/splash1.jpg\n"));
}

TEST(CliDump, StreamsTheSameBytesAsPrintingTheWholeProject)
{
    // The expected output was printed by the dump that read the whole
    // project first; the fixture has quotes, a backslash, bytes that are not
    // UTF-8, control characters, a field without its zero and trailing bytes.
    const QString data = QStringLiteral(VELMORA_TEST_DATA_DIR);
    const CliRun run = runCli({QStringLiteral("dump"), data + QStringLiteral("/dump_fixture.kpj")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, test::readFile(data + QStringLiteral("/dump_fixture.json")));
}

class CliNew : public ::testing::Test {
protected:
    QString list(const QByteArray& bytes) const
    {
        dir.write(QStringLiteral("list.txt"), bytes);
        return dir.file(QStringLiteral("list.txt"));
    }
    CliRun make(QStringList extra, const QByteArray& phrases = "cheap cars\n\nused cars\ncheap cars\n")
    {
        return runCli(QStringList{QStringLiteral("new"), project, QStringLiteral("--phrases"), list(phrases)} + extra,
                      dir.path());
    }
    ProjectData read() const
    {
        ProjectData made;
        EXPECT_EQ(ReadProjectFile(project, made), kFileOk);
        return made;
    }

    test::TempDir dir;
    QString project = dir.file(QStringLiteral("site.kpj"));
};

TEST_F(CliNew, MakesOnePagePerPhraseAndPrintsTheProjectFile)
{
    const CliRun run = make({QStringLiteral("--names"), QStringLiteral("phrase")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QFile::encodeName(project) + "\n");
    EXPECT_TRUE(run.err.isEmpty());
    const ProjectData made = read();
    EXPECT_EQ(made.projectType, kInterlinked);
    ASSERT_EQ(made.pages.size(), 3);
    EXPECT_EQ(made.pages[2].text(TextField::KeywordPhrase), "cheap cars");
    EXPECT_EQ(made.pages[2].text(TextField::Edit2), "cheap-cars-2.htm");
    EXPECT_EQ(made.pages[1].text(TextField::PreviousLinkName), "cheap cars");
    EXPECT_EQ(QFile::decodeName(made.pages[0].text(TextField::ImageSource)),
              dir.file(QStringLiteral("splash1.jpg")));  // the working folder is the start-up one
}

TEST_F(CliNew, TakesTheTypeAndLeavesNamesToGenerationByDefault)
{
    ASSERT_EQ(make({QStringLiteral("--type"), QStringLiteral("single")}).exitCode, 0);
    const ProjectData made = read();
    EXPECT_EQ(made.projectType, kSingle);
    EXPECT_EQ(made.pages[1].text(TextField::Edit2), "");

    const CliRun generated = runCli({QStringLiteral("generate"), project}, dir.path());
    ASSERT_EQ(generated.exitCode, 0) << generated.err.toStdString();
    EXPECT_EQ(generated.out.count('\n'), 3);
    EXPECT_TRUE(test::readFile(dir.file(QStringLiteral("site/siteo.htm"))).contains("cheap cars -- subheading"));
}

TEST_F(CliNew, PutsTheDefaultPictureWhereItsPagesLookForIt)
{
    ASSERT_EQ(make({}).exitCode, 0);
    const QByteArray picture = dir.read(QStringLiteral("splash1.jpg"));
    EXPECT_TRUE(picture.startsWith("\xFF\xD8\xFF"));
    const CliRun generated = runCli({QStringLiteral("generate"), project}, dir.path());
    ASSERT_EQ(generated.exitCode, 0);
    EXPECT_TRUE(generated.err.isEmpty()) << generated.err.toStdString();  // no image skipped
    EXPECT_EQ(dir.read(QStringLiteral("site/splash1.jpg")), picture);
}

TEST_F(CliNew, RefusesToOverwriteUnlessForced)
{
    dir.write(QStringLiteral("site.kpj"), "keep me");
    CliRun run = make({});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err, QFile::encodeName(project) + " already exists; --force replaces it\n");
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(dir.read(QStringLiteral("site.kpj")), "keep me");

    run = make({QStringLiteral("--force")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(read().pages.size(), 3);
}

TEST_F(CliNew, ForceReplacesALinkAtTheNameAndNeverWritesThroughIt)
{
    dir.write(QStringLiteral("notes.txt"), "my notes");
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("notes.txt")), project));
    EXPECT_NE(make({}).exitCode, 0);
    const CliRun run = make({QStringLiteral("--force")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("notes.txt")), "my notes");
    EXPECT_FALSE(QFileInfo(project).isSymLink());
    EXPECT_EQ(read().pages.size(), 3);
}

// Values the project's record could not hold are refused before anything
// is written: not the project's pages, not its record.
TEST_F(CliNew, ValuesThatCannotBeStoredAreRefusedBeforeAnythingIsWritten)
{
    ASSERT_EQ(make({}).exitCode, 0);
    const QString longAddress = QStringLiteral("https://shop.example/") +
                                QString(70000, u'a') + u'/';
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{QStringLiteral("generate"), project, QStringLiteral("--site-url"), longAddress},
         "Cannot store a record of"},
        {{QStringLiteral("upload"), project, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
          QStringLiteral("--user"), QStringLiteral("u"), QStringLiteral("--dir"),
          QString(70000, u'd')},
         "The remote folder is too long to be recorded: 70000 bytes"},
        {{QStringLiteral("upload"), project, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
          QStringLiteral("--user"), QStringLiteral("u"), QStringLiteral("--site-url"), longAddress,
          QStringLiteral("--dry-run")},
         "Cannot store a record of"},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli(c.args, dir.path());
        EXPECT_NE(run.exitCode, 0) << c.says;
        EXPECT_TRUE(run.err.startsWith(c.says)) << run.err.left(200).toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("site")))) << c.says;
        EXPECT_FALSE(QFile::exists(ProjectCompanion::pathFor(project)) &&
                     !test::readFile(ProjectCompanion::pathFor(project)).isEmpty())
            << c.says;
    }
}

TEST_F(CliNew, AListThatFailsLeavesNoProject)
{
    const CliRun run = make({}, "fine\n\xE9t\xE9\n");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err, QFile::encodeName(QStringLiteral("Line 2 of ") + dir.file(QStringLiteral("list.txt"))) +
                           " is not UTF-8 text\n");
    EXPECT_FALSE(QFile::exists(project));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("list.txt")});
}

TEST_F(CliNew, WrongArgumentsPrintTheUsage)
{
    for (const QStringList& extra : {QStringList{QStringLiteral("--type"), QStringLiteral("double")},
                                     QStringList{QStringLiteral("--names"), QStringLiteral("numbers")},
                                     QStringList{QStringLiteral("--template")},
                                     QStringList{QStringLiteral("--frobnicate")},
                                     QStringList{QStringLiteral("--rows"), QStringLiteral("t.csv")},
                                     QStringList{QStringLiteral("second.kpj")}}) {
        const CliRun run = make(extra);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.startsWith("usage: velmora-cli new PROJECT.kpj --phrases FILE")) << run.err.toStdString();
    }
    const CliRun noList = runCli({QStringLiteral("new"), project});
    EXPECT_NE(noList.exitCode, 0);
    EXPECT_FALSE(QFile::exists(project));
}

}  // namespace
}  // namespace velmora
