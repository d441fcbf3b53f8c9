#pragma once

#include "job/settingsstore.h"

#include <memory>

class QSettings;

// The settings store on Qt's native settings: the registry key HKCU\SOFTWARE\quillmark on
// Windows, an INI file in the user's configuration folder elsewhere
// ($XDG_CONFIG_HOME/quillmark/quillmark.conf, by default under ~/.config).
class CQtSettingsStore : public CSettingsStore {
public:
    enum class Access {
        ReadWrite, // the key must be writable to count as open, as the program needs
        ReadOnly,  // readable is enough; nothing is ever written (tools that only look)
    };

    explicit CQtSettingsStore(Access access = Access::ReadWrite);
    ~CQtSettingsStore() override;

    bool OpenKey() override;
    std::optional<std::string> QueryValue(const std::string& name) override;
    void SetValue(const std::string& name, const std::string& text) override;
    void CloseKey() override {}
    void Flush() override;

    // The application's native settings, for other data kept next to the values (such as
    // the window placement). Fallbacks to system-wide files are off: only the user's own
    // values count.
    static std::unique_ptr<QSettings> OpenApplicationSettings();

private:
    Access m_access;
    std::unique_ptr<QSettings> m_settings;
};
