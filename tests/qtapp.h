#pragma once

// Widget tests need one QApplication for the whole executable; the first test that asks
// for it creates it (on the platform of QT_QPA_PLATFORM, offscreen under CTest).

#include <QApplication>

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "qm_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}
