#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>

#include "base/Errors.h"
#include "project/KeywordList.h"
#include "project/ProjectFile.h"
#include "support/ProjectBuilder.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

class KeywordListTest : public ::testing::Test {
protected:
    QString list(const QByteArray& bytes) const
    {
        dir.write(QStringLiteral("list.txt"), bytes);
        return dir.file(QStringLiteral("list.txt"));
    }

    QByteArrayList phrases(const QByteArray& bytes) const
    {
        KeywordListReader reader(list(bytes));
        QByteArrayList read;
        while (const auto phrase = reader.next()) read.append(*phrase);
        return read;
    }

    // The error a list raises, or an empty text when it reads.
    QString failure(const QByteArray& bytes) const
    {
        try {
            phrases(bytes);
        } catch (const VelmoraError& e) {
            return e.text();
        }
        return {};
    }

    // The pages of a project made from `bytes` with `request`'s settings.
    ProjectData make(const QByteArray& bytes, KeywordProjectRequest request = {}) const
    {
        request.projectPath = dir.file(QStringLiteral("made.kpj"));
        request.phrasesPath = list(bytes);
        request.startupDir = QStringLiteral("/start");
        MakeKeywordProject(request);
        ProjectData made;
        EXPECT_EQ(ReadProjectFile(request.projectPath, made), kFileOk);
        return made;
    }

    test::TempDir dir;
};

// --- reading the list -------------------------------------------------

TEST_F(KeywordListTest, LinesAreTrimmedAndBlankLinesSkipped)
{
    EXPECT_EQ(phrases("  cheap cars \r\n\r\n\t\nused\tbikes\t\n   \n\xC2\xA0new boats\xE3\x80\x80\nlast"),
              (QByteArrayList{"cheap cars", "used\tbikes", "new boats", "last"}));
    EXPECT_EQ(phrases("\xEF\xBB\xBF" "first\nsecond\n\xEF\xBB\xBF third\n"),
              (QByteArrayList{"first", "second", "third"}));
    EXPECT_EQ(phrases(""), QByteArrayList{});
    EXPECT_EQ(phrases("\n \r\n\t"), QByteArrayList{});
}

TEST_F(KeywordListTest, KeepsNonAsciiPhrasesAsUtf8)
{
    EXPECT_EQ(phrases("дешёвые машины\n二手车\nGrüße aus Köln\n"),
              (QByteArrayList{"дешёвые машины", "二手车", "Grüße aus Köln"}));
}

TEST_F(KeywordListTest, RefusesWhatIsNoUtf8TextNamingTheLine)
{
    const QString path = dir.file(QStringLiteral("list.txt"));
    EXPECT_EQ(failure("good\n\xE4\xF6\xFC cp1252\n"),
              QStringLiteral("Line 2 of %1 is not UTF-8 text").arg(path));
    EXPECT_EQ(failure(QByteArray("a\nb\nc\0d\n", 8)), QStringLiteral("Line 3 of %1 is not UTF-8 text").arg(path));
    EXPECT_EQ(failure("\xED\xA0\x80 surrogate\n"),
              QStringLiteral("Line 1 of %1 is not UTF-8 text").arg(path));
    const QByteArray longLine(KeywordListReader::kMaxLineLength + 10, 'x');
    EXPECT_EQ(failure("ok\n" + longLine + "\nok\n"),
              QStringLiteral("Line 2 of %1 is longer than 65536 bytes").arg(path));
    EXPECT_EQ(failure("ok\n" + QByteArray(KeywordListReader::kMaxLineLength - 2, 'y') + "\r\nok"),
              QString());
}

TEST_F(KeywordListTest, OnlyARegularFileIsRead)
{
    const QString fifo = dir.file(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, dir.path(), dir.file(QStringLiteral("missing.txt"))}) {
        try {
            KeywordListReader reader(path);
            ADD_FAILURE() << "read " << path.toStdString();
        } catch (const FileError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Cannot open file ") + path);
        }
    }
}

// --- file names from phrases -------------------------------------------

TEST_F(KeywordListTest, PhraseNamesAreLowerCaseWithRunsOfOtherCharactersAsOneDash)
{
    EXPECT_EQ(PhraseStem("Cheap Used Cars"), "cheap-used-cars");
    EXPECT_EQ(PhraseStem("  --Cheap   cars!!! (2024) -- "), "cheap-cars-2024");
    EXPECT_EQ(PhraseStem("a/b\\c:d..e"), "a-b-c-d-e");
    EXPECT_EQ(PhraseStem("Дешёвые МАШИНЫ"), "дешёвые-машины");
    EXPECT_EQ(PhraseStem("GRÜSSE aus Köln"), "grüsse-aus-köln");
    EXPECT_EQ(PhraseStem("二手车 价格"), "二手车-价格");
    EXPECT_EQ(PhraseStem("हिंदी शब्द"), "हिंदी-शब्द");  // vowel signs stay with their letters
    EXPECT_EQ(PhraseStem("Cafe\xCC\x81"), "caf\xC3\xA9");  // decomposed é joined into one
    EXPECT_EQ(PhraseStem("!!!"), "page");
    EXPECT_EQ(PhraseStem(""), "page");
}

TEST_F(KeywordListTest, PhraseNamesAreMadeUnique)
{
    PhraseFileNames names;
    EXPECT_EQ(names.next("cheap cars"), "cheap-cars.htm");
    EXPECT_EQ(names.next("Cheap Cars"), "cheap-cars-2.htm");
    EXPECT_EQ(names.next("cheap cars 2"), "cheap-cars-2-2.htm");  // the name is taken already
    EXPECT_EQ(names.next("cheap, cars"), "cheap-cars-3.htm");
    EXPECT_EQ(names.next("!!"), "page.htm");
    EXPECT_EQ(names.next("??"), "page-2.htm");
    QSet<QByteArray> seen;
    for (int i = 0; i < 2000; ++i) seen.insert(names.next(i % 2 ? "same" : "Same!"));
    EXPECT_EQ(seen.size(), 2000);
    EXPECT_TRUE(seen.contains("same-2000.htm"));
}

TEST_F(KeywordListTest, LongPhraseNamesFitAFileNameAndCutAtACharacter)
{
    PhraseFileNames names;
    const QByteArray phrase = QString(300, QChar(u'ж')).toUtf8();
    const QByteArray first = names.next(phrase);
    const QByteArray second = names.next(phrase);
    EXPECT_LE(first.size(), 255);
    EXPECT_LE(second.size(), 255);
    EXPECT_TRUE(second.endsWith("-2.htm"));
    EXPECT_EQ(QString::fromUtf8(first).toUtf8(), first);  // no cut sequence
    EXPECT_EQ(first.size(), 240 + 4);
}

// --- pages from phrases ------------------------------------------------

TEST_F(KeywordListTest, EveryPhraseGetsWhatFillSetsWithItsQuirks)
{
    const ProjectData made =
        make("cheap used cars\none  two three four five\ncheap  used cars\nw1 w2 w3  w4 w5\ncars\n"
             "дешёвые машины\n");
    ASSERT_EQ(made.pages.size(), 6);
    const PageRecord& three = made.pages[0];
    EXPECT_EQ(three.text(TextField::KeywordPhrase), "cheap used cars");
    EXPECT_EQ(three.text(TextField::Heading), "cheap used cars");
    EXPECT_EQ(three.text(TextField::SubHeading), "cheap used cars -- subheading");
    EXPECT_EQ(three.text(TextField::Description),
              "cheap used cars -- description goes here, minimum 75 words\r\n");
    EXPECT_EQ(three.text(TextField::HiddenText), "cheap used cars -- comment goes here");
    EXPECT_EQ(three.text(TextField::Word4), "cheap used");
    EXPECT_EQ(three.text(TextField::Word6), "used cars");
    EXPECT_EQ(three.text(TextField::Word7), "");

    const PageRecord& five = made.pages[1];  // only four words count
    EXPECT_EQ(five.text(TextField::Word), "one  two three four five");
    EXPECT_EQ(five.text(TextField::Word4), "four");
    EXPECT_EQ(five.text(TextField::Word14), "two three four");

    const PageRecord& doubled = made.pages[2];  // two blanks before the third word are one
    EXPECT_EQ(doubled.text(TextField::Word2), "used");
    EXPECT_EQ(doubled.text(TextField::Word6), "used cars");

    const PageRecord& late = made.pages[3];  // ... but right after it the fourth word is empty
    EXPECT_EQ(late.text(TextField::Word4), "");
    EXPECT_EQ(late.text(TextField::Word7), "w1 ");

    const PageRecord& single = made.pages[4];
    EXPECT_EQ(single.text(TextField::Word), "cars");
    EXPECT_EQ(single.text(TextField::Word1), "");

    EXPECT_EQ(made.pages[5].text(TextField::Word2), "машины");
}

TEST_F(KeywordListTest, PagesStartFromTheDefaultsOfANewPage)
{
    const ProjectData made = make("alpha\nbeta\n");
    const PageRecord& page = made.pages[1];
    EXPECT_EQ(page.text(TextField::HomePage), "http://");
    EXPECT_EQ(page.text(TextField::ImageSource), "/start/splash1.jpg");
    EXPECT_EQ(page.text(TextField::RobotsTag), "<meta name=\"robots\" content=\"all\">");
    EXPECT_EQ(page.colour(ColourField::HeadingColor), 0x00D28282u);
    EXPECT_TRUE(page.flag(FlagField::CompanyBox));
    EXPECT_EQ(page.text(TextField::Edit2), "");  // letters: names are left to generation
    EXPECT_EQ(page.text(TextField::PageFolder), "");
}

TEST_F(KeywordListTest, InterlinkedPagesLinkBackToThePhraseBefore)
{
    ProjectData made = make("first one\nsecond one\nthird one\n");
    EXPECT_EQ(made.projectType, kInterlinked);
    EXPECT_EQ(made.pages[0].text(TextField::PreviousLinkName), "");
    EXPECT_EQ(made.pages[1].text(TextField::PreviousLinkName), "first one");
    EXPECT_EQ(made.pages[2].text(TextField::PreviousLinkName), "second one");
    EXPECT_EQ(made.pages[2].text(TextField::PreviousLinkAddress), "");

    made = make("first one\nsecond one\n", {.names = PageNames::Phrase});
    EXPECT_EQ(made.pages[1].text(TextField::PreviousLinkAddress), "first-one.htm");
    EXPECT_EQ(made.pages[1].text(TextField::Edit2), "second-one.htm");

    made = make("first one\nsecond one\n", {.projectType = kSingle});
    EXPECT_EQ(made.projectType, kSingle);
    EXPECT_EQ(made.pages[1].text(TextField::PreviousLinkName), "");
}

TEST_F(KeywordListTest, TheTemplateGivesEveryFieldButFillsTheNameAndTheLink)
{
    const QString path = test::ProjectBuilder(2)
                             .type(kSingle)
                             .startupDir("/tpl")
                             .text(TextField::HomePage, "http://shop.example/")
                             .text(TextField::LinkName, [](int i) { return i == 0 ? "Our shop" : "second page"; })
                             .text(TextField::FooterText, "(c) shop")
                             .image(QStringLiteral("/tpl/logo.png"), "logo.png")
                             .text(TextField::HeadingAlign, "left")
                             .with([](PageRecord& page, int) {
                                 page.setColour(ColourField::BackgroundColor, 0x00123456);
                                 page.setFlag(FlagField::CommentsBox, false);
                             })
                             .text(TextField::Heading, "template heading")
                             .text(TextField::Word9, "template keyword")
                             .text(TextField::Edit2, "template.htm")
                             .text(TextField::PageFolder, "/old/out/")
                             .text(TextField::PreviousLinkName, "stale link")
                             .writeTo(dir, QStringLiteral("template.kpj"));

    ProjectData made = make("red shoes\nblue shoes\n", {.templatePath = path});
    EXPECT_EQ(made.projectType, kSingle);  // the template's type unless asked otherwise
    ASSERT_EQ(made.pages.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const PageRecord& page = made.pages[i];
        EXPECT_EQ(page.text(TextField::HomePage), "http://shop.example/");
        EXPECT_EQ(page.text(TextField::LinkName), "Our shop");
        EXPECT_EQ(page.text(TextField::FooterText), "(c) shop");
        EXPECT_EQ(page.text(TextField::Image), "logo.png");
        EXPECT_EQ(page.text(TextField::ImageSource), "/tpl/logo.png");
        EXPECT_EQ(page.text(TextField::HeadingAlign), "left");
        EXPECT_EQ(page.colour(ColourField::BackgroundColor), 0x00123456u);
        EXPECT_FALSE(page.flag(FlagField::CommentsBox));
        EXPECT_EQ(page.text(TextField::Word9), "");  // Fill empties it
        EXPECT_EQ(page.text(TextField::Edit2), "");
        EXPECT_EQ(page.text(TextField::PageFolder), "");
        EXPECT_EQ(page.text(TextField::PreviousLinkName), "");
    }
    EXPECT_EQ(made.pages[1].text(TextField::Heading), "blue shoes");

    made = make("red shoes\nblue shoes\n", {.templatePath = path, .projectType = kInterlinked});
    EXPECT_EQ(made.projectType, kInterlinked);
    EXPECT_EQ(made.pages[0].text(TextField::PreviousLinkName), "");
    EXPECT_EQ(made.pages[1].text(TextField::PreviousLinkName), "red shoes");
}

TEST_F(KeywordListTest, APhraseLongerThanItsFieldIsCutAtACharacter)
{
    const QByteArray phrase = "x " + QString(200, QChar(u'ё')).toUtf8();  // 402 bytes
    const ProjectData made = make(phrase + "\n");
    const QByteArray kept = made.pages[0].text(TextField::KeywordPhrase);
    EXPECT_EQ(kept.size(), 258);  // 259 would split a two-byte letter
    EXPECT_TRUE(phrase.startsWith(kept));
    EXPECT_EQ(made.pages[0].text(TextField::Heading), kept);
    EXPECT_EQ(made.pages[0].text(TextField::Word2), kept.mid(2));
}

TEST_F(KeywordListTest, AFailedMakeLeavesTheOldProjectFileWhole)
{
    const QString target = dir.file(QStringLiteral("made.kpj"));
    dir.write(QStringLiteral("made.kpj"), "old project");
    KeywordProjectRequest request{.projectPath = target, .phrasesPath = list("one\ntwo\n\xFF\n")};
    EXPECT_THROW(MakeKeywordProject(request), VelmoraError);
    request.phrasesPath = list("\n   \n");
    try {
        MakeKeywordProject(request);
        ADD_FAILURE() << "an empty list made a project";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("No keyword phrase in ") + request.phrasesPath);
    }
    request.phrasesPath = list("fine\n");
    request.templatePath = dir.file(QStringLiteral("list.txt"));  // no project file
    EXPECT_THROW(MakeKeywordProject(request), FileError);
    EXPECT_EQ(dir.read(QStringLiteral("made.kpj")), "old project");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);  // no temporary file left

    request.templatePath.clear();
    EXPECT_EQ(MakeKeywordProject(request), 1);
    EXPECT_EQ(dir.read(QStringLiteral("made.kpj")).size(), 8 + 37600);
}

}  // namespace
}  // namespace velmora
