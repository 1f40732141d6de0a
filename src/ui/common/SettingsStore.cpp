#include "ui/common/SettingsStore.h"

#include <QSettings>

namespace quirel::ui {
namespace {

QString KeyPath(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

// A stored value that is not a number reads as the default, as a profile integer of the wrong type does.
int ToInt(const QVariant& v, int def) {
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok ? n : def;
}

} // namespace

CQSettingsStore::CQSettingsStore()
    : m_settings(std::make_unique<QSettings>(kCompanyName, kApplicationName)) {}

CQSettingsStore::CQSettingsStore(const std::string& iniPath)
    : m_settings(std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

CQSettingsStore::~CQSettingsStore() = default;

int CQSettingsStore::GetInt(const std::string& section, const std::string& key, int def) {
    const QVariant v = m_settings->value(KeyPath(section, key));
    return v.isValid() ? ToInt(v, def) : def;
}

std::string CQSettingsStore::GetString(const std::string& section, const std::string& key,
                                       const std::string& def) {
    const QVariant v = m_settings->value(KeyPath(section, key));
    return v.isValid() ? v.toString().toStdString() : def;
}

void CQSettingsStore::WriteInt(const std::string& section, const std::string& key, int value) {
    m_settings->setValue(KeyPath(section, key), value);
}

void CQSettingsStore::WriteString(const std::string& section, const std::string& key,
                                  const std::string& value) {
    m_settings->setValue(KeyPath(section, key), QString::fromStdString(value));
}

void CQSettingsStore::Flush() {
    m_settings->sync();
}

int CMemorySettingsStore::GetInt(const std::string& section, const std::string& key, int def) {
    auto it = m_values.find({section, key});
    if (it == m_values.end())
        return def;
    bool ok = false;
    const int n = QString::fromStdString(it->second).toInt(&ok);
    return ok ? n : def;
}

std::string CMemorySettingsStore::GetString(const std::string& section, const std::string& key,
                                            const std::string& def) {
    auto it = m_values.find({section, key});
    return it == m_values.end() ? def : it->second;
}

void CMemorySettingsStore::WriteInt(const std::string& section, const std::string& key, int value) {
    m_values[{section, key}] = std::to_string(value);
}

void CMemorySettingsStore::WriteString(const std::string& section, const std::string& key,
                                       const std::string& value) {
    m_values[{section, key}] = value;
}

bool CMemorySettingsStore::Has(const std::string& section, const std::string& key) const {
    return m_values.count({section, key}) != 0;
}

} // namespace quirel::ui
