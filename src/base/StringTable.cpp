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
    {135, "No connection to device!", "Keine Verbindung zum Ger\xC3\xA4t!"},
    {142, "No write access to this parameter.", "Kein Schreibzugriff f\xC3\xBCr aktuellen Parameter."},
    {155, "Parameter not found: ", "Parameter nicht gefunden: "},
    {158, "Mains side", "Netzseite"},
    {159, "Load side", "Lastseite"},
    {160, "Active Harmonic Filter", "Aktives Harmonisches Filter"},
    {161, "Section not found: ", "Sektion nicht gefunden: "},
    {162, "Mains frequency", "Netzfrequenz"},
    {163, "Mains voltage", "Netzspannung"},
    {164, "Mains current", "Netzstrom"},
    {165, "Load current", "Laststrom"},
    {166, "Filter current", "Filterstrom"},
    {167, "State", "Status"},
    {168, "DC link voltage", "Zwischenkreisspannung"},
    {169, "Transformer current", "Messwandler"},
    {170, "Reactive power compensation", "Blindleistungskompensation"},
    {171, "Harmonic compensation", "Oberschwingungskompensation"},
    {172, "Device parameters - Quirel Viewer Velorin", "Ger\xC3\xA4teparameter - Quirel Viewer Velorin"},
    {175, "Eventlog - Quirel Viewer Velorin", "Ereignisspeicher - Quirel Viewer Velorin"},
    {178, "Modbus error", "Modbus-Fehler"},
    {186, "Read parameter", "Parameter lesen"},
    {188, "The specified file cannot be opened.",
     "Die angegebene Datei kann nicht ge\xC3\xB6"
     "ffnet werden."},
    {189, "Error writing parameter: ", "Fehler beim Schreiben von Parameter: "},
    {193, "Overview - Quirel Viewer Velorin",
     "\xC3\x9C"
     "bersicht - Quirel Viewer Velorin"},
    {194, "ID", "ID"},
    {195, "Name", "Name"},
    {196, "Value", "Wert"},
    {197, "Unit", "Einheit"},
    {198, "Description", "Beschreibung"},
    {210, "Eventlog is being read ...", "Ereignisspeicher wird gelesen ..."},
    {212, "No entries available.", "Keine Eintr\xC3\xA4ge vorhanden."},
    {230, "Output", "Auslastung"},
    {231, "THDiL1", "THDi"},
    {232, "Rotating field", "Drehfeld"},
    {233, "THDiL2", ""},
    {234, "THDiL3", ""},
    {240, "Target DPF range", "Sollbereich cos phi"},
    {241, "DPF", "cos phi"},
    {242, "lower limit", "min cos phi"},
    {243, "upper limit", "max cos phi"},
    {244, "Load balancing", "Lastsymmetrierung"},
    {245, "ReactivePowerControl", "BlindleistungsRegelung"},
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
