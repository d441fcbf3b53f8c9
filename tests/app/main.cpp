#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

// The settings and the window placement go to a configuration folder of the test's own:
// it is set before anything opens the store (Qt reads the folder once per process). The
// application object must be gone before Qt Test's statics are, hence this main.
int main(int argc, char** argv) {
    QTemporaryDir config;
    if (!config.isValid()) {
        std::fprintf(stderr, "no temporary folder for the configuration\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
