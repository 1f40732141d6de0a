// The overview's items: which the catalogue offers, which group parameter 300 shows, what a value item
// writes; and the frame's proportion rule.

#include "base/FileUtil.h"
#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "schematic/SchematicAspect.h"
#include "schematic/SchematicItems.h"

#include <gtest/gtest.h>

#include <filesystem>
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
    const Text* At(int x, int y) const {
        for (const Text& t : texts)
            if (t.x == x && t.y == y)
                return &t;
        return nullptr;
    }
    std::vector<Text> texts;
};

// The demo catalogue with the lines matching `drop` removed, loaded in English.
class Catalogue {
public:
    explicit Catalogue(const std::string& drop) {
        std::string text =
            *quirel::readWholeFile(QUIREL_RESOURCES_DIR "/Parameters.ini", quirel::kMaxMeasurementFileBytes);
        text = std::regex_replace(text, std::regex(drop), "");
        quirel::writeFileAtomically(m_path, text);
        m_catalogue.SetLanguage(9);
        m_catalogue.Load(m_path);
    }
    ~Catalogue() { std::filesystem::remove(m_path); }
    const CParameterManager& Get() const { return m_catalogue; }

private:
    std::string m_path =
        (std::filesystem::temp_directory_path() / ("quirel-schematic-" + std::to_string(::getpid()) + ".ini"))
            .string();
    CParameterManager m_catalogue;
};

size_t Count(const CSchematicItems& items) {
    return items.GroupA().size() + items.GroupB().size() + items.GroupC().size();
}

} // namespace

TEST(SchematicItems, PresenceFollowsTheCatalogueLines) {
    {
        Catalogue full("(?!)"); // nothing dropped
        const CSchematicItems items(full.Get());
        EXPECT_EQ(items.GroupA().size(), 46u);
        EXPECT_EQ(items.GroupB().size(), 4u);
        EXPECT_EQ(items.GroupC().size(), 4u);
    }
    {
        // Without any "ParameterId=" line only the three headlines remain.
        Catalogue none("ParameterId=\\d+\\r?\\n");
        const CSchematicItems items(none.Get());
        ASSERT_EQ(Count(items), 3u);
        EXPECT_EQ(items.GroupA()[0]->GetText(), "Mains side");
        EXPECT_EQ(items.GroupA()[1]->GetText(), "Load side");
        EXPECT_EQ(items.GroupA()[2]->GetText(), "Active Harmonic Filter");
    }
    {
        // 401 without 402: the whole target range goes (two labels of 242/243, the headline 240, two values).
        Catalogue no402("ParameterId=402\\r?\\n");
        const CSchematicItems items(no402.Get());
        EXPECT_EQ(items.GroupA().size(), 46u - 5);
        for (const auto& item : items.GroupA())
            EXPECT_TRUE(item->GetX() < 1310 || item->GetY() < 690) << item->GetText();
    }
}

TEST(SchematicItems, ParameterThreeHundredPicksTheCurrents) {
    Catalogue full("(?!)");
    CControllerModbus controller;
    CDocParameters doc(full.Get(), controller);
    doc.OnNewDocument();
    const CSchematicItems items(full.Get());
    doc.SetValue(100, PARAMVALUE(8, 0));
    PARAMVALUE current(8);
    current.SetFloat(123.4f);
    doc.SetValue(120, current);

    RecordingCanvas groupB;
    items.Draw(groupB, doc);
    ASSERT_TRUE(groupB.At(50, 340));
    EXPECT_EQ(groupB.At(50, 340)->text, "Mains current");
    EXPECT_EQ(groupB.At(50, 370)->text, "123,4 A");
    EXPECT_TRUE(groupB.At(50, 370)->value);
    EXPECT_EQ(groupB.At(50, 130)->text, "0,00 Hz");
    EXPECT_EQ(groupB.At(1430, 365)->text, "--"); // never read: not shown as the zero it starts with
    EXPECT_FALSE(groupB.At(50, 500));
    doc.SetValue(300, PARAMVALUE(6, 0));
    RecordingCanvas read;
    items.Draw(read, doc);
    EXPECT_EQ(read.At(1430, 365)->text, "loadside ");

    doc.SetValue(300, PARAMVALUE(6, 1));
    RecordingCanvas groupC;
    items.Draw(groupC, doc);
    EXPECT_FALSE(groupC.At(50, 340));
    ASSERT_TRUE(groupC.At(50, 500));
    EXPECT_EQ(groupC.At(50, 500)->text, "Load current");
    EXPECT_EQ(groupC.At(1430, 365)->text, "mainside ");
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
    ASSERT_TRUE(DragBetween({1200, 706}, {1250, 706}, drag));
    EXPECT_EQ(drag, Drag::WidthEdge);
    ASSERT_TRUE(DragBetween({1200, 706}, {1200, 600}, drag));
    EXPECT_EQ(drag, Drag::HeightEdge);
    ASSERT_TRUE(DragBetween({1200, 706}, {1000, 600}, drag));
    EXPECT_EQ(drag, Drag::Corner);
}
