// The desktop prompter's real dialogs, offscreen; each is answered from a
// timer inside its own modal loop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/ui/WidgetPrompter.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

class WidgetPrompterTest : public ::testing::Test {
  protected:
    // The main window as it is during start-up: shown, but not placed yet.
    WidgetPrompterTest() {
        window.setGeometry(0, 0, 645, 458);
        window.show();
    }

    // Runs `answer` on the dialog that the next call opens.
    void whenOpen(std::function<void(QWidget*)> answer) {
        QTimer::singleShot(0, [answer] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            answer(dialog);
        });
    }

    static QPoint offCentre(QWidget* dialog) {
        return dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
    }

    static void pressEnterOn(QWidget* focused) {
        QApplication::setActiveWindow(focused->window());
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key_Return);
    }

    QWidget window;
    WidgetPrompter prompter{&window};
};

TEST_F(WidgetPrompterTest, StartUpDialogsOpenInTheMiddleOfTheScreen) {
    QPoint offset(-1000, -1000);
    whenOpen([&](QWidget* box) {
        offset = offCentre(box);
        pressEnterOn(box->findChild<QPushButton*>());
    });
    prompter.message(QStringLiteral("Velmora"), QStringLiteral("Something failed."),
                     MessageIcon::Error);
    EXPECT_LE(offset.manhattanLength(), 1) << offset.x() << "," << offset.y();

    offset = QPoint(-1000, -1000);
    whenOpen([&](QWidget* dialog) {
        offset = offCentre(dialog);
        pressEnterOn(dialog->findChild<QPushButton*>(QStringLiteral("CancelBtn")));
    });
    EXPECT_EQ(prompter.chooseProjectType(), std::nullopt);
    EXPECT_LE(offset.manhattanLength(), 1) << offset.x() << "," << offset.y();

    whenOpen([&](QWidget* dialog) {
        auto* interlinked = dialog->findChild<QRadioButton*>(QStringLiteral("RadioButton2"));
        interlinked->click();
        pressEnterOn(interlinked);
    });
    EXPECT_EQ(prompter.chooseProjectType(), 0);
}

TEST_F(WidgetPrompterTest, AMessageIsAsWideAsItsCaptionAndShowsItsInformativeText) {
    const QString caption = QStringLiteral("A caption much longer than the short text below it");
    int width = 0;
    QString informative;
    whenOpen([&](QWidget* box) {
        width = box->width();
        informative = static_cast<QMessageBox*>(box)->informativeText();
        pressEnterOn(box->findChild<QPushButton*>());
    });
    prompter.message(caption, QStringLiteral("Ошибка!"), MessageIcon::Error,
                     QStringLiteral("/tmp/ro/x.kpj\npermission denied"));
    EXPECT_GT(width, window.fontMetrics().horizontalAdvance(caption));
    EXPECT_EQ(informative, QStringLiteral("/tmp/ro/x.kpj\npermission denied"));
}

TEST_F(WidgetPrompterTest, QuestionsShowTheNormalCursorDuringBusyWork) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
    Qt::CursorShape asking = Qt::BusyCursor;
    whenOpen([&](QWidget* box) {
        asking = QApplication::overrideCursor()->shape();
        qobject_cast<QDialog*>(box)->reject();
    });
    EXPECT_EQ(prompter.askYesNoCancel(QStringLiteral("Question"), QStringLiteral("Save?")),
              Answer::Cancel);
    EXPECT_EQ(asking, Qt::ArrowCursor);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WidgetPrompterTest, ThePageSaveDialogShowsItsFileTypeAsDesigned) {
    test::TempDir dir;
    QStringList shown;
    QStringList patterns;
    whenOpen([&](QWidget* dialog) {
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
        patterns = dialog->findChild<QFileSystemModel*>()->nameFilters();
        qobject_cast<QDialog*>(dialog)->reject();
    });
    const auto chosen =
        prompter.saveFile({.title = QStringLiteral("Save File - 1 [Link Name: ]"),
                           .filter = QStringLiteral("HTML Files (*.htm;  *.html)|*.htm; *.html"),
                           .defaultSuffix = QStringLiteral("htm"),
                           .initialPath = dir.file(QStringLiteral("page.htm")),
                           .confirmOverwrite = true});
    EXPECT_EQ(chosen, std::nullopt);
    EXPECT_EQ(shown, QStringList{QStringLiteral("HTML Files (*.htm;  *.html)")});
    EXPECT_EQ(patterns, (QStringList{QStringLiteral("*.htm"), QStringLiteral("*.html")}));
}

TEST(QtFileFilter, ListsThePatternsOnceAndKeepsADescriptionThatNamesThem) {
    const QtFileFilter html =
        qtFileFilter(QStringLiteral("HTML Files (*.htm;  *.html)|*.htm; *.html"));
    EXPECT_EQ(html.filter, QStringLiteral("HTML Files (*.htm *.html)"));
    EXPECT_EQ(html.label, QStringLiteral("HTML Files (*.htm;  *.html)"));
    const QtFileFilter images = qtFileFilter(QStringLiteral("Image Files|*.gif; *.jpg"));
    EXPECT_EQ(images.filter, QStringLiteral("Image Files (*.gif *.jpg)"));
    EXPECT_EQ(images.label, images.filter);
    const QtFileFilter projects =
        qtFileFilter(QStringLiteral("Quenby's Velmora project files|*.kpj"));
    EXPECT_EQ(projects.label, QStringLiteral("Quenby's Velmora project files (*.kpj)"));
}

}  // namespace
}  // namespace velmora
