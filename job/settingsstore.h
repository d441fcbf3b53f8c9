#pragma once

#include <optional>
#include <string>

// Where the settings record keeps its values between runs: named text values under one key.
// The record opens the key for every access, the way a registry key is used, so a store that
// becomes unusable while the program runs is noticed at the next access.
class CSettingsStore {
public:
    virtual ~CSettingsStore() = default;

    // Opens the key, creating it when missing. False when it can be neither opened nor
    // created; nothing is then read or written.
    virtual bool OpenKey() = 0;
    // The stored text of a value, nothing when the value is missing. Valid after OpenKey.
    virtual std::optional<std::string> QueryValue(const std::string& name) = 0;
    // Valid after OpenKey. Write errors are not reported.
    virtual void SetValue(const std::string& name, const std::string& text) = 0;
    virtual void CloseKey() = 0;
    // Commits what was set so far. A store may keep values in memory until then, so a
    // settings save costs one write to disk, not one per value.
    virtual void Flush() {}
};
