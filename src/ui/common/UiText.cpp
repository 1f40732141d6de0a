#include "ui/common/UiText.h"

#include "base/StringTable.h"

#include <cstring>
#include <unordered_map>

namespace quirel::ui {
namespace {

struct Hash {
    size_t operator()(const char* s) const { return std::hash<std::string_view>()(s); }
};
struct Equal {
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) == 0; }
};

// English text -> German text.
const std::unordered_map<const char*, const char*, Hash, Equal>& GermanTexts() {
    static const std::unordered_map<const char*, const char*, Hash, Equal> texts = {
        // Menus
        {"&File", "&Datei"},
        {"Connection", "Verbindung"},
        {"Parameter", "Parameter"},
        {"Oscilloscope", "Oszilloskop"},
        {"Eventlog", "Ereignisspeicher"},
        {"Language", "Sprache"},
        {"&Help", "&Hilfe"},
        {"&Read parameter set from device", "Parameter von Gerät &lesen ..."},
        {"&Send parameter set to device", "Parameter in Gerät &senden ..."},
        {"&Open parameter set", "&Parameter Datei öffnen"},
        {"&Update Device Firmware", "&Update Geräte Firmware"},
        {"E&xit", "&Beenden"},
        {"Connect to device", "Verbindung mit Gerät herstellen"},
        {"Disconnect", "Verbindung trennen"},
        {"Settings...", "Einstellungen..."},
        {"Device parameters", "Geräteparameter"},
        {"Single measurement ...", "Einzelmessung ..."},
        {"Continuous measurement ...", "Dauermessung ..."},
        {"Show eventlog ...", "Ereignisspeicher anzeigen ..."},
        {"German", "Deutsch"},
        {"English", "Englisch"},
        {"&About Quirel Viewer Velorin...", "&Info über Quirel Viewer Velorin..."},
        {"Quirel Viewer Velorin Help", "Quirel Viewer Velorin Hilfe"},
        // Toolbar buttons and their prompts ("status prompt\ntool tip")
        {"Connect", "Verbinden"},
        {"Settings", "Einstellungen"},
        {"Refresh", "Aktualisieren"},
        {"Establish connection to device.\nConnect", "Verbindung mit Gerät herstellen.\nVerbinden"},
        {"Close connection to device.\nDisconnect", "Verbindung mit Gerät trennen.\nTrennen"},
        {"Change connection settings.\nSettings", "Verbindungseinstellungen ändern.\nEinstellungen"},
        {"Show device parameters.\nDevice parameters", "Geräteparameter anzeigen.\nGeräteparameter"},
        {"Refresh screen.\nrefresh", "Anzeige aktualisieren.\nAktualisieren"},
        // Status bar
        {"Ready", "Bereit"},
        {"Device state unknown", "Gerätestatus unbekannt"},
        {"Connection established", "Verbindung hergestellt"},
        {"No connection", "Keine Verbindung"},
        {"No trigger", "Kein Trigger"},
        {"Trigger active", "Trigger aktiv"},
        {"Trigger set-off", "Trigger ausgelöst"},
        {"Reading trace data ...", "Tracedaten auslesen ..."},
        {"Measurement running", "Dauermessung läuft"},
        {"No running measurement", "keine Messung"},
        // Messages
        {"Please restart the application for the changes to take effect.",
         "Bitte starten Sie die Anwendung neu, damit die Änderungen wirksam werden."},
        {"Failed to create empty document.", "Leeres Dokument konnte nicht erstellt werden."},
        {"The demo simulator could not be started: ", "Der Demo-Simulator konnte nicht gestartet werden: "},
        {"Connecting to %1 ...", "Verbindung mit %1 wird hergestellt ..."},
        {"Connecting to %1 at %2 baud ...", "Verbindung über %1 mit %2 Baud wird hergestellt ..."},
        {"Disconnecting ...", "Verbindung wird getrennt ..."},
        {"Communicating with the device ...", "Kommunikation mit dem Gerät ..."},
        {"No program to show the manual was found. The manual is here: %1",
         "Es wurde kein Programm gefunden, das das Handbuch anzeigt. Das Handbuch liegt hier: %1"},
        {"No manual is installed (\"%1\" was not found in %2, nor %3).",
         "Kein Handbuch installiert (\"%1\" wurde in %2 nicht gefunden, %3 ebenso wenig)."},
        // About box
        {"About Quirel Viewer Velorin", "Info über Quirel Viewer Velorin"},
        {"Service and diagnostics tool for active harmonic filters.",
         "Service- und Diagnoseprogramm für aktive Oberschwingungsfilter."},
        // Connection settings
        {"Connection to filter", "Verbindung zum aktiven Filter"},
        {"Connection type", "Verbindungstyp"},
        {"Modbus RTU (serial)", "Modbus RTU (seriell)"},
        {"Data Bits", "Datenbits"},
        {"Stop Bits", "Stoppbits"},
        {"Parity", "Parität"},
        {"OK", "OK"},
        {"Cancel", "Abbrechen"},
        // The device search and the connection test
        {"Search ...", "Suchen ..."},
        {"Test", "Testen"},
        {"Search for devices", "Geräte suchen"},
        {"Searching %1 ...", "Suche an %1 ..."},
        {"%1slave %2 (%3 of %4)", "%1Slave %2 (%3 von %4)"},
        {"Stop", "Anhalten"},
        {"Answer", "Antwort"},
        {"Normal reply", "Normale Antwort"},
        {"Vendor", "Hersteller"},
        {"Product", "Produkt"},
        {"Search finished: %1 device(s) found.", "Suche beendet: %1 Gerät(e) gefunden."},
        {"Search stopped: %1 device(s) found.", "Suche angehalten: %1 Gerät(e) gefunden."},
        {"The port refused %1 line settings: %2", "Die Schnittstelle lehnte %1 Leitungseinstellungen ab: %2"},
        {"Testing the connection ...", "Die Verbindung wird getestet ..."},
        {"Test cancelled.", "Test abgebrochen."},
        {"No answer from slave %1:", "Keine Antwort von Slave %1:"},
        {"Slave %1 answered.", "Slave %1 hat geantwortet."},
        {"Its answer: %1", "Seine Antwort: %1"},
        {"Vendor: %1\nProduct: %2\nRevision: %3", "Hersteller: %1\nProdukt: %2\nRevision: %3"},
        {"No identification: %1", "Keine Identifikation: %1"},
        // Device parameters window and edit dialog
        {"  Folder", "  Ordner"},
        {"  Parameters", "  Parameter"},
        {"Close", "Schließen"},
        {"Edit value", "Wert ändern"},
        {"Name:", "Name:"},
        {"Value:", "Wert:"},
        {"PC time", "PC-Zeit"},
        {"The new value is being transfered to the filter by pressing 'OK'.",
         "Mit 'OK' wird der neue Wert zum Filter übertragen."},
        // Event log window
        {"Update\n(latest records)", "Aktualisieren\n(letzte Einträge)"},
        {"Update\n(all records)", "Aktualisieren\n(alle Einträge)"},
        {"Save", "Speichern"},
        {"Open", "Öffnen"},
        {"Show:", "Anzeigen:"},
        {"Search", "Suchen"},
        {"State", "Zustand"},
        {"Date", "Datum"},
        {"Time", "Uhrzeit"},
        {"Description", "Beschreibung"},
        {"Op. hour", "Betriebsstd."},
        {"Error", "Fehler"},
        {"Status", "Status"},
        {"Info", "Info"},
        // Measurement settings
        {"Trigger Channel", "Triggerkanal"},
        {"Trigger Level", "Triggerschwelle"},
        {"Mode", "Modus"},
        {"more than", "größer"},
        {"less than", "kleiner"},
        {"Sample Rate", "Abtastrate"},
        {"Delay", "Verzögerung"},
        {"Max.  512 Points", "Max.  512 Punkte"},
        {"Interval", "Intervall"},
        {"Please enter an integer.", "Bitte geben Sie eine ganze Zahl ein."},
        {"Please enter an integer between %1 and %2.",
         "Bitte geben Sie eine ganze Zahl zwischen %1 und %2 ein."},
        {"Please enter a number.", "Bitte geben Sie eine Zahl ein."},
        // Firmware update
        {"Attention: Only for SERVICE", "Achtung: Nur für SERVICE"},
        {"1. Switch Control to 'OFF' (Terminal or Parameter 202)",
         "1. Gerät ausschalten (Terminal oder Parameter 202)"},
        {"2. Change Baudrate (Parameter 231) to 38400b/s",
         "2. Baudrate (Parameter 231) auf 38400b/s stellen"},
        {"Please select an avaiable COM Port", "Bitte einen COM Port wählen"},
        {"C&ancel", "Abbrechen"},
        {"Wait please!", "Bitte warten!"},
        {"If the last download was unsuccesfully, please power OFF and ON device!",
         "Wenn der letzte Download nicht erfolgreich war, bitte Gerät aus und anschalten!"},
        // Parameter sets and the catalogue download
        {"New Parameters.ini found. Download and restart the application?",
         "Aktuellere Parameterdefinitionen im Gerät gefunden. Neue Definition herunterladen?"},
        {"parameter set", "Parameter Datei"},
        {"Data to filter", "Daten zum Filter"},
        {"Save parameter set", "Parameterdatei speichern"},
        {"Open parameter set", "Parameterdatei öffnen"},
        {"Save as text...", "Als Text speichern..."},
        {"Text files (*.txt)", "Textdateien (*.txt)"},
        {"Value to send", "Zu sendender Wert"},
        {"On the device now", "Jetzt im Gerät"},
        {"will not be sent", "wird nicht gesendet"},
        {"To send: %1 values, %2 of which change what the device holds now. Not to be sent: %3.",
         "Zu senden: %1 Werte, davon ändern %2 den Wert im Gerät. Nicht gesendet werden: %3."},
        // Measurement windows
        {"&Close", "&Schließen"},
        {"Measurement file", "Messdatei"},
        {"Measurement", "Messung"},
        {"View", "Ansicht"},
        {"Print", "Drucken"},
        {"About", "Info"},
        {"Configure measurement", "Messung konfigurieren"},
        {"Start", "Start"},
        {"Left", "Links"},
        {"Right", "Rechts"},
        {"Up", "Nach oben"},
        {"Down", "Nach unten"},
        {"Zoom in", "Vergrößern"},
        {"Zoom out", "Verkleinern"},
        {"Full screen", "Gesamtansicht"},
        {"Gain:", "Verstärkung:"},
        {"Offset:", "Offset:"},
        {"Axis:", "Achse:"},
        {"Note: For FFT analysis please use sample rate 4, 5, 8, 10, 12 or 15.",
         "Hinweis: Für FFT Analyse wird Sample Rate 4, 5, 8, 10, 12 oder 15 empfohlen"},
        {"CSV, visible range (*.csv)", "CSV, sichtbarer Bereich (*.csv)"},
        {"Click: cursor C1, right click: C2, drag: move the view, wheel: zoom (Ctrl: values); click a line "
         "for "
         "gain, offset and axis",
         "Klick: Cursor C1, Rechtsklick: C2, Ziehen: Ansicht verschieben, Mausrad: Zoom (Strg: Werte); Klick "
         "auf "
         "eine Kurve: Verstärkung, Offset und Achse"},
        // Spectrum
        {"Harmonics", "Oberschwingungen"},
        {"Save as ...", "Speichern unter ..."},
        {"Order", "Ordnung"},
        {"% of h1", "% von h1"},
        {"%1 mains periods analysed.", "%1 Netzperioden analysiert."},
        {"The samples hold %1 mains periods, no whole number: the harmonics lie between the bins. Harmonics "
         "and THD are shown with sample rate 4, 5, 8, 10, 12 or 15.",
         "Die Abtastwerte umfassen %1 Netzperioden, keine ganze Zahl: die Oberschwingungen liegen zwischen "
         "den Frequenzpunkten. Oberschwingungen und THD werden mit Sample Rate 4, 5, 8, 10, 12 oder 15 "
         "angezeigt."},
        {"Logarithmic amplitude", "Amplitude logarithmisch"},
        // Connection settings, communication log and raw registers
        {"Reply time-out (ms)", "Antwort-Timeout (ms)"},
        {"Tries", "Versuche"},
        {"Communication log", "Kommunikationsprotokoll"},
        {"Pause", "Pause"},
        {"Clear", "Leeren"},
        {"Errors only", "Nur Fehler"},
        {"Dropped: %1", "Verworfen: %1"},
        {"Dir", "Ri."},
        {"Bytes", "Bytes"},
        {"Decoding", "Bedeutung"},
        {"Raw registers", "Register direkt"},
        {"Function", "Funktion"},
        {"Address", "Adresse"},
        {"Count", "Anzahl"},
        {"Values", "Werte"},
        {"Send", "Senden"},
        {"3 Read holding registers", "3 Holding-Register lesen"},
        {"4 Read input registers", "4 Input-Register lesen"},
        {"16 Write holding registers", "16 Holding-Register schreiben"},
        // Figures, derived channels, limits and the filter's effectiveness in the measurement windows
        {"Analysis", "Auswertung"},
        {"Figures", "Kennwerte"},
        {"Derived channels ...", "Abgeleitete Kan\xC3\xA4le ..."},
        {"Filter effectiveness ...", "Wirksamkeit des Filters ..."},
        {"Channel", "Kanal"},
        {"Unit", "Einheit"},
        {"Minimum", "Minimum"},
        {"Maximum", "Maximum"},
        {"Over the whole mains periods of each channel, values as stored",
         "\xC3\x9C"
         "ber die ganzen Netzperioden jedes Kanals, Werte wie gespeichert"},
        {"Pair", "Paar"},
        {"Add pair", "Paar hinzuf\xC3\xBCgen"},
        {"Remove pair", "Paar entfernen"},
        {"Voltage and current of a phase", "Spannung und Strom einer Phase"},
        {"Visible range: %1 values, %2 to %3 %4", "Sichtbarer Bereich: %1 Werte, %2 bis %3 %4"},
        {"Visible range: no values", "Sichtbarer Bereich: keine Werte"},
        {"Derived channels", "Abgeleitete Kan\xC3\xA4le"},
        {"Derived channels of this measurement", "Abgeleitete Kan\xC3\xA4le dieser Messung"},
        {"New derived channel", "Neuer abgeleiteter Kanal"},
        {"Remove", "Entfernen"},
        {"Add", "Hinzuf\xC3\xBCgen"},
        {"Operation", "Rechenart"},
        {"Sum a + b", "Summe a + b"},
        {"Difference a \xE2\x88\x92 b", "Differenz a \xE2\x88\x92 b"},
        {"Product a \xC3\x97 b", "Produkt a \xC3\x97 b"},
        {"Scaled k \xC3\x97 a + offset", "Skaliert k \xC3\x97 a + Offset"},
        {"Offset", "Offset"},
        {"Name", "Name"},
        {"Identifier", "Kennung"},
        {"Sum", "Summe"},
        {"Difference", "Differenz"},
        {"Scaled", "Skaliert"},
        {"Load current L%1", "Laststrom L%1"},
        {"Derived channels are computed from the values as stored, drawn and exported like captured ones, "
         "and "
         "saved beside the measurement file in FILE.derived, never in the measurement file itself.",
         "Abgeleitete Kan\xC3\xA4le werden aus den gespeicherten Werten berechnet, wie aufgenommene "
         "gezeichnet "
         "und exportiert und neben der Messdatei in DATEI.derived gespeichert, nie in der Messdatei selbst."},
        {"None", "Keine"},
        {"Limits", "Grenzwerte"},
        {"currents", "Str\xC3\xB6me"},
        {"voltages", "Spannungen"},
        {"Bus voltage", "Netzspannung"},
        {"% of IL", "% von IL"},
        {"Limit [%]", "Grenzwert [%]"},
        {"Harmonic current kept from the mains", "Vom Netz ferngehaltener Oberschwingungsstrom"},
        {"orders 2 to 40, as the sum of their squares", "Ordnungen 2 bis 40, als Summe ihrer Quadrate"},
        {"Without [A]", "Ohne [A]"},
        {"With [A]", "Mit [A]"},
        // The service report
        {"Service report ...", "Servicebericht ..."},
        {"Service report", "Servicebericht"},
        {"From the device", "Vom Ger\xC3\xA4t"},
        {"The identification, the overview values, the parameter set and the latest event-log records are "
         "read "
         "from the connected device.",
         "Identifikation, \xC3\x9C"
         "bersichtswerte, Parametersatz und die letzten Eintr\xC3\xA4ge des "
         "Ereignisspeichers werden vom verbundenen Ger\xC3\xA4t gelesen."},
        {"Not connected: the report holds the measurement files only.",
         "Nicht verbunden: der Bericht enth\xC3\xA4lt nur die Messdateien."},
        {"Take a new capture of the mains voltages, mains currents and filter currents",
         "Eine neue Aufnahme der Netzspannungen, Netzstr\xC3\xB6me und Filterstr\xC3\xB6me machen"},
        {"Measurement files", "Messdateien"},
        {"Add ...", "Hinzuf\xC3\xBCgen ..."},
        {"Mains voltages", "Netzspannungen"},
        {"Mains currents", "Netzstr\xC3\xB6me"},
        {"Create report ...", "Bericht erstellen ..."},
        {"Save service report", "Servicebericht speichern"},
        {"Print ...", "Drucken ..."},
        {"Save as PDF ...", "Als PDF speichern ..."},
        {"Save as PDF", "Als PDF speichern"},
    };
    return texts;
}

} // namespace

QString Tx(const char* english) {
    if (uiLanguage() != kLanguageEnglish) {
        const auto& german = GermanTexts();
        auto it = german.find(english);
        if (it != german.end())
            return QString::fromUtf8(it->second);
    }
    return QString::fromUtf8(english);
}

QString ResourceText(unsigned id) {
    return QString::fromStdString(loadString(id));
}

} // namespace quirel::ui
