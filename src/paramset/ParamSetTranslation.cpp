#include "paramset/ParamSetTranslation.h"

#include "base/StringTable.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quirel::paramset {
namespace {

constexpr unsigned kIdsInvalidValue = 1001;        // "Invalid value "
constexpr unsigned kIdsListedValueExpected = 1006; // "one of the listed values is expected: "
constexpr int32_t kOperatingMode = 547;
constexpr int32_t kNumberOfCts = 540;

constexpr std::array<int32_t, 18> kFormMarkers = {200, 201, 202, 210, 231, 232, 241, 300, 311,
                                                  405, 407, 410, 535, 538, 540, 544, 546, 547};

// One row group of the translation table: the texts of the parameters listed, English and German at the
// same positions.
using Column = std::vector<const char*>;
struct TranslationRow {
    std::vector<int32_t> numbers;
    Column english;
    Column german;
};

const TranslationRow kTable[] = {
    {{200}, {"english", "german"}, {"Englisch", "Deutsch"}},
    {{201}, {"low active", "high active"}, {"low aktiv", "high aktiv"}},
    {{202},
     {"Switch S1", "direct OFF", "direct ON", "terminal strip"},
     {"Schalter S1", "direkt AUS", "direkt EIN", "Klemmleiste"}},
    {{241, 405, 410, 544, 546}, {"ON", "OFF"}, {"Ein", "Aus"}},
    {{300}, {"loadside", "mainside", "OFF"}, {"Lastseite", "Netzseite", "AUS"}},
    {{kNumberOfCts}, {"3 CT (L1, L2, L3)", "2 CT (L1, L2)"}, {"3 W. (L1, L2, L3)", "2 W. (L1, L2)"}},
};

// The long forms 540 also accepts, at the positions of its short forms.
const Column kCtsLongEnglish = {"3 transformer (L1, L2, L3)", "2 transformer (L1, L2)"};
const Column kCtsLongGerman = {"3 Wandler (L1, L2, L3)", "2 Wandler (L1, L2)"};

const char* const kEnglishMarkers[] = {"german", "english", "active", "direct", "terminal strip",
                                       "side",   "ON",      "OFF",    "3 CT",   "2 CT"};
const char* const kGermanMarkers[] = {"Deutsch", "Englisch", "aktiv", "direkt", "Klemmleiste",
                                      "seite",   "EIN",      "AUS",   "3 W",    "2 W"};

int PositionIn(const Column& column, const std::string& text) {
    for (size_t i = 0; i < column.size(); ++i)
        if (text == column[i])
            return static_cast<int>(i);
    return -1;
}

const TranslationRow* RowOf(int32_t number) {
    for (const TranslationRow& row : kTable)
        if (std::find(row.numbers.begin(), row.numbers.end(), number) != row.numbers.end())
            return &row;
    return nullptr;
}

template <size_t N> bool HoldsAny(const std::string& text, const char* const (&markers)[N]) {
    return std::any_of(std::begin(markers), std::end(markers),
                       [&](const char* m) { return text.find(m) != std::string::npos; });
}

} // namespace

bool IsFormMarker(int32_t number) {
    return std::find(kFormMarkers.begin(), kFormMarkers.end(), number) != kFormMarkers.end();
}

FileForm DetectForm(const std::vector<ParamSetEntry>& commissioning) {
    for (const ParamSetEntry& e : commissioning)
        if (IsFormMarker(e.number))
            return e.stored.find(';') != std::string::npos ? FileForm::Current : FileForm::Older;
    return FileForm::Current;
}

FileLanguage DetectLanguage(const std::vector<ParamSetEntry>& commissioning) {
    for (const ParamSetEntry& e : commissioning) {
        if (HoldsAny(e.stored, kEnglishMarkers))
            return FileLanguage::English;
        if (HoldsAny(e.stored, kGermanMarkers))
            return FileLanguage::German;
    }
    return FileLanguage::Undecided;
}

std::string WithOperatingModePrefix(const std::string& text) {
    if (text.find("BW") != std::string::npos || text.find("BE") != std::string::npos)
        return text;
    return "BW " + text;
}

std::string TranslateText(int32_t number, const std::string& text, int programLanguage) {
    if (number == kOperatingMode)
        return WithOperatingModePrefix(text);
    const TranslationRow* row = RowOf(number);
    if (!row)
        return text;
    // Whichever column the text is found in, its row position gives the program language's text; the
    // long forms of 540 lead to the short ones.
    int i = PositionIn(row->english, text);
    if (i < 0)
        i = PositionIn(row->german, text);
    if (i < 0 && number == kNumberOfCts) {
        i = PositionIn(kCtsLongEnglish, text);
        if (i < 0)
            i = PositionIn(kCtsLongGerman, text);
    }
    if (i < 0)
        return kErrorText;
    return (programLanguage != kLanguageEnglish ? row->german : row->english)[static_cast<size_t>(i)];
}

std::string TranslationRefusal(int32_t number, const std::string& text) {
    std::string known;
    if (const TranslationRow* row = RowOf(number)) {
        Column texts = row->english;
        texts.insert(texts.end(), row->german.begin(), row->german.end());
        for (const char* t : texts)
            known.append(known.empty() ? "" : ", ").append(t);
    }
    return loadString(kIdsInvalidValue) + "\"" + text + "\": " + loadString(kIdsListedValueExpected) + known;
}

std::string NormaliseText(int32_t number, const std::string& text, FileLanguage fileLanguage) {
    if (number == kOperatingMode)
        return WithOperatingModePrefix(text);
    if (number != kNumberOfCts)
        return text;
    const bool german = fileLanguage == FileLanguage::German;
    const int i = PositionIn(german ? kCtsLongGerman : kCtsLongEnglish, text);
    if (i < 0)
        return text;
    const TranslationRow* row = RowOf(kNumberOfCts);
    return (german ? row->german : row->english)[static_cast<size_t>(i)];
}

} // namespace quirel::paramset
