#pragma once

#include "parameters/ParameterDescription.h"
#include "parameters/ParameterException.h"
#include "parameters/TreeItem.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/IniFile.h"

// The parameter catalogue: the tree loaded once from Parameters.ini, then read-only, so any thread may
// look parameters up. Lookups keep the first match in depth-first listing order; the indexes built at
// load time answer them without walking the tree.
class CParameterManager {
public:
    static constexpr size_t kSettingIdCapacity = 1024;
    // Bounds on what a catalogue may ask for. Counts are clamped; a folder reference that closes a cycle
    // or goes deeper reads as an empty folder; once the items and value texts read exceed kMaxItems the
    // remaining references are not followed.
    static constexpr int kMaxChildrenPerFolder = 10000;
    static constexpr int kMaxDepth = 64;
    static constexpr size_t kMaxItems = 200000;

    CParameterManager();
    virtual ~CParameterManager();
    CParameterManager(const CParameterManager&) = delete;
    CParameterManager& operator=(const CParameterManager&) = delete;

    // 7 German, 9 English; set before Load.
    void SetLanguage(int language) { m_language = language; }
    int GetLanguage() const { return m_language; }

    // Falls back to "Parameters.ini" in the current directory when `path` does not exist.
    void Load(const std::string& path);
    // The catalogue from a file already read; GetCataloguePath stays as it was.
    void Load(const quirel::IniFile& ini);
    const std::string& GetCataloguePath() const { return m_cataloguePath; }

    CParameterDescription GetDescription(int32_t id) const;
    CParameterDescription GetDescription(const std::string& name) const;
    // The description, or nothing; no exception.
    const CParameterDescription* FindDescription(int32_t id) const;
    const CParameterDescription* FindDescription(const std::string& name) const;
    bool Exists(int32_t id) const { return FindDescription(id) != nullptr; }

    int32_t GetAccessType(const std::string& name) const { return GetDescription(name).GetAccessType(); }
    int32_t GetModbusAddress(const std::string& name) const {
        return GetDescription(name).GetModbusAddress();
    }
    int32_t GetDataType(const std::string& name) const { return GetDescription(name).GetDataType(); }
    int32_t GetId(const std::string& name) const { return GetDescription(name).GetId(); }
    int32_t GetDataType(int32_t id) const { return GetDescription(id).GetDataType(); }
    std::string GetName(int32_t id) const { return GetDescription(id).GetName(); }

    void GetAllIds(std::vector<int32_t>& ids) const;
    void GetAllNames(std::vector<std::string>& names) const;
    // Throws "Section not found: MeasuredValues" (list untouched) when that folder does not exist.
    void GetMeasuredValueNames(std::vector<std::string>& names) const;
    void GetFolderDescriptions(const std::string& folder, std::vector<CParameterDescription>& list) const;
    void GetFolderParameters(const std::string& folder, std::vector<CParameterDescription>& list) const;

    // The folder tree for a tree control: one entry for the root folder, none when the root is a parameter.
    std::vector<FolderTreeEntry> GetFolderTree() const;
    // First item (folder by section or display name, parameter by name) in depth-first order.
    const CTreeItem* FindItem(const std::string& name) const;
    const CTreeItem* GetRoot() const { return m_root.get(); }

    // Position counter of the first catalogue line equal to `text`, or 0 (see FindLine in the .cpp).
    int FindLine(const std::string& text, int limit) const;

    // Identifiers of 200 and more that folders list, in the order met; unused entries are 0.
    const std::array<int32_t, kSettingIdCapacity>& GetSettingIds() const { return m_settingIds; }
    bool IsSettingId(int32_t id) const { return id != 0 && m_settingIdSet.count(id) != 0; }

private:
    struct LoadContext;
    std::unique_ptr<CTreeItem> ReadSection(const quirel::IniFile& ini, const std::string& section,
                                           LoadContext& ctx);
    void BuildIndexes(const CTreeItem& item);
    void AddSettingId(int32_t id);

    std::unique_ptr<CTreeItem> m_root;
    std::string m_cataloguePath;
    std::string m_folderNameKey = "FolderName";
    std::string m_parameterNameKey = "ParameterName";
    std::string m_textKey = "Text";
    std::string m_helpTextKey = "HelpText";
    std::array<int32_t, kSettingIdCapacity> m_settingIds{};
    size_t m_settingIdCount = 0;
    int m_language = 9;

    std::unordered_set<int32_t> m_settingIdSet;
    std::unordered_map<int32_t, const CParameterDescription*> m_byId;
    // Keys are views of the names held by the tree, which does not change after loading.
    std::unordered_map<std::string_view, const CParameterDescription*, quirel::NoCaseHash,
                       quirel::NoCaseEqual>
        m_byName;
    std::unordered_map<std::string_view, const CTreeItem*> m_itemByName;
    std::vector<const CParameterDescription*> m_ordered; // depth-first
};
