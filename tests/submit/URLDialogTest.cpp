#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "SubmissionTestData.h"
#include "submit/SubmissionFile.h"
#include "submit/ui/URLDialog.h"
#include "support/RecordingLauncher.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::makeSubmissionList;
using test::submissionFileBytes;

class URLDialogTest : public ::testing::Test {
protected:
    TURLDlg& open(QWidget* parent = nullptr)
    {
        dialog = std::make_unique<TURLDlg>(dir.path(), launcher, parent);
        dialog->show();
        return *dialog;
    }
    template <typename W>
    W* get(const char* name)
    {
        W* w = dialog->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* box(const char* name) { return get<QLineEdit>(name); }
    QAbstractButton* button(const char* name) { return get<QAbstractButton>(name); }
    QString counter() { return get<QLabel>("URLNo")->text(); }
    void type(const char* name, const QString& text)
    {
        box(name)->clear();
        QTest::keyClicks(box(name), text);
    }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    test::TempDir dir;
    QString path = submissionFilePath(dir.path());
    test::RecordingLauncher launcher;
    std::unique_ptr<QWidget> parent;  // outlives the dialog it may own
    std::unique_ptr<TURLDlg> dialog;
};

TEST_F(URLDialogTest, FormHasItsCaptionsInitialTextsAndTabOrder)
{
    open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add URL"));
    const std::vector<std::pair<const char*, const char*>> labels{
        {"SearchEngine", "Search Engine:"},
        {"SubmissionString", "Submission String:"},
        {"Edit3", "URL ($URL):"},
        {"Edit4", "E-mail ($EMAIL):"},
        {"Edit5", "Name ($NAME):"},
        {"Edit6", "$PAR1:"},
        {"Edit7", "$PAR2:"}};
    for (const auto& [name, caption] : labels) {
        QStringList captions;
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            if (label->buddy() == box(name)) captions << label->text();
        EXPECT_EQ(captions, QStringList{QString::fromLatin1(caption)}) << name;
    }
    for (const auto& [name, caption] :
         std::vector<std::pair<const char*, const char*>>{{"Button1", "Previous"},
                                                          {"Button2", "Submit"},
                                                          {"Button3", "Next"},
                                                          {"CheckBox1", "Edit"},
                                                          {"OKBtn", "OK"},
                                                          {"CancelBtn", "Cancel"}})
        EXPECT_EQ(button(name)->text(), QString::fromLatin1(caption));
    EXPECT_TRUE(get<QPushButton>("OKBtn")->isDefault());
    EXPECT_FALSE(get<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_EQ(box("Edit3")->text(), QStringLiteral("http://"));
    for (const char* name : {"Edit4", "Edit5", "Edit6", "Edit7"})
        EXPECT_TRUE(box(name)->text().isEmpty());
    EXPECT_EQ(dialog->focusWidget(), box("Edit3"));

    QStringList chain;
    QWidget* w = box("Edit3");
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != box("Edit3") && chain.size() < 40);
    QStringList expected;
    for (const char* name :
         {"Edit3", "CheckBox1", "OKBtn", "SearchEngine", "SubmissionString", "Edit4", "Edit5",
          "Edit6", "Edit7", "Button1", "Button2", "Button3", "CancelBtn"})
        expected << QString::fromLatin1(name);
    EXPECT_EQ(chain, expected);
}

TEST_F(URLDialogTest, IsCentredOnTheScreenNotOnItsParent)
{
    parent = std::make_unique<QWidget>();
    parent->setGeometry(0, 0, 60, 40);
    parent->show();
    open(parent.get());
    const QPoint offset =
        dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}

TEST_F(URLDialogTest, NoFileShowsOneBlankEntryAndEditModeAddsAnother)
{
    open();
    EXPECT_EQ(counter(), QStringLiteral("1 of 1"));
    EXPECT_TRUE(box("SearchEngine")->text().isEmpty());
    EXPECT_TRUE(box("SubmissionString")->text().isEmpty());
    EXPECT_FALSE(button("Button1")->isEnabled());
    EXPECT_FALSE(button("Button3")->isEnabled());
    EXPECT_FALSE(box("SearchEngine")->isEnabled());
    EXPECT_FALSE(box("SubmissionString")->isEnabled());

    click("CheckBox1");
    EXPECT_TRUE(button("Button3")->isEnabled());
    EXPECT_TRUE(box("SearchEngine")->isEnabled());
    EXPECT_TRUE(box("SubmissionString")->isEnabled());
    type("SearchEngine", QStringLiteral("first"));
    click("Button3");
    EXPECT_EQ(counter(), QStringLiteral("2 of 2"));
    EXPECT_TRUE(box("SearchEngine")->text().isEmpty());
    EXPECT_TRUE(button("Button1")->isEnabled());
    click("Button1");
    EXPECT_EQ(box("SearchEngine")->text(), QStringLiteral("first"));
}

TEST_F(URLDialogTest, StepsThroughAListOfThree)
{
    test::writeFile(path, submissionFileBytes(3, makeSubmissionList(3)));
    open();
    EXPECT_EQ(counter(), QStringLiteral("1 of 3"));
    EXPECT_EQ(box("SearchEngine")->text(), QStringLiteral("engine 0"));
    EXPECT_FALSE(button("Button1")->isEnabled());
    EXPECT_TRUE(button("Button3")->isEnabled());
    click("Button3");
    click("Button3");
    EXPECT_EQ(counter(), QStringLiteral("3 of 3"));
    EXPECT_EQ(box("SubmissionString")->text(),
              QStringLiteral("http://e2.example/add?u=$URL&m=$EMAIL"));
    EXPECT_FALSE(button("Button3")->isEnabled());
    click("Button1");
    EXPECT_EQ(counter(), QStringLiteral("2 of 3"));
}

TEST_F(URLDialogTest, TogglingEditBringsBackTheStoredText)
{
    test::writeFile(path, submissionFileBytes(1, makeSubmissionList(1)));
    open();
    click("CheckBox1");
    type("SearchEngine", QStringLiteral("typed"));
    click("CheckBox1");
    EXPECT_EQ(box("SearchEngine")->text(), QStringLiteral("engine 0"));
    EXPECT_FALSE(box("SearchEngine")->isEnabled());
}

struct Closer {
    const char* name;
    std::function<void(TURLDlg&)> close;
};

void PrintTo(const Closer& c, std::ostream* os) { *os << c.name; }

class URLDialogDrops : public URLDialogTest, public ::testing::WithParamInterface<Closer> {};

TEST_P(URLDialogDrops, EditsAndAddedEntriesLeavingTheFileAsItWas)
{
    const QByteArray before = submissionFileBytes(2, makeSubmissionList(2));
    test::writeFile(path, before);
    open();
    click("CheckBox1");
    type("SearchEngine", QStringLiteral("renamed"));
    click("Button3");
    type("SubmissionString", QStringLiteral("http://changed/$URL"));
    click("Button3");
    type("SearchEngine", QStringLiteral("added"));
    GetParam().close(*dialog);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(test::readFile(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    Closers, URLDialogDrops,
    ::testing::Values(Closer{"cancel_button",
                             [](TURLDlg& d) {
                                 d.findChild<QPushButton*>(QStringLiteral("CancelBtn"))->click();
                             }},
                      Closer{"close_box", [](TURLDlg& d) { d.close(); }},
                      Closer{"escape",
                             [](TURLDlg& d) {
                                 QTest::keyClick(d.findChild<QLineEdit*>(QStringLiteral("Edit4")),
                                                 Qt::Key_Escape);
                             }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(URLDialogTest, OkWithoutChangesRewritesTheSameBytes)
{
    SubmissionList list = makeSubmissionList(3);
    list[0].bytes()[200] = 'g';                                             // behind the name's end
    std::fill_n(list[1].bytes().begin(), 260, 'N');                         // a name without a zero
    list[2].setText(SubmissionField::SubmissionString, "\xFF\xFE?u=$URL");  // not UTF-8
    const QByteArray expected = submissionFileBytes(3, list);
    test::writeFile(path, expected + "tail of an older list");
    open();
    click("Button3");
    click("Button3");
    click("CheckBox1");
    click("Button1");
    click("OKBtn");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(test::readFile(path), expected);
}

TEST_F(URLDialogTest, OkWritesEditedAndAddedEntriesCutToTheirFields)
{
    test::writeFile(path, submissionFileBytes(1, makeSubmissionList(1)));
    open();
    click("CheckBox1");
    type("SearchEngine", QString(300, u'x'));
    click("Button3");
    type("SearchEngine", QStringLiteral("added"));
    type("SubmissionString", QStringLiteral("http://new/?u=$URL"));
    click("OKBtn");

    SubmissionList expected = makeSubmissionList(1);
    expected[0].setText(SubmissionField::Name, QByteArray(259, 'x'));
    expected.append().setText(SubmissionField::Name, "added");
    expected[1].setText(SubmissionField::SubmissionString, "http://new/?u=$URL");
    EXPECT_EQ(test::readFile(path), submissionFileBytes(2, expected));
}

TEST_F(URLDialogTest, EnterInAValueBoxClosesAsOkAndWritesTheList)
{
    // Opened window-modal, as a caller's exec() would, but without waiting.
    dialog = std::make_unique<TURLDlg>(dir.path(), launcher);
    dialog->open();
    QTest::keyClick(box("Edit5"), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    SubmissionList blank;
    blank.append();
    EXPECT_EQ(test::readFile(path), submissionFileBytes(1, blank));
}

TEST_F(URLDialogTest, AReadOnlyFileOpensBlankAndIsNotReplaced)
{
    const QByteArray before = submissionFileBytes(2, makeSubmissionList(2));
    test::writeFile(path, before);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    open();
    EXPECT_EQ(counter(), QStringLiteral("1 of 1"));
    click("OKBtn");
    EXPECT_EQ(test::readFile(path), before);
}

TEST_F(URLDialogTest, SubmitFillsTheStringTheBoxShows)
{
    test::writeFile(path, submissionFileBytes(1, makeSubmissionList(1)));
    open();
    type("Edit3", QStringLiteral("http://my.site/a.htm"));
    type("Edit4", QStringLiteral("me@my.site"));
    click("Button2");
    click("CheckBox1");
    type("SubmissionString", QStringLiteral("http://other/?n=$NAME&u=$URL&x=$PAR1$PAR2"));
    type("Edit5", QStringLiteral("Jo"));
    type("Edit6", QStringLiteral("1"));
    click("Button2");
    EXPECT_EQ(launcher.targets,
              (QByteArrayList{"http://e0.example/add?u=http://my.site/a.htm&m=me@my.site",
                              "http://other/?n=Jo&u=http://my.site/a.htm&x=1"}));
    // Submitting stored nothing.
    click("CheckBox1");
    EXPECT_EQ(box("SubmissionString")->text(),
              QStringLiteral("http://e0.example/add?u=$URL&m=$EMAIL"));
}

TEST_F(URLDialogTest, SubmitHandsOnStoredBytesThatAreNotUtf8)
{
    SubmissionList list;
    list.append().setText(SubmissionField::SubmissionString, "http://e/?q=\xE9t\xE9&u=$URL");
    test::writeFile(path, submissionFileBytes(1, list));
    open();
    click("Button2");
    ASSERT_EQ(launcher.targets.size(), 1);
    EXPECT_EQ(launcher.targets[0], "http://e/?q=\xE9t\xE9&u=http://");
}

// Gives `focused` the focus in the active dialog and presses Enter on it.
void pressEnterOn(QWidget* focused)
{
    QApplication::setActiveWindow(focused->window());
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key_Return);
}

TEST_F(URLDialogTest, EnterOnAFocusedButtonPressesThatButton)
{
    const QByteArray before = submissionFileBytes(3, makeSubmissionList(3));
    test::writeFile(path, before);
    open();
    pressEnterOn(button("Button3"));
    EXPECT_EQ(counter(), QStringLiteral("2 of 3"));
    pressEnterOn(button("Button1"));
    EXPECT_EQ(counter(), QStringLiteral("1 of 3"));
    type("Edit3", QStringLiteral("http://mine/"));
    pressEnterOn(button("Button2"));
    EXPECT_EQ(launcher.targets, QByteArrayList{"http://e0.example/add?u=http://mine/&m="});
    EXPECT_TRUE(dialog->isVisible());

    pressEnterOn(button("CancelBtn"));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(test::readFile(path), before);

    for (const char* focused : {"OKBtn", "CheckBox1"}) {
        test::writeFile(path, before + "old tail");
        open();
        pressEnterOn(dialog->findChild<QWidget*>(QLatin1String(focused)));
        EXPECT_EQ(dialog->result(), QDialog::Accepted) << focused;
        EXPECT_EQ(test::readFile(path), before) << focused;
    }
}

TEST_F(URLDialogTest, NextDisablingItselfHandsTheFocusOnButNotToCancel)
{
    test::writeFile(path, submissionFileBytes(2, makeSubmissionList(2)));
    open();
    click("CheckBox1");
    type("SearchEngine", QStringLiteral("renamed"));
    click("Button3");  // stores the edit
    click("Button1");
    click("CheckBox1");  // Edit off: Next now ends at the last entry
    pressEnterOn(button("Button3"));
    EXPECT_EQ(counter(), QStringLiteral("2 of 2"));
    ASSERT_FALSE(button("Button3")->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), box("Edit3"));

    // The next Enter keeps the user's work: OK writes the list.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    SubmissionList expected = makeSubmissionList(2);
    expected[0].setText(SubmissionField::Name, "renamed");
    EXPECT_EQ(test::readFile(path), submissionFileBytes(2, expected));
}

TEST_F(URLDialogTest, ALongSubmissionStringShowsFromItsStart)
{
    SubmissionList list = makeSubmissionList(2);
    const QByteArray longString = "http://start.example/" + QByteArray(200, 'x') + "?u=$URL";
    list[0].setText(SubmissionField::SubmissionString, longString);
    list[1].setText(SubmissionField::SubmissionString, longString);
    list[1].setText(SubmissionField::Name, QByteArray(120, 'n') + " engine");
    test::writeFile(path, submissionFileBytes(2, list));
    open();
    QLineEdit* string = box("SubmissionString");
    ASSERT_GT(string->fontMetrics().horizontalAdvance(string->text()), string->width());
    EXPECT_EQ(string->cursorPosition(), 0);
    // The start is in view, not the end.
    EXPECT_LT(string->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), 10);
    click("Button3");
    for (const char* name : {"SearchEngine", "SubmissionString"}) {
        EXPECT_EQ(box(name)->cursorPosition(), 0) << name;
        EXPECT_LT(box(name)->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), 10) << name;
    }
}

}  // namespace
}  // namespace velmora
