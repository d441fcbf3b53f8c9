#pragma once

class QWidget;

// The main window as its tab pages see it. There is exactly one main window; it registers
// itself here for its lifetime, and the pages reach it through CPageHost::Get(), which is
// null when a page runs without it (as in the pages' own tests).
class CPageHost {
public:
    static CPageHost* Get() { return s_host; }

    // True while settings are being pushed into the pages (at start-up and after an
    // import): the pages then ignore the notifications their controls send and start no
    // timers of their own.
    virtual bool IsApplyingSettings() const = 0;
    // True while a batch run is active: it reads the prepared stamp, so nothing may
    // replace or re-prepare it meanwhile.
    virtual bool IsStamping() const = 0;
    // Removes the splash picture when it is still up.
    virtual void HideSplash() = 0;
    // The tab control; it takes the keyboard focus when Tab leaves a page.
    virtual QWidget* GetTabControl() const = 0;
    // The page of a tab (0 input, 1 positioning, 2 output), or null.
    virtual QWidget* GetPage(int index) const = 0;

protected:
    CPageHost() { s_host = this; }
    virtual ~CPageHost() {
        if (s_host == this)
            s_host = nullptr;
    }
    CPageHost(const CPageHost&) = delete;
    CPageHost& operator=(const CPageHost&) = delete;

private:
    static inline CPageHost* s_host = nullptr;
};
