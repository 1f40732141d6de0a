#pragma once

#include "schematic/SchematicItem.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CParameterManager;

// The overview's texts in their three groups: group A always, group B (mains currents) when parameter
// 300 is 0, group C (load currents) otherwise. Each item exists only when the catalogue file has the line
// "ParameterId=<id>" for every identifier its row names, so a catalogue without a parameter leaves its
// place empty and its neighbours where they are.
class CSchematicItems {
public:
    // The picture the positions refer to.
    static constexpr int kPictureWidth = 1672;
    static constexpr int kPictureHeight = 852;
    static constexpr int32_t kGroupSwitchId = 300;
    static constexpr int kFindLineLimit = 40000; // the catalogue's first 20000 lines
    // What the overview reads, in the order it registers them with the document.
    static constexpr std::array<int32_t, 33> kShownParameters = {
        20,  21,  100, 103, 110, 111, 112, 120, 121, 122, 123, 124, 125, 140, 141, 142, 130,
        131, 132, 300, 310, 400, 410, 104, 170, 171, 172, 109, 102, 401, 402, 403, 405};

    using Group = std::vector<std::unique_ptr<CSchematicItem>>;

    // Searches the catalogue file once per condition; texts in the current user-interface language.
    explicit CSchematicItems(const CParameterManager& catalogue);

    // Group A, then group B or group C by the document's value of parameter 300.
    void Draw(ISchematicCanvas& canvas, const CDocParameters& doc) const;
    // True when parameter 300's raw value is 0 (or the document has none): group B is shown.
    static bool ShowsGroupB(const CDocParameters& doc);

    const Group& GroupA() const { return m_groupA; }
    const Group& GroupB() const { return m_groupB; }
    const Group& GroupC() const { return m_groupC; }

private:
    Group m_groupA, m_groupB, m_groupC;
};
