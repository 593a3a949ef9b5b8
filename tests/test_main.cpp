#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Test binaries also run outside ctest (listing, debugging): never reach for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
