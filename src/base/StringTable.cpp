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
    {129, "No trigger", "Kein Trigger"},
    {133, "Please select at least one channel.", "Bitte mindestens einen Messkanal ausw\xC3\xA4hlen."},
    {135, "No connection to device!", "Keine Verbindung zum Ger\xC3\xA4t!"},
    {136, "Interval is too small. Must be >= 1 s.", "Messintervall ist zu klein. Muss >= 1 s sein."},
    {137, "Connection is too slow. Please increase interval or change connection settings.",
     "Die Verbindung ist zu langsam. Bitte Messintervall vergr\xC3\xB6\xC3\x9F"
     "ern oder Verbindungseinstellungen \xC3\xA4ndern."},
    {138, "The selected sample rate is too high!", "Die gew\xC3\xA4hlte Abtastrate ist zu hoch!"},
    {142, "No write access to this parameter.", "Kein Schreibzugriff f\xC3\xBCr aktuellen Parameter."},
    {149, "No trigger", "Kein Trigger"},
    {150, "Trigger active", "Trigger aktiv"},
    {151, "Trigger set-off", "Trigger ausgel\xC3\xB6st"},
    {152, "Reading trace data ...", "Tracedaten auslesen ..."},
    {155, "Parameter not found: ", "Parameter nicht gefunden: "},
    {156, "ms", "ms"},
    {157, "s", "s"},
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
    {173, "Single measurement", "Einzelmessung"},
    {174, "Continuous measurement", "Dauermessung"},
    {175, "Eventlog - Quirel Viewer Velorin", "Ereignisspeicher - Quirel Viewer Velorin"},
    {176, "Time", "Zeit"},
    {177, "No measured values available ...", "Keine Messwerte vorhanden ..."},
    {178, "Modbus error", "Modbus-Fehler"},
    {179, "Cancel trigger", "Trigger abbrechen"},
    {180, "Query trigger state", "Triggerstatus abfragen"},
    {181, "Number of trace values", "Anzahl Tracewerte"},
    {182, "Read trace values", "Tracewerte lesen"},
    {183, "Error reading values", "Fehler beim Lesen der Werte "},
    {184, "Clear trigger", "Trigger l\xC3\xB6schen"},
    {185, "Read trigger", "Trigger lesen"},
    {186, "Read parameter", "Parameter lesen"},
    {187, "Write trigger", "Trigger schreiben"},
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
    {199, "Measurement interval", "Messintervall"},
    {200, "Trigger", "Trigger"},
    {201, "Channel: ", "Kanal: "},
    {202, "Level: ", "Schwelle: "},
    {203, "Mode: ", "Modus: "},
    {204, "Sample Rate:", "Abtastrate:"},
    {205, "Delay:", "Verz\xC3\xB6gerung:"},
    {206, "x 0,03125 ms", "x 0,03125 ms"},
    {207, "more than",
     "gr\xC3\xB6\xC3\x9F"
     "er"},
    {208, "less than", "kleiner"},
    {210, "Eventlog is being read ...", "Ereignisspeicher wird gelesen ..."},
    {212, "No entries available.", "Keine Eintr\xC3\xA4ge vorhanden."},
    {213, "Frequency [Hz]", "Frequenz [Hz]"},
    {214, "Amplitude", "Amplitude"},
    {218, "Couldn't download parameters.ini.\nUsing default values.",
     "Parameterdefinition konnte nicht heruntergeladen werden.\nVerwende default-Werte"},
    {220, "Wrong Parameters.ini loaded. Application is shutting down!",
     "Neue Parameterdefinition geladen. Anwendung bitte neu starten!"},
    {222, "Measurement start", "Messbeginn"},
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
    {1020, "it is not a regular file", "es ist keine gew\xC3\xB6hnliche Datei"},
    {1021, "it is larger than %1 MiB",
     "sie ist gr\xC3\xB6\xC3\x9F"
     "er als %1 MiB"},
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
    {1114, "%1 values were not received from the device; the file holds \"-error-\" for them.",
     "%1 Werte wurden nicht vom Ger\xC3\xA4t empfangen; die Datei enth\xC3\xA4lt f\xC3\xBCr sie "
     "\"-error-\"."},
    {1115, "%1 of %2 values", "%1 von %2 Werten"},
    {1116, "The parameter set was saved: ", "Die Parameterdatei wurde gespeichert: "},
    {1117, "The parameter set was sent: %1 of %2 values written.",
     "Die Parameterdatei wurde gesendet: %1 von %2 Werten geschrieben."},
    // The measurement windows and the spectrum.
    {1200, "The spectrum needs %1 values of the channel; it holds %2.",
     "Das Spektrum braucht %1 Werte des Kanals; er enth\xC3\xA4lt %2."},
    {1201, "The measurement has no sample rate (divider 0): it has no spectrum.",
     "Die Messung hat keine Abtastrate (Teiler 0): sie hat kein Spektrum."},
    {1202, "The chart could not be written.", "Das Diagramm konnte nicht geschrieben werden."},
    {1203, "Files of this type cannot be written here: ",
     "Dateien dieses Typs k\xC3\xB6nnen hier nicht geschrieben werden: "},
    {1204, "The file does not end where a measurement file of this kind ends. Nothing was read.",
     "Die Datei endet nicht dort, wo eine Messdatei dieser Art endet. Es wurde nichts gelesen."},
    {1205, "Interval is too large. Must be <= 2147483 s.",
     "Messintervall ist zu gro\xC3\x9F. Muss <= 2147483 s sein."},
    // Power-quality figures, derived channels and limit sets.
    {1500, "Derived channel %1: the channel %2 is not in the measurement.",
     "Abgeleiteter Kanal %1: der Kanal %2 ist nicht in der Messung."},
    {1501, "Derived channel %1: the identifier is already used by another channel.",
     "Abgeleiteter Kanal %1: die Kennung wird schon von einem anderen Kanal verwendet."},
    {1502, "Derived channel %1: its sources hold %2 and %3 values; it has the first %4.",
     "Abgeleiteter Kanal %1: seine Quellen enthalten %2 und %3 Werte; er hat die ersten %4."},
    {1503,
     "A derived channel is written ID=OP(A,B);UNIT;NAME (OP: sum, diff, product) or "
     "ID=scale(A,K[,OFFSET]);UNIT;NAME, not: ",
     "Ein abgeleiteter Kanal wird ID=OP(A,B);EINHEIT;NAME (OP: sum, diff, product) oder "
     "ID=scale(A,K[,OFFSET]);EINHEIT;NAME geschrieben, nicht: "},
    {1504, "Line %1 of %2: ", "Zeile %1 von %2: "},
    {1505,
     "Indicative only: one capture of a few mains periods, not the aggregation over 10 minutes that the "
     "standard measures with.",
     "Nur ein Anhaltswert: eine Aufnahme weniger Netzperioden, nicht die Aggregation \xC3\xBC"
     "ber 10 Minuten, mit der die Norm misst."},
    {1506, "Unknown limit set: ", "Unbekannter Grenzwertsatz: "},
    // The service report.
    {1750, "Service report", "Servicebericht"},
    {1751, "Created", "Erstellt"},
    {1752, "Connection", "Verbindung"},
    {1753, "Vendor", "Hersteller"},
    {1754, "Product", "Produkt"},
    {1755, "Firmware revision", "Firmware-Stand"},
    {1756, "Catalogue revision", "Katalog-Stand"},
    {1757, "Catalogue file", "Katalogdatei"},
    {1758, "the same as the device's", "wie der des Ger\xC3\xA4ts"},
    {1759, "differs from the device's", "weicht vom Ger\xC3\xA4t ab"},
    {1760, "Overview values",
     "Werte der \xC3\x9C"
     "bersicht"},
    {1761, "Parameter set", "Parametersatz"},
    {1762, "Event log (latest records)", "Ereignisspeicher (letzte Eintr\xC3\xA4ge)"},
    {1763, "What could not be read", "Was nicht gelesen werden konnte"},
    {1764, "Every part of this report was read.", "Jeder Teil dieses Berichts wurde gelesen."},
    {1765, "Summary", "Zusammenfassung"},
    {1766, "Waveforms", "Kurvenformen"},
    {1767, "Figures", "Kennwerte"},
    {1768, "Harmonics", "Oberschwingungen"},
    {1769, "Filter effectiveness", "Wirksamkeit des Filters"},
    {1770, "Phase", "Phase"},
    {1771, "Name", "Name"},
    {1772, "Value", "Wert"},
    {1773, "Unit", "Einheit"},
    {1774, "Factory value", "Werkseinstellung"},
    {1775, "Changed from the catalogue's factory value: %1",
     "Ge\xC3\xA4ndert gegen\xC3\xBC"
     "ber der Werkseinstellung des Katalogs: %1"},
    {1776, "RMS", "Effektivwert"},
    {1777, "Peak", "Spitzenwert"},
    {1778, "Mean", "Mittelwert"},
    {1779, "Frequency [Hz]", "Frequenz [Hz]"},
    {1780, "THD [%]", "THD [%]"},
    {1781, "Periods", "Perioden"},
    {1782, "Phase angle [\xC2\xB0]", "Phasenwinkel [\xC2\xB0]"},
    {1783, "DPF", "cos \xCF\x86"},
    {1784, "PF", "\xCE\xBB"},
    {1785, "P [kW]", "P [kW]"},
    {1786, "Q [kvar]", "Q [kvar]"},
    {1787, "S [kVA]", "S [kVA]"},
    {1788, "Order", "Ordnung"},
    {1789, "Limit", "Grenzwert"},
    {1790, "Verdict", "Bewertung"},
    {1791, "pass", "eingehalten"},
    {1792, "fail",
     "\xC3\xBC"
     "berschritten"},
    {1793, "\xE2\x80\x93", "\xE2\x80\x93"},
    {1794, "percent of the fundamental", "Prozent der Grundschwingung"},
    {1795, "percent of the maximum demand current IL", "Prozent des maximalen Laststroms IL"},
    {1796, "Mains voltages", "Netzspannungen"},
    {1797, "Mains currents", "Netzstr\xC3\xB6me"},
    {1798, "Load currents", "Laststr\xC3\xB6me"},
    {1799, "Other channels", "Weitere Kan\xC3\xA4le"},
    {1800, "Load current L%1 (mains less filter current)", "Laststrom L%1 (Netz- minus Filterstrom)"},
    {1801, "Captured for this report", "F\xC3\xBCr diesen Bericht aufgenommen"},
    {1802, "Sample rate", "Abtastrate"},
    {1803, "Time [ms]", "Zeit [ms]"},
    {1804, "Load current (without the filter)", "Laststrom (ohne Filter)"},
    {1805, "Mains current (with the filter)", "Netzstrom (mit Filter)"},
    {1806, "Reduction", "Minderung"},
    {1807, "No limit set was chosen: the harmonics are shown without verdicts.",
     "Es wurde kein Grenzwertsatz gew\xC3\xA4hlt: die Oberschwingungen stehen ohne Bewertung."},
    {1808, "Orders at which the load draws less than 0.5 % of its fundamental are not listed.",
     "Ordnungen unter 0,5 % der Grundschwingung des Laststroms sind nicht aufgef\xC3\xBChrt."},
    {1809, "Kind", "Art"},
    {1810, "Date", "Datum"},
    {1811, "Time", "Uhrzeit"},
    {1812, "Description", "Beschreibung"},
    {1813, "Operating hours", "Betriebsstunden"},
    {1814, "The event log holds no records.", "Der Ereignisspeicher enth\xC3\xA4lt keine Eintr\xC3\xA4ge."},
    {1815, "What", "Was"},
    {1816, "Why", "Warum"},
    {1817, "Device identification", "Ger\xC3\xA4teidentifikation"},
    {1818, "Parameter %1 %2", "Parameter %1 %2"},
    {1819, "Overview value %1 %2",
     "\xC3\x9C"
     "bersichtswert %1 %2"},
    {1820, "Event log", "Ereignisspeicher"},
    {1821, "Capture", "Aufnahme"},
    {1822, "Measurement file %1", "Messdatei %1"},
    {1823, "Derived channels of %1", "Abgeleitete Kan\xC3\xA4le von %1"},
    {1824, "The connection to the device was lost.", "Die Verbindung zum Ger\xC3\xA4t wurde unterbrochen."},
    {1825, "The device delivered no value.", "Das Ger\xC3\xA4t lieferte keinen Wert."},
    {1826, "The trigger did not fire within %1 s.", "Der Trigger l\xC3\xB6ste nicht innerhalb von %1 s aus."},
    {1827, "The device did not complete the capture.",
     "Das Ger\xC3\xA4t hat die Aufnahme nicht abgeschlossen."},
    {1828, "The catalogue has no mains voltage to trigger on.",
     "Der Katalog hat keine Netzspannung, auf die getriggert werden kann."},
    {1829, "Not read: the connection had been lost before.",
     "Nicht gelesen: die Verbindung war schon unterbrochen."},
    {1830, "Service report", "Servicebericht"},
    {1831, "Reading the device identification", "Ger\xC3\xA4teidentifikation lesen"},
    {1832, "Reading the overview values",
     "Werte der \xC3\x9C"
     "bersicht lesen"},
    {1833, "Reading the event log", "Ereignisspeicher lesen"},
    {1834, "Capture", "Aufnahme"},
    {1835, "Analysing", "Auswerten"},
    {1836, "The service report was saved: ", "Der Servicebericht wurde gespeichert: "},
    {1837, "%1 parts could not be read; they are listed at the end of this report.",
     "%1 Teile konnten nicht gelesen werden; sie stehen am Ende dieses Berichts."},
    {1838, "THD of the current in L%1: %2 % without the filter, %3 % with it",
     "THD des Stroms in L%1: %2 % ohne Filter, %3 % mit Filter"},
    {1839, "none: measurement files only", "keine: nur Messdateien"},
    {1840, "Measurement %1", "Messung %1"},
    {1841, "Filter currents", "Filterstr\xC3\xB6me"},
    {1842, "Harmonic order", "Ordnung"},
    {1843, "Harmonic current (RMS) [A]", "Oberschwingungsstrom (eff.) [A]"},
    {1844, "Share [%]", "Anteil [%]"},
    {1845, "Fundamental (RMS)", "Grundschwingung (eff.)"},
    {1846, "The device did not deliver its event log.",
     "Das Ger\xC3\xA4t lieferte seinen Ereignisspeicher nicht."},
    {1847, "%1 values, %2 ms", "%1 Werte, %2 ms"},
    {1848, "No verdict: the limits need the harmonic table of whole mains periods and a fundamental.",
     "Keine Bewertung: die Grenzwerte brauchen die Oberschwingungstabelle ganzer Netzperioden und eine "
     "Grundschwingung."},

    // Power-quality figures, limits, derived channels and the service report in the windows.
    {1850, "The derived channels could not be written beside the measurement: ",
     "Die abgeleiteten Kan\xC3\xA4le konnten nicht neben die Messung geschrieben werden: "},
    {1851, "Not every derived channel of the measurement could be shown:",
     "Nicht jeder abgeleitete Kanal der Messung konnte angezeigt werden:"},
    {1852,
     "The filter's effectiveness needs the mains current of a phase beside its load current, or beside its "
     "filter current (the load current is then the mains current less the filter current).",
     "Die Wirksamkeit des Filters braucht den Netzstrom einer Phase neben ihrem Laststrom oder neben ihrem "
     "Filterstrom (der Laststrom ist dann der Netzstrom minus dem Filterstrom)."},
    {1853, "Nothing to report: without a connection the report needs at least one measurement file.",
     "Nichts zu berichten: ohne Verbindung braucht der Bericht mindestens eine Messdatei."},

    {20001, "The file is damaged or is not a measurement file. What could be read is shown.",
     "Die Datei ist besch\xC3\xA4"
     "digt oder keine Messdatei. Was gelesen werden konnte, wird angezeigt."},
    {20002, "The measurement could not be written completely. The file was left as it was.",
     "Die Messung konnte nicht vollst\xC3\xA4ndig geschrieben werden. Die Datei blieb unver\xC3\xA4ndert."},
    // The connection: what came back instead of a reply, and the system's reasons for a failed open.
    {1400, "Received: ", "Empfangen: "},
    {1401, "No such file or directory", "Datei oder Verzeichnis nicht gefunden"},
    {1402, "Permission denied", "Keine Berechtigung"},
    {1403, "Device or resource busy", "Das Ger\xC3\xA4t oder die Ressource ist belegt"},
    {1404, "Connection refused", "Verbindung abgelehnt"},
    {1405, "Connection timed out",
     "Zeit\xC3\xBC"
     "berschreitung beim Verbindungsaufbau"},
    {1406, "No route to host", "Keine Route zum Zielrechner"},
    {1407, "Network is unreachable", "Das Netzwerk ist nicht erreichbar"},
    {1408, "Name or service not known", "Der Name oder der Dienst ist nicht bekannt"},
    {1409, "Temporary failure in name resolution",
     "Vor\xC3\xBC"
     "bergehender Fehler bei der Namensaufl\xC3\xB6sung"},
    {1410, "Reading the device identification ...", "Die Ger\xC3\xA4teidentifikation wird gelesen ..."},
    // Registers read and written as plain words (quirel-cli raw, the communication log).
    {1600, "Invalid value \"%1\": allowed are 0 to 65535 and -32768 to 32767",
     "Ung\xC3\xBCltiger Wert \"%1\": erlaubt sind 0 bis 65535 und -32768 bis 32767"},
    {1601, "Between 1 and %1 values are written at once.",
     "Es werden 1 bis %1 Werte auf einmal geschrieben."},
    {1602, "Invalid address \"%1\": allowed are 0 to 65535",
     "Ung\xC3\xBCltige Adresse \"%1\": erlaubt sind 0 bis 65535"},
    {1603, "Invalid count \"%1\": allowed are 1 to %2",
     "Ung\xC3\xBCltige Anzahl \"%1\": erlaubt sind 1 bis %2"},
    {1604, "%1 registers from address %2 run past the last address, 65535.",
     "%1 Register ab Adresse %2 reichen \xC3\xBC"
     "ber die letzte Adresse 65535 hinaus."},
    {1605, "Write to the device from address %1: %2?", "Ab Adresse %1 in das Ger\xC3\xA4t schreiben: %2?"},
    {1606, "Invalid function \"%1\": 3 or 4 reads, 16 writes",
     "Ung\xC3\xBCltige Funktion \"%1\": 3 oder 4 liest, 16 schreibt"},
    {1607, "The values were written, but reading them back failed: ",
     "Die Werte wurden geschrieben, aber das Zur\xC3\xBC"
     "cklesen ist fehlgeschlagen: "},
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
    // A plain search: a few hundred entries, and a table merged out of order loses no string.
    auto it =
        std::find_if(std::begin(kStrings), std::end(kStrings), [id](const Entry& e) { return e.id == id; });
    if (it == std::end(kStrings))
        return kEmpty;
    return language == kLanguageEnglish ? it->english : it->german;
}

const std::string& loadString(unsigned id) {
    return loadString(id, uiLanguage());
}

std::string fillString(unsigned id, std::initializer_list<std::string> args) {
    // One pass over the pattern: an argument that holds "%2" (a path, a user's text) stays as it is.
    const std::string& pattern = loadString(id);
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const auto n = static_cast<size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && n < args.size()) {
            text += args.begin()[n];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

} // namespace quirel
