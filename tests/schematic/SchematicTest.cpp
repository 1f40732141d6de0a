// The overview's items: which the catalogue offers, which group parameter 300 shows, what a value item
// writes; and the frame's proportion rule.

#include "TempFolder.h"
#include "base/FileUtil.h"
#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "schematic/SchematicAspect.h"
#include "schematic/SchematicItems.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

struct Text {
    int x, y;
    std::string text;
    bool value;
};

class RecordingCanvas : public ISchematicCanvas {
public:
    void DrawText(SchematicFont, int x, int y, int, const std::string& text, bool value) override {
        texts.push_back({x, y, text, value});
    }
    // The text drawn at a place, "(none)" when nothing is; values marked with a leading "=".
    std::string At(int x, int y) const {
        for (const Text& t : texts)
            if (t.x == x && t.y == y)
                return (t.value ? "=" : "") + t.text;
        return "(none)";
    }
    std::vector<Text> texts;
};

// The demo catalogue with the lines matching `drop` removed, loaded in English from a private folder.
class Catalogue : public CParameterManager {
public:
    explicit Catalogue(const std::string& drop) {
        const auto text =
            quirel::readWholeFile(QUIREL_RESOURCES_DIR "/Parameters.ini", quirel::kMaxMeasurementFileBytes);
        quirel::writeFileAtomically(m_folder.File("Parameters.ini"),
                                    std::regex_replace(*text, std::regex(drop), ""));
        SetLanguage(9);
        Load(m_folder.File("Parameters.ini"));
    }

private:
    TempFolder m_folder;
};

} // namespace

// Nothing dropped; without any "ParameterId=" line only the three headlines remain; 401 without 402: the
// whole target range goes (two labels of 242/243, the headline 240, two values).
TEST(SchematicItems, PresenceFollowsTheCatalogueLines) {
    for (const auto& [drop, groupA, groupB] : {std::tuple{"(?!)", 46u, 4u},
                                               {"ParameterId=\\d+\\r?\\n", 3u, 0u},
                                               {"ParameterId=402\\r?\\n", 41u, 4u}}) {
        const Catalogue catalogue(drop);
        const CSchematicItems items(catalogue);
        ASSERT_EQ(items.GroupA().size(), groupA) << drop;
        EXPECT_EQ(items.GroupB().size(), groupB) << drop;
        EXPECT_EQ(items.GroupC().size(), groupB) << drop;
        for (const auto& item : items.GroupA())
            EXPECT_TRUE(groupA != 41 || item->GetX() < 1310 || item->GetY() < 690) << item->GetText();
        const std::string headlines = items.GroupA()[0]->GetText() + "|" + items.GroupA()[1]->GetText() +
                                      "|" + items.GroupA()[2]->GetText();
        EXPECT_TRUE(groupA != 3 || headlines == "Mains side|Load side|Active Harmonic Filter") << headlines;
    }
}

TEST(SchematicItems, ParameterThreeHundredPicksTheCurrents) {
    Catalogue full("(?!)");
    CControllerModbus controller;
    CDocParameters doc(full, controller);
    doc.OnNewDocument();
    const CSchematicItems items(full);
    doc.SetValue(100, PARAMVALUE(8, 0));
    doc.SetValue(120, PARAMVALUE(8, 0x42F6CCCD)); // 123.4f
    RecordingCanvas groupB, read, groupC;
    items.Draw(groupB, doc);
    EXPECT_EQ(groupB.At(50, 340), "Mains current");
    EXPECT_EQ(groupB.At(50, 370), "=123,4 A");
    EXPECT_EQ(groupB.At(50, 130), "=0,00 Hz");
    EXPECT_EQ(groupB.At(1430, 365), "=--"); // never read: not shown as the zero it starts with
    EXPECT_EQ(groupB.At(50, 500), "(none)");
    doc.SetValue(300, PARAMVALUE(6, 0));
    items.Draw(read, doc);
    EXPECT_EQ(read.At(1430, 365), "=loadside ");
    doc.SetValue(300, PARAMVALUE(6, 1));
    items.Draw(groupC, doc);
    EXPECT_EQ(groupC.At(50, 340), "(none)");
    EXPECT_EQ(groupC.At(50, 500), "Load current");
    EXPECT_EQ(groupC.At(1430, 365), "=mainside ");
    EXPECT_EQ(groupC.texts.size(), groupB.texts.size());
}

TEST(SchematicAspect, DraggingKeepsTheProportion) {
    using namespace SchematicAspect;
    struct Case {
        Drag drag;
        Size dragged, result;
    };
    const Case cases[] = {
        {Drag::WidthEdge, {1300, 706}, {1300, 764}}, // 1300 / 1.7 = 764.7
        {Drag::HeightEdge, {1200, 800}, {1360, 800}},
        {Drag::Corner, {1400, 700}, {1400, 823}},    // wide enough: the height follows
        {Drag::Corner, {1000, 700}, {1190, 700}},    // too narrow: the width follows
        {Drag::Corner, {1190, 700}, {1190, 700}},    // exactly 1.7
        {Drag::WidthEdge, {1200, 706}, {1200, 705}}, // truncated
    };
    for (const Case& c : cases)
        EXPECT_EQ(Apply(c.drag, c.dragged), c.result) << c.dragged.width << "x" << c.dragged.height;

    Drag drag;
    EXPECT_FALSE(DragBetween({1200, 706}, {1200, 706}, drag));
    for (const auto& [to, expected] : {std::pair{Size{1250, 706}, Drag::WidthEdge},
                                       {Size{1200, 600}, Drag::HeightEdge},
                                       {Size{1000, 600}, Drag::Corner}}) {
        ASSERT_TRUE(DragBetween({1200, 706}, to, drag));
        EXPECT_EQ(drag, expected);
    }
}
