#include <gtest/gtest.h>

#include <QPushButton>

#include "app/ui/GenerationProgress.h"

namespace velmora {
namespace {

QPushButton* stopButton(QProgressDialog& dialog)
{
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Stop")) return button;
    return nullptr;
}

TEST(GenerationProgress, CountsThePagesAndStopsWhenAsked)
{
    QWidget window;
    GenerationProgress progress(&window, 0);
    progress.pageStarted(1, 6);
    progress.pageStarted(3, 6);
    EXPECT_EQ(progress.dialog().labelText(), QStringLiteral("Page 3 of 6"));
    EXPECT_EQ(progress.dialog().maximum(), 6);
    EXPECT_EQ(progress.dialog().value(), 2);
    EXPECT_FALSE(progress.stopRequested());
    ASSERT_NE(stopButton(progress.dialog()), nullptr);
    stopButton(progress.dialog())->click();
    EXPECT_TRUE(progress.stopRequested());
    progress.pageStarted(4, 6);
    EXPECT_TRUE(progress.stopRequested());  // a stop is not taken back
}

TEST(GenerationProgress, UpdatesSparinglyButAlwaysOnTheFirstAndLastPage)
{
    QWidget window;
    GenerationProgress progress(&window, 3600 * 1000);
    progress.pageStarted(1, 500);
    EXPECT_EQ(progress.dialog().labelText(), QStringLiteral("Page 1 of 500"));
    progress.pageStarted(2, 500);
    progress.pageStarted(499, 500);
    EXPECT_EQ(progress.dialog().labelText(), QStringLiteral("Page 1 of 500"));
    progress.pageStarted(500, 500);
    EXPECT_EQ(progress.dialog().labelText(), QStringLiteral("Page 500 of 500"));
    EXPECT_EQ(progress.dialog().value(), 499);
}

}  // namespace
}  // namespace velmora
