#include "parameters/TreeItem.h"

#include "base/IniFile.h"

#include <cstdio>

std::string FormatIdAndName(int32_t id, const std::string& name) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3d ", id);
    return buf + name;
}

const CTreeItem* CTreeNode::FindItem(const std::string& name) const {
    if (name == m_sectionName || name == m_displayName)
        return this;
    for (const auto& child : m_children)
        if (const CTreeItem* found = child->FindItem(name))
            return found;
    return nullptr;
}

const CParameterDescription* CTreeNode::FindDescriptionByName(const std::string& name) const {
    for (const auto& child : m_children)
        if (const auto* found = child->FindDescriptionByName(name))
            return found;
    return nullptr;
}

const CParameterDescription* CTreeNode::FindDescriptionById(int32_t id) const {
    for (const auto& child : m_children)
        if (const auto* found = child->FindDescriptionById(id))
            return found;
    return nullptr;
}

void CTreeNode::CollectDescriptions(std::vector<CParameterDescription>& list) const {
    for (const auto& child : m_children)
        child->CollectDescriptions(list);
}

void CTreeNode::CollectIds(std::vector<int32_t>& list) const {
    for (const auto& child : m_children)
        child->CollectIds(list);
}

void CTreeNode::CollectNames(std::vector<std::string>& list, bool withId) const {
    for (const auto& child : m_children)
        child->CollectNames(list, withId);
}

void CTreeNode::CollectDirectParameters(std::vector<CParameterDescription>& list) const {
    for (const auto& child : m_children)
        if (child->IsLeaf())
            child->CollectDirectParameters(list);
}

void CTreeNode::InsertIntoTree(std::vector<FolderTreeEntry>& parent) const {
    FolderTreeEntry entry{m_displayName, m_sectionName, {}};
    for (const auto& child : m_children)
        child->InsertIntoTree(entry.children);
    parent.push_back(std::move(entry));
}

const CTreeItem* CTreeLeaf::FindItem(const std::string& name) const {
    return name == m_description.GetName() ? this : nullptr;
}

const CParameterDescription* CTreeLeaf::FindDescriptionByName(const std::string& name) const {
    return quirel::equalsNoCase(name, m_description.GetName()) ? &m_description : nullptr;
}

const CParameterDescription* CTreeLeaf::FindDescriptionById(int32_t id) const {
    return id == m_description.GetId() ? &m_description : nullptr;
}

void CTreeLeaf::CollectDescriptions(std::vector<CParameterDescription>& list) const {
    list.push_back(m_description);
}

void CTreeLeaf::CollectIds(std::vector<int32_t>& list) const {
    list.push_back(m_description.GetId());
}

void CTreeLeaf::CollectNames(std::vector<std::string>& list, bool withId) const {
    list.push_back(withId ? FormatIdAndName(m_description.GetId(), m_description.GetName())
                          : m_description.GetName());
}

void CTreeLeaf::CollectDirectParameters(std::vector<CParameterDescription>& list) const {
    list.push_back(m_description);
}
