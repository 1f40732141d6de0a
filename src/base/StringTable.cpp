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
    {218, "Couldn't download parameters.ini.\nUsing default values.",
     "Parameterdefinition konnte nicht heruntergeladen werden.\nVerwende default-Werte"},
    {220, "Wrong Parameters.ini loaded. Application is shutting down!",
     "Neue Parameterdefinition geladen. Anwendung bitte neu starten!"},
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
    // Parameter sets and the catalogue download.
    {1100, "Please Wait ...", "Bitte warten ..."},
    {1101, "Reading from the device", "Lesen vom Ger\xC3\xA4t"},
    {1102, "Sending to the device", "Senden zum Ger\xC3\xA4t"},
    {1103, "The connection to the device was lost. The parameter set was not saved.",
     "Die Verbindung zum Ger\xC3\xA4t wurde unterbrochen. Die Parameterdatei wurde nicht gespeichert."},
    {1104, "The connection to the device was lost. The parameter set was sent only in part.",
     "Die Verbindung zum Ger\xC3\xA4t wurde unterbrochen. Die Parameterdatei wurde nur teilweise gesendet."},
    {1105, "The file could not be written: ", "Die Datei konnte nicht geschrieben werden: "},
    {1106, "The file could not be read: ", "Die Datei konnte nicht gelesen werden: "},
    {1107, "The parameter set holds %1 values to send, more than the 600 a send transfers. Nothing was sent.",
     "Die Parameterdatei enth\xC3\xA4lt %1 zu sendende Werte, mehr als die 600, die gesendet werden "
     "k\xC3\xB6nnen. Es wurde nichts gesendet."},
    {1109, "Reading firmware information", "Lesen der Firmware Informationen"},
    {1110, "Reading the parameter catalogue of the device ...",
     "Der Parameterkatalog des Ger\xC3\xA4ts wird gelesen ..."},
    {1111, "Please restart the application for the changes to take effect.",
     "Bitte starten Sie die Anwendung neu, damit die \xC3\x84nderungen wirksam werden."},
    {1112, "Reading the values the device holds now ...",
     "Die aktuellen Werte des Ger\xC3\xA4ts werden gelesen ..."},
    {1113, "The connection to the device was lost. Nothing was sent.",
     "Die Verbindung zum Ger\xC3\xA4t wurde unterbrochen. Es wurde nichts gesendet."},
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
