#include "schematic/SchematicItems.h"

#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"

#include <map>
#include <string>

namespace {

enum class G { A, B, C };
using F = SchematicFont;
constexpr int kCentred = kAlignCentreTop;

// One row of the overview: its group, the identifiers whose "ParameterId=" lines it needs (0: none), and
// either a string-table text or a parameter value.
struct Row {
    G group;
    int32_t need1, need2;
    unsigned stringId; // 0: the item shows parameter `parameter`
    int32_t parameter;
    F font;
    int x, y;
    int align;
};

constexpr Row Label(G g, int32_t need, unsigned id, F f, int x, int y, int align = kAlignLeftTop) {
    return {g, need, 0, id, 0, f, x, y, align};
}
constexpr Row Value(G g, int32_t id, int x, int y) {
    return {g, id, 0, 0, id, F::Value, x, y, kAlignLeftTop};
}
constexpr Row Pair(unsigned stringId, int32_t parameter, F f, int x, int y) {
    return {G::A, 401, 402, stringId, parameter, f, x, y, kAlignLeftTop};
}

// In creation order.
constexpr Row kRows[] = {
    Label(G::A, 0, 158, F::Headline, 375, 20, kCentred),
    Label(G::A, 0, 159, F::Headline, 375, 760, kCentred),
    Label(G::A, 0, 160, F::Headline, 1000, 140, kCentred),
    Label(G::A, 100, 162, F::Label, 50, 100),
    Value(G::A, 100, 50, 130),
    Label(G::A, 109, 232, F::Label, 50, 180),
    Value(G::A, 109, 50, 210),
    Label(G::A, 110, 163, F::Label, 50, 260),
    Value(G::A, 110, 50, 290),
    Value(G::A, 111, 150, 290),
    Value(G::A, 112, 250, 290),
    Label(G::B, 120, 164, F::Label, 50, 340),
    Value(G::B, 120, 50, 370),
    Value(G::B, 121, 150, 370),
    Value(G::B, 122, 250, 370),
    Label(G::C, 130, 165, F::Label, 50, 500),
    Value(G::C, 130, 50, 530),
    Value(G::C, 131, 150, 530),
    Value(G::C, 132, 250, 530),
    Label(G::A, 140, 166, F::Label, 460, 340),
    Value(G::A, 140, 460, 370),
    Value(G::A, 141, 560, 370),
    Value(G::A, 142, 660, 370),
    Label(G::A, 20, 167, F::Label, 1310, 60),
    Value(G::A, 20, 1310, 85),
    Value(G::A, 21, 1310, 110),
    Label(G::A, 103, 168, F::Label, 1310, 130),
    Value(G::A, 103, 1310, 155),
    Label(G::A, 104, 230, F::Label, 1310, 200),
    Value(G::A, 104, 1310, 225),
    Label(G::A, 170, 231, F::Label, 1310, 270),
    Value(G::A, 170, 1310, 295),
    Label(G::A, 171, 233, F::Label, 1410, 270),
    Value(G::A, 171, 1410, 295),
    Label(G::A, 172, 234, F::Label, 1510, 270),
    Value(G::A, 172, 1510, 295),
    Label(G::A, 102, 241, F::Label, 1550, 340),
    Value(G::A, 102, 1550, 365),
    Label(G::A, 310, 169, F::Label, 1310, 340),
    Value(G::A, 310, 1310, 365),
    Value(G::A, 300, 1430, 365),
    Label(G::A, 410, 171, F::Label, 1310, 410),
    Value(G::A, 410, 1310, 435),
    Label(G::A, 400, 170, F::Label, 1310, 480),
    Value(G::A, 400, 1310, 505),
    Label(G::A, 403, 245, F::Label, 1310, 550),
    Value(G::A, 403, 1310, 575),
    Label(G::A, 405, 244, F::Label, 1310, 620),
    Value(G::A, 405, 1310, 645),
    Pair(240, 0, F::Label, 1310, 690),
    Pair(242, 0, F::Value, 1310, 715),
    Pair(243, 0, F::Value, 1460, 715),
    Pair(0, 401, F::Value, 1310, 740),
    Pair(0, 402, F::Value, 1460, 740),
};

} // namespace

CSchematicItems::CSchematicItems(const CParameterManager& catalogue) {
    std::map<int32_t, bool> present; // one search of the file per identifier
    auto has = [&](int32_t id) {
        if (id == 0)
            return true;
        auto it = present.find(id);
        if (it == present.end())
            it =
                present
                    .emplace(id, catalogue.FindLine("ParameterId=" + std::to_string(id), kFindLineLimit) != 0)
                    .first;
        return it->second;
    };
    for (const Row& row : kRows) {
        if (!has(row.need1) || !has(row.need2))
            continue;
        std::unique_ptr<CSchematicItem> item;
        if (row.stringId != 0)
            item = std::make_unique<CSchematicItem>(row.stringId, row.font, row.x, row.y, row.align);
        else
            item = std::make_unique<CSchematicPara>(row.parameter, row.font, row.x, row.y, row.align);
        (row.group == G::A ? m_groupA : row.group == G::B ? m_groupB : m_groupC).push_back(std::move(item));
    }
}

bool CSchematicItems::ShowsGroupB(const CDocParameters& doc) {
    return !doc.IsKnown(kGroupSwitchId) || doc.GetValue(kGroupSwitchId).GetValue().raw == 0;
}

void CSchematicItems::Draw(ISchematicCanvas& canvas, const CDocParameters& doc) const {
    for (const auto& item : m_groupA)
        item->Draw(canvas, doc);
    for (const auto& item : ShowsGroupB(doc) ? m_groupB : m_groupC)
        item->Draw(canvas, doc);
}
