#pragma once

#include <functional>

class CMainDialog;

// The application: shows the splash, runs the main window modally and ends when it has
// been closed. The Qt application object must exist already.
class CStampApp {
public:
    // Called once the main window is about to run its modal loop (tests close it from
    // here). Null for none.
    using RunHook = std::function<void(CMainDialog&)>;

    explicit CStampApp(RunHook hook = nullptr) : m_hook(std::move(hook)) {}

    // The start-up sequence up to the end of the main window. Returns false: there is no
    // message loop of the application's own, the program ends after it.
    bool InitInstance();

private:
    RunHook m_hook;
};
