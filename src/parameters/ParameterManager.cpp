#include "parameters/ParameterManager.h"

#include "base/DecimalNumber.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringTable.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

namespace {

constexpr unsigned kIdsParameterNotFound = 155;
constexpr unsigned kIdsSectionNotFound = 161;

int32_t AccessTypeFromText(const std::string& text) {
    if (text == "ro")
        return kAccessRO;
    if (text == "rw")
        return kAccessRW;
    if (text == "const")
        return kAccessConst;
    if (text == "wo")
        return kAccessWO;
    // Anything else (including "RW") is none of the four rights: treat it as the safest one.
    return kAccessRO;
}

} // namespace

CParameterException::CParameterException(unsigned resourceId, const std::string& argument)
    : message_(quirel::loadString(resourceId) + argument) {}

struct CParameterManager::LoadContext {
    std::vector<std::string> path; // lower-cased section names from the root to the current section
    size_t items = 0;
};

CParameterManager::CParameterManager() = default;
CParameterManager::~CParameterManager() = default;

void CParameterManager::Load(const std::string& path) {
    std::error_code ec;
    std::string found = path;
    if (!std::filesystem::exists(path, ec))
        found = "Parameters.ini";
    auto absolute = std::filesystem::absolute(found, ec);
    m_cataloguePath = ec ? found : absolute.string();
    quirel::IniFile ini;
    ini.load(m_cataloguePath); // a missing file reads as all defaults
    Load(ini);
}

void CParameterManager::Load(const quirel::IniFile& ini) {
    const bool english = m_language == quirel::kLanguageEnglish;
    m_folderNameKey = english ? "FolderName_en" : "FolderName";
    m_parameterNameKey = english ? "ParameterName_en" : "ParameterName";
    m_textKey = english ? "Text_en" : "Text";
    m_helpTextKey = english ? "HelpText_en" : "HelpText";

    m_settingIds.fill(0);
    m_settingIdCount = 0;
    m_settingIdSet.clear();

    LoadContext ctx;
    m_root = ReadSection(ini, "Rootfolder", ctx);

    m_byId.clear();
    m_byName.clear();
    m_itemByName.clear();
    m_ordered.clear();
    // Sized once: growing the tables while indexing costs more than the lookups themselves.
    m_ordered.reserve(ctx.items);
    m_byId.reserve(ctx.items);
    m_byName.reserve(ctx.items);
    m_itemByName.reserve(ctx.items);
    BuildIndexes(*m_root);
}

std::unique_ptr<CTreeItem> CParameterManager::ReadSection(const quirel::IniFile& ini,
                                                          const std::string& section, LoadContext& ctx) {
    ++ctx.items;
    const quirel::IniFile::SectionRef keys = ini.section(section);
    const int subfolders = std::clamp(ini.getInt(keys, "NrOfSubfolders", 0), 0, kMaxChildrenPerFolder);
    const int parameters = std::clamp(ini.getInt(keys, "NrOfParameters", 0), 0, kMaxChildrenPerFolder);
    const std::string displayName = ini.getString(keys, m_folderNameKey, "");

    if (subfolders != 0 || parameters != 0) {
        auto node = std::make_unique<CTreeNode>(section, displayName);
        const std::string lower = quirel::foldCase(section);
        // A folder that lists itself or one of its ancestors, a chain deeper than any real catalogue, or
        // a catalogue that multiplies into more items than any device has (folders listing the same large
        // sections over and over): the reference stays an empty folder and the loops stop, so loading
        // ends in bounded time and memory.
        const bool cyclic = std::find(ctx.path.begin(), ctx.path.end(), lower) != ctx.path.end();
        if (cyclic || ctx.path.size() >= static_cast<size_t>(kMaxDepth) || ctx.items > kMaxItems)
            return node;
        ctx.path.push_back(lower);
        for (int i = 1; i <= subfolders && ctx.items <= kMaxItems; ++i) {
            const std::string child = ini.getString(keys, "Folder" + std::to_string(i), "-Error-");
            node->AddChild(ReadSection(ini, child, ctx));
        }
        for (int j = 1; j <= parameters && ctx.items <= kMaxItems; ++j) {
            const std::string child = ini.getString(keys, "Parameter" + std::to_string(j), "-Error-");
            const int32_t id = quirel::parseLong(child);
            if (id >= 200)
                AddSettingId(id);
            node->AddChild(ReadSection(ini, child, ctx));
        }
        ctx.path.pop_back();
        return node;
    }
    if (!displayName.empty())
        return std::make_unique<CTreeNode>(section, displayName);

    CParameterDescription d;
    d.m_id = quirel::parseLong(section);
    d.m_name = ini.getString(keys, m_parameterNameKey, "-error-");
    d.m_unit = ini.getString(keys, "Unit", "");
    if (m_language == quirel::kLanguageGerman) {
        if (d.m_unit == "degree Celsius")
            d.m_unit = "Grad Celsius";
        if (d.m_unit == "degree")
            d.m_unit = "Grad";
    }
    d.m_modbusAddress = ini.getInt(keys, "ModbusAddress", 1);
    d.m_dataType = ini.getInt(keys, "DataType", 0);
    d.m_precision = ini.getInt(keys, "Precision", 0);
    const int values = std::clamp(ini.getInt(keys, "NrOfValues", 0), 0, kMaxChildrenPerFolder);
    ctx.items += static_cast<size_t>(values);
    d.m_valueTexts.reserve(static_cast<size_t>(values));
    for (int k = 1; k <= values; ++k)
        d.m_valueTexts.push_back(ini.getString(keys, m_textKey + std::to_string(k), "-NoValue-"));
    d.m_accessType = AccessTypeFromText(ini.getString(keys, "AccessType", "ro"));
    d.m_helpText = ini.getString(keys, m_helpTextKey, "No help available");
    d.m_defaultText = ini.getString(keys, "Default", "");
    return std::make_unique<CTreeLeaf>(std::move(d));
}

void CParameterManager::AddSettingId(int32_t id) {
    // The table has room for 1024 entries; identifiers met after that are not settings a transfer may send.
    if (m_settingIdCount >= kSettingIdCapacity)
        return;
    m_settingIds[m_settingIdCount++] = id;
    m_settingIdSet.insert(id);
}

void CParameterManager::BuildIndexes(const CTreeItem& item) {
    // Pre-order, listing order, first entry kept: the same answers as a walk from the root.
    if (item.IsLeaf()) {
        const auto& d = static_cast<const CTreeLeaf&>(item).GetDescription();
        m_ordered.push_back(&d);
        m_byId.try_emplace(d.GetId(), &d);
        m_byName.try_emplace(d.GetName(), &d);
        m_itemByName.try_emplace(d.GetName(), &item);
        return;
    }
    const auto& node = static_cast<const CTreeNode&>(item);
    m_itemByName.try_emplace(node.GetSectionName(), &item);
    m_itemByName.try_emplace(node.GetName(), &item);
    for (const auto& child : node.GetChildren())
        BuildIndexes(*child);
}

const CParameterDescription* CParameterManager::FindDescription(int32_t id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

const CParameterDescription* CParameterManager::FindDescription(const std::string& name) const {
    auto it = m_byName.find(std::string_view(name));
    return it == m_byName.end() ? nullptr : it->second;
}

CParameterDescription CParameterManager::GetDescription(int32_t id) const {
    if (const auto* d = FindDescription(id))
        return *d;
    throw CParameterException(kIdsParameterNotFound, std::to_string(id));
}

CParameterDescription CParameterManager::GetDescription(const std::string& name) const {
    if (const auto* d = FindDescription(name))
        return *d;
    throw CParameterException(kIdsParameterNotFound, name);
}

void CParameterManager::GetAllIds(std::vector<int32_t>& ids) const {
    for (const auto* d : m_ordered)
        ids.push_back(d->GetId());
}

void CParameterManager::GetAllNames(std::vector<std::string>& names) const {
    for (const auto* d : m_ordered)
        names.push_back(d->GetName());
}

const CTreeItem* CParameterManager::FindItem(const std::string& name) const {
    auto it = m_itemByName.find(name);
    return it == m_itemByName.end() ? nullptr : it->second;
}

void CParameterManager::GetMeasuredValueNames(std::vector<std::string>& names) const {
    const CTreeItem* folder = FindItem("MeasuredValues");
    if (!folder)
        throw CParameterException(kIdsSectionNotFound, "MeasuredValues");
    names.clear();
    folder->CollectNames(names, true);
}

void CParameterManager::GetFolderDescriptions(const std::string& folder,
                                              std::vector<CParameterDescription>& list) const {
    const CTreeItem* item = FindItem(folder);
    if (item && !item->IsLeaf())
        item->CollectDescriptions(list);
}

void CParameterManager::GetFolderParameters(const std::string& folder,
                                            std::vector<CParameterDescription>& list) const {
    const CTreeItem* item = FindItem(folder);
    if (item && !item->IsLeaf())
        item->CollectDirectParameters(list);
}

std::vector<FolderTreeEntry> CParameterManager::GetFolderTree() const {
    std::vector<FolderTreeEntry> tree;
    if (m_root)
        m_root->InsertIntoTree(tree);
    return tree;
}

// The counter grows by 2 for every line that does not match and the search ends once it reaches
// `limit`; callers only ask "found or not", and a match on the first line reads as not found.
int CParameterManager::FindLine(const std::string& text, int limit) const {
    const std::optional<std::string> bytes =
        quirel::readWholeFile(m_cataloguePath, quirel::kMaxTextFileBytes);
    if (!bytes)
        return 0;
    std::istringstream in(*bytes);
    int counter = 0;
    std::string line;
    while (counter < limit && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == text)
            return counter;
        counter += 2;
    }
    return 0;
}
