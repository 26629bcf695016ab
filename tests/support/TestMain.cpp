#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#ifdef VELMORA_TEST_WIDGETS
#include <QApplication>
#endif

// One Qt application object for the whole test program: widget tests get a
// QApplication (offscreen), the others a QCoreApplication.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests never need a display; this also covers the test listing
    // that the build runs to register the cases with ctest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
#ifdef VELMORA_TEST_WIDGETS
    app = std::make_unique<QApplication>(argc, argv);
#else
    app = std::make_unique<QCoreApplication>(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
