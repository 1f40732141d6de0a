#pragma once

#include "parameters/ParameterDescription.h"

#include <memory>
#include <string>
#include <vector>

// A folder of the catalogue as the user sees it in the folder tree: folders only, in listing order.
struct FolderTreeEntry {
    std::string displayName;
    std::string sectionName;
    std::vector<FolderTreeEntry> children;
};

// An element of the catalogue tree. Every search is depth-first in listing order (a folder's
// subfolders, then its parameters) and the first match wins.
class CTreeItem {
public:
    virtual ~CTreeItem() = default;

    // The item itself if it matches, else the first match below; exact, case-sensitive.
    virtual const CTreeItem* FindItem(const std::string& name) const = 0;
    // By parameter name without regard to case.
    virtual const CParameterDescription* FindDescriptionByName(const std::string& name) const = 0;
    virtual const CParameterDescription* FindDescriptionById(int32_t id) const = 0;
    virtual void CollectDescriptions(std::vector<CParameterDescription>& list) const = 0;
    virtual void CollectIds(std::vector<int32_t>& list) const = 0;
    // With `withId` each entry reads "%3d %s".
    virtual void CollectNames(std::vector<std::string>& list, bool withId) const = 0;
    // A folder's own parameters only; a parameter adds itself.
    virtual void CollectDirectParameters(std::vector<CParameterDescription>& list) const = 0;
    virtual const std::string& GetName() const = 0;
    // Appends this folder (and the folders below it) to `parent`; a parameter appends nothing.
    virtual void InsertIntoTree(std::vector<FolderTreeEntry>& parent) const = 0;
    virtual bool IsLeaf() const = 0;
};

class CTreeNode : public CTreeItem {
public:
    CTreeNode(std::string sectionName, std::string displayName)
        : m_sectionName(std::move(sectionName)), m_displayName(std::move(displayName)) {}

    const CTreeItem* FindItem(const std::string& name) const override;
    const CParameterDescription* FindDescriptionByName(const std::string& name) const override;
    const CParameterDescription* FindDescriptionById(int32_t id) const override;
    void CollectDescriptions(std::vector<CParameterDescription>& list) const override;
    void CollectIds(std::vector<int32_t>& list) const override;
    void CollectNames(std::vector<std::string>& list, bool withId) const override;
    void CollectDirectParameters(std::vector<CParameterDescription>& list) const override;
    const std::string& GetName() const override { return m_displayName; }
    void InsertIntoTree(std::vector<FolderTreeEntry>& parent) const override;
    bool IsLeaf() const override { return false; }

    const std::string& GetSectionName() const { return m_sectionName; }
    const std::vector<std::unique_ptr<CTreeItem>>& GetChildren() const { return m_children; }
    void AddChild(std::unique_ptr<CTreeItem> child) { m_children.push_back(std::move(child)); }

private:
    std::string m_sectionName;
    std::string m_displayName;
    std::vector<std::unique_ptr<CTreeItem>> m_children; // subfolders first, then parameters
};

class CTreeLeaf : public CTreeItem {
public:
    explicit CTreeLeaf(CParameterDescription description) : m_description(std::move(description)) {}

    const CTreeItem* FindItem(const std::string& name) const override;
    const CParameterDescription* FindDescriptionByName(const std::string& name) const override;
    const CParameterDescription* FindDescriptionById(int32_t id) const override;
    void CollectDescriptions(std::vector<CParameterDescription>& list) const override;
    void CollectIds(std::vector<int32_t>& list) const override;
    void CollectNames(std::vector<std::string>& list, bool withId) const override;
    void CollectDirectParameters(std::vector<CParameterDescription>& list) const override;
    const std::string& GetName() const override { return m_description.GetName(); }
    void InsertIntoTree(std::vector<FolderTreeEntry>&) const override {}
    bool IsLeaf() const override { return true; }

    const CParameterDescription& GetDescription() const { return m_description; }

private:
    CParameterDescription m_description;
};

// "%3d %s": the identifier right-aligned in three places, a blank, the name.
std::string FormatIdAndName(int32_t id, const std::string& name);
