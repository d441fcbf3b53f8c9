#pragma once

#include "job/settingsstore.h"

#include <map>
#include <string>
#include <vector>

// A settings store in memory that remembers every query and write, and can refuse to open.
// Its values and logs live outside the store so a test can look at them after the
// record that owns the store is gone.
struct CMemoryStoreState {
    bool openable = true;
    std::map<std::string, std::string> values;
    std::vector<std::string> queried;
    std::vector<std::string> written;
};

class CMemorySettingsStore : public CSettingsStore {
public:
    explicit CMemorySettingsStore(CMemoryStoreState& state) : m_state(state) {}

    bool OpenKey() override { return m_state.openable; }
    std::optional<std::string> QueryValue(const std::string& name) override {
        m_state.queried.push_back(name);
        auto it = m_state.values.find(name);
        if (it == m_state.values.end())
            return std::nullopt;
        return it->second;
    }
    void SetValue(const std::string& name, const std::string& text) override {
        m_state.written.push_back(name);
        m_state.values[name] = text;
    }
    void CloseKey() override {}

private:
    CMemoryStoreState& m_state;
};
