#include <QApplication>
#include <gtest/gtest.h>

// The widget tests need one application object, and it must be gone before the static
// objects of Qt Test are destroyed at exit; hence a main of our own instead of gtest_main's.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
