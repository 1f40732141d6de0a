#include "base/StringTable.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace quirel {
namespace {

struct Entry {
    unsigned id;
    std::string english;
    std::string german;
};

// Sorted by identifier.
const Entry kStrings[] = {
    {142, "No write access to this parameter.", "Kein Schreibzugriff f\xC3\xBCr aktuellen Parameter."},
    {155, "Parameter not found: ", "Parameter nicht gefunden: "},
    {161, "Section not found: ", "Sektion nicht gefunden: "},
    {172, "Device parameters - Quirel Viewer Velorin", "Ger\xC3\xA4teparameter - Quirel Viewer Velorin"},
    {178, "Modbus error", "Modbus-Fehler"},
    {186, "Read parameter", "Parameter lesen"},
    {189, "Error writing parameter: ", "Fehler beim Schreiben von Parameter: "},
    {194, "ID", "ID"},
    {195, "Name", "Name"},
    {196, "Value", "Wert"},
    {197, "Unit", "Einheit"},
    {198, "Description", "Beschreibung"},
};

std::atomic<int> gLanguage{kLanguageEnglish};
const std::string kEmpty;

} // namespace

void setUiLanguage(int language) {
    gLanguage.store(language, std::memory_order_relaxed);
}
int uiLanguage() {
    return gLanguage.load(std::memory_order_relaxed);
}

const std::string& loadString(unsigned id, int language) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, unsigned key) { return e.id < key; });
    if (it == std::end(kStrings) || it->id != id)
        return kEmpty;
    return language == kLanguageEnglish ? it->english : it->german;
}

const std::string& loadString(unsigned id) {
    return loadString(id, uiLanguage());
}

} // namespace quirel
