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
    // Our own texts from 1000 on.
    {1001, "Invalid value ", "Ung\xC3\xBCltiger Wert "},
    {1002, "a number is expected", "eine Zahl wird erwartet"},
    {1003, "a decimal comma is expected (", "ein Dezimalkomma wird erwartet ("},
    {1004, "allowed are ", "erlaubt sind "},
    {1005, " to ", " bis "},
    {1006, "one of the listed values is expected: ", "einer der aufgef\xC3\xBChrten Werte wird erwartet: "},
    {1007, "a date and time is expected as YYYY-MM-DD HH:MM:SS",
     "Datum und Uhrzeit werden als JJJJ-MM-TT HH:MM:SS erwartet"},
    {1008, "a time of day is expected as HH:MM:SS", "eine Uhrzeit wird als HH:MM:SS erwartet"},
    {1009, "an IPv4 address is expected: four numbers from 0 to 255 joined by points",
     "eine IPv4-Adresse wird erwartet: vier Zahlen von 0 bis 255, durch Punkte getrennt"},
    {1010, "this value cannot be written", "dieser Wert kann nicht geschrieben werden"},
    {1011, "The parameter catalogue was not found: ", "Der Parameterkatalog wurde nicht gefunden: "},
    {1012, ". Looked for in: ", ". Gesucht in: "},
    {1013, "No value received for ", "Kein Wert empfangen f\xC3\xBCr "},
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
