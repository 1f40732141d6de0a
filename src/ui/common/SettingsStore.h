#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

class QSettings;

namespace quirel::ui {

// The user's settings: named sections of integer and string values, read with a default for what is
// absent. The program stores them through QSettings; tests hand in a store of their own.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual int GetInt(const std::string& section, const std::string& key, int def) = 0;
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& def) = 0;
    virtual void WriteInt(const std::string& section, const std::string& key, int value) = 0;
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // Makes what was written durable (QSettings writes lazily).
    virtual void Flush() {}
};

// The company and application names under which the program keeps its settings.
inline constexpr const char* kCompanyName = "Tolvane International Ltd";
inline constexpr const char* kApplicationName = "Quirel Viewer Velorin";

class CQSettingsStore : public ISettingsStore {
public:
    // The user's settings of this program.
    CQSettingsStore();
    // A store kept in one INI file (tests, portable runs).
    explicit CQSettingsStore(const std::string& iniPath);
    ~CQSettingsStore() override;

    int GetInt(const std::string& section, const std::string& key, int def) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    void Flush() override;

private:
    std::unique_ptr<QSettings> m_settings;
};

class CMemorySettingsStore : public ISettingsStore {
public:
    int GetInt(const std::string& section, const std::string& key, int def) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;

    bool Has(const std::string& section, const std::string& key) const;
    // What has been written, by (section, key).
    const std::map<std::pair<std::string, std::string>, std::string>& Values() const { return m_values; }

private:
    std::map<std::pair<std::string, std::string>, std::string> m_values;
};

} // namespace quirel::ui
