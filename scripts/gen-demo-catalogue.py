#!/usr/bin/env python3
"""Generates resources/Parameters.ini, the demo catalogue of an active harmonic filter.

The .ini is the file that ships; this script only keeps it consistent (register layout, both
languages, overview presence lines). Register rule: ModbusAddress = 10 * identifier + 1, so a
text parameter (data type 9, ten registers) is shown from the slot its identifier names, and the
device state (identifier 20) sits at register 201, the register the bootloader probe reads.

The device writes its catalogue in Windows-1252 with CRLF line ends; the text is written as
UTF-8 first and converted with iconv so that a character outside Windows-1252 fails loudly.

Usage: scripts/gen-demo-catalogue.py [output path]   (default resources/Parameters.ini)
"""

import os
import subprocess
import sys
import tempfile

# Identifiers of the values the overview picture shows; each gets a "ParameterId=" line.
OVERVIEW_IDS = [20, 21, 100, 102, 103, 104, 109, 110, 111, 112, 120, 121, 122, 130, 131, 132,
                140, 141, 142, 170, 171, 172, 300, 310, 400, 401, 402, 403, 405, 410]

DEVICE_ID = [("VendorName", "Tolvane International Ltd"),
             ("ProductCode", "AHF-100"),
             ("Revision", "V2.14")]

ON_OFF = [("Ein", "ON"), ("Aus", "OFF")]


def p(ident, de, en, dtype, access="ro", unit="", prec=0, values=None, help_de="", help_en=""):
    return dict(id=ident, de=de, en=en, type=dtype, access=access, unit=unit, prec=prec,
                values=values or [], help_de=help_de, help_en=help_en)


# Factory values of the settings, in a parameter-set file's text form (a value text as "index;text").
# The simulated device starts "as commissioned", so where it differs the service report marks the change.
DEFAULTS = {200: "0;english", 201: "1;high active", 202: "3;terminal strip", 205: "10",
            544: "0;ON", 230: "1", 231: "1;19200", 232: "0;8N1", 233: "1000",
            240: "192.168.0.100", 241: "1;OFF", 242: "255.255.255.0", 243: "192.168.0.1", 244: "502",
            300: "0;loadside", 310: "500", 311: "1;5 A", 540: "0;3 CT (L1, L2, L3)", 312: "0",
            410: "0;ON", 535: "0;H2-H25", 400: "100", 401: "0,95", 402: "1,00",
            403: "0;DPF range", 405: "1;OFF", 407: "1;16 kHz", 411: "100", 538: "0;50 Hz",
            546: "0;ON", 547: "0;BW 1", 510: "75", 511: "85", 520: "85", 521: "110",
            525: "02:00:00"}


def phases(base, de, en, dtype, unit, prec, help_de, help_en, suffix=("L1", "L2", "L3")):
    return [p(base + i, f"{de} {s}", f"{en} {s}", dtype, "ro", unit, prec, None,
              f"{help_de} {s}.", f"{help_en} {s}.") for i, s in enumerate(suffix)]


DEVICE_STATES = [("Initialisierung", "Initialising"), ("Bereit", "Ready"),
                 ("Vorladung", "Precharging"), ("Betrieb", "Running"),
                 ("Störung", "Fault"), ("Gesperrt", "Disabled"), ("Update", "Update")]

STATE_DETAILS = [("kein Fehler", "no fault"), ("Überstrom", "Overcurrent"),
                 ("Zwischenkreis Überspannung", "DC link overvoltage"),
                 ("Zwischenkreis Unterspannung", "DC link undervoltage"),
                 ("Übertemperatur Kühlkörper", "Heat sink overtemperature"),
                 ("Netzausfall", "Mains failure"), ("Drehfeld falsch", "Wrong phase sequence"),
                 ("Wandlerfehler", "Current transformer fault"),
                 ("Netzfrequenz außerhalb", "Mains frequency out of range"),
                 ("Lüfterstörung", "Fan fault"), ("Externe Abschaltung", "External shutdown"),
                 ("Kommunikationsfehler", "Communication fault")]

HARMONICS = [(161, 3), (162, 5), (163, 7), (164, 11), (165, 13), (166, 17), (167, 19),
             (168, 23), (169, 25)]

# Folder tree: (section, German name, English name, subfolders, parameters).
DEVICE_INFO = ("DeviceInfo", "Typenschild", "Identification", [], [
    p(30, "Seriennummer", "Serial number", 9, "ro", help_de="Seriennummer des Geräts.",
      help_en="Serial number of the device."),
    p(31, "Firmwareversion", "Firmware version", 9, "ro",
      help_de="Version der Gerätefirmware.", help_en="Version of the device firmware."),
    p(32, "Hardwarestand", "Hardware revision", 5, "const",
      help_de="Revisionsstand der Steuerplatine.", help_en="Revision of the control board."),
    p(33, "Herstelldatum", "Production date", 11, "const",
      help_de="Datum und Uhrzeit der Endprüfung im Werk.",
      help_en="Date and time of the final factory test."),
    p(34, "Bootloaderversion", "Bootloader version", 6, "const",
      help_de="Version des seriellen Bootloaders (z. B. 11 für 1.1).",
      help_en="Version of the serial bootloader (e.g. 11 for 1.1)."),
])

COUNTERS = ("DeviceCounters", "Zähler", "Counters", [], [
    p(35, "Betriebsstunden", "Operating hours", 7, "ro", "h",
      help_de="Summe der Stunden im Zustand Betrieb.", help_en="Total hours in the state Running."),
    p(36, "Anzahl Netzzuschaltungen", "Number of mains connections", 7, "ro",
      help_de="Wie oft das Filter ans Netz geschaltet wurde.",
      help_en="How often the filter was connected to the mains."),
    p(37, "Anzahl Störungen", "Number of faults", 5, "ro",
      help_de="Anzahl der Störabschaltungen seit Auslieferung.",
      help_en="Number of fault shutdowns since delivery."),
    p(38, "Zeit seit Einschalten", "Time since power-on", 13, "ro",
      help_de="Laufzeit der Steuerung seit dem letzten Einschalten.",
      help_en="Run time of the control since the last power-on."),
])

DEVICE_DATA = ("DeviceData", "Gerätedaten", "Device data", [DEVICE_INFO, COUNTERS], [
    p(40, "Gerätezeit", "Device clock", 11, "rw",
      help_de="Datum und Uhrzeit der Geräteuhr (ohne Zeitzone).",
      help_en="Date and time of the device clock (no time zone)."),
])

MV_MAINS = ("MeasuredMains", "Netz", "Mains", [], [
    p(100, "Netzfrequenz", "Mains frequency", 8, "ro", "Hz", 2,
      help_de="Gemessene Frequenz der Netzspannung.", help_en="Measured frequency of the mains voltage."),
    p(102, "cos phi", "DPF", 8, "ro", "", 2,
      help_de="Verschiebungsfaktor (cos phi) der Grundschwingung am Netz.",
      help_en="Displacement power factor of the fundamental at the mains."),
    p(106, "Wirkleistung", "Active power", 4, "ro", "W",
      help_de="Wirkleistung am Netzanschluss, Bezug positiv.",
      help_en="Active power at the mains connection, import positive."),
    p(107, "Blindleistung", "Reactive power", 4, "ro", "var",
      help_de="Grundschwingungs-Blindleistung, induktiv positiv.",
      help_en="Fundamental reactive power, inductive positive."),
    p(108, "Scheinleistung", "Apparent power", 7, "ro", "VA",
      help_de="Scheinleistung am Netzanschluss.", help_en="Apparent power at the mains connection."),
    p(109, "Drehfeld", "Rotating field", 6, "ro",
      values=[("rechts", "clockwise"), ("links", "anticlockwise"), ("unbekannt", "unknown")],
      help_de="Phasenfolge der Netzspannung; erforderlich ist ein Rechtsdrehfeld.",
      help_en="Phase sequence of the mains voltage; a clockwise field is required."),
] + phases(110, "Netzspannung", "Mains voltage", 8, "V", 1,
           "Effektivwert der Netzspannung gegen N,", "RMS mains voltage to neutral,")
  + phases(113, "Außenleiterspannung", "Line voltage", 5, "V", 0,
           "Effektivwert der verketteten Spannung", "RMS line-to-line voltage",
           ("L1-L2", "L2-L3", "L3-L1"))
  + phases(120, "Netzstrom", "Mains current", 8, "A", 1,
           "Effektivwert des Netzstroms", "RMS mains current")
  + phases(123, "Netzstrom Grundschwingung", "Mains current fundamental", 8, "A", 1,
           "Grundschwingungsanteil des Netzstroms", "Fundamental part of the mains current")
  + [p(126, "Netzstrom N", "Mains current N", 8, "ro", "A", 1,
       help_de="Effektivwert des Stroms im Neutralleiter auf der Netzseite.",
       help_en="RMS current in the neutral conductor on the mains side.")])

MV_LOAD = ("MeasuredLoad", "Last", "Load", [],
           phases(130, "Laststrom", "Load current", 8, "A", 1,
                  "Effektivwert des Laststroms", "RMS load current")
           + [p(133, "Laststrom N", "Load current N", 8, "ro", "A", 1,
                help_de="Effektivwert des Laststroms im Neutralleiter.",
                help_en="RMS load current in the neutral conductor.")])

MV_FILTER = ("MeasuredFilter", "Filter", "Filter", [], [
    p(103, "Zwischenkreisspannung", "DC link voltage", 8, "ro", "V", 0,
      help_de="Spannung des Gleichspannungszwischenkreises (Sollwert etwa 700 V).",
      help_en="Voltage of the DC link (set point about 700 V)."),
] + phases(140, "Filterstrom", "Filter current", 8, "A", 1,
           "Effektivwert des eingespeisten Filterstroms", "RMS injected filter current")
  + [p(143, "Filterstrom N", "Filter current N", 8, "ro", "A", 1,
       help_de="Effektivwert des Filterstroms im Neutralleiter.",
       help_en="RMS filter current in the neutral conductor."),
     p(145, "Zwischenkreisspannung oben", "DC link voltage upper half", 5, "ro", "V",
       help_de="Spannung der oberen Kondensatorbank.", help_en="Voltage of the upper capacitor bank."),
     p(146, "Zwischenkreisspannung unten", "DC link voltage lower half", 5, "ro", "V",
       help_de="Spannung der unteren Kondensatorbank.", help_en="Voltage of the lower capacitor bank."),
     p(150, "Kühlkörpertemperatur", "Heat sink temperature", 2, "ro", "degree Celsius",
       help_de="Temperatur des Kühlkörpers der Leistungshalbleiter.",
       help_en="Temperature of the power semiconductor heat sink."),
     p(151, "Innenraumtemperatur", "Cabinet temperature", 2, "ro", "degree Celsius",
       help_de="Lufttemperatur im Schaltschrank.", help_en="Air temperature inside the cabinet."),
     p(152, "Lüfterdrehzahl", "Fan speed", 5, "ro", "1/min",
       help_de="Drehzahl des Hauptlüfters.", help_en="Speed of the main fan."),
     p(153, "Drosseltemperatur", "Choke temperature", 3, "ro", "degree Celsius",
       help_de="Temperatur der Netzdrossel.", help_en="Temperature of the line choke.")])

MV_HARMONICS = ("MeasuredHarmonics", "Oberschwingungen", "Harmonics", [],
                [p(170 + i, f"THDi {s}", f"THDi {s}", 8, "ro", "%", 1,
                   help_de=f"Gesamte harmonische Verzerrung des Netzstroms {s}.",
                   help_en=f"Total harmonic distortion of the mains current {s}.")
                 for i, s in enumerate(("L1", "L2", "L3"))]
                + [p(173 + i, f"THDu {s}", f"THDu {s}", 8, "ro", "%", 1,
                     help_de=f"Gesamte harmonische Verzerrung der Netzspannung {s}.",
                     help_en=f"Total harmonic distortion of the mains voltage {s}.")
                   for i, s in enumerate(("L1", "L2", "L3"))]
                + [p(ident, f"Netzstrom L1 {h}. Harmonische", f"Mains current L1 harmonic {h}",
                     8, "ro", "A", 1,
                     help_de=f"Effektivwert der {h}. Harmonischen des Netzstroms L1.",
                     help_en=f"RMS value of harmonic {h} of the mains current L1.")
                   for ident, h in HARMONICS])

MV_INSTANT = ("MeasuredInstant", "Momentanwerte", "Instantaneous values", [],
              [p(180 + i, f"Momentanwert Netzstrom {s}", f"Instantaneous mains current {s}",
                 8, "ro", "A", 1, help_de=f"Abtastwert des Netzstroms {s} für den Trace.",
                 help_en=f"Sample of the mains current {s} for the trace.")
               for i, s in enumerate(("L1", "L2", "L3"))]
              + [p(183 + i, f"Momentanwert Netzspannung {s}", f"Instantaneous mains voltage {s}",
                   8, "ro", "V", 1, help_de=f"Abtastwert der Netzspannung {s} gegen N.",
                   help_en=f"Sample of the mains voltage {s} to neutral.")
                 for i, s in enumerate(("L1", "L2", "L3"))]
              + [p(186 + i, f"Momentanwert Filterstrom {s}", f"Instantaneous filter current {s}",
                   8, "ro", "A", 1, help_de=f"Abtastwert des Filterstroms {s}.",
                   help_en=f"Sample of the filter current {s}.")
                 for i, s in enumerate(("L1", "L2", "L3"))]
              + [p(189, "Momentanwert Zwischenkreis", "Instantaneous DC link voltage", 8, "ro",
                   "V", 0, help_de="Abtastwert der Zwischenkreisspannung.",
                   help_en="Sample of the DC link voltage.")])

MEASURED = ("MeasuredValues", "Messwerte", "Measured values",
            [MV_MAINS, MV_LOAD, MV_FILTER, MV_HARMONICS, MV_INSTANT], [
                p(20, "Gerätezustand", "Device state", 6, "ro", values=DEVICE_STATES,
                  help_de="Betriebszustand des Filters.", help_en="Operating state of the filter."),
                p(21, "Zustandsdetail", "State detail", 6, "ro", values=STATE_DETAILS,
                  help_de="Ursache des aktuellen Zustands bzw. der letzten Störung.",
                  help_en="Cause of the present state or of the last fault."),
                p(104, "Auslastung", "Output", 8, "ro", "%", 0,
                  help_de="Ausgangsstrom bezogen auf den Nennstrom des Filters.",
                  help_en="Output current relative to the rated current of the filter."),
            ])

CO_GENERAL = ("CommGeneral", "Allgemein", "General", [], [
    p(200, "Sprache", "Language", 6, "rw", values=[("Englisch", "english"), ("Deutsch", "german")],
      help_de="Sprache der Bedieneinheit am Gerät.", help_en="Language of the device's operator panel."),
    p(201, "Logik Freigabeeingang", "Enable input logic", 6, "rw",
      values=[("low aktiv", "low active"), ("high aktiv", "high active")],
      help_de="Signalpegel, bei dem der Freigabeeingang der Klemmleiste wirkt.",
      help_en="Signal level at which the enable input of the terminal strip acts."),
    p(202, "Steuerung", "Control", 6, "rw",
      values=[("Schalter S1", "Switch S1"), ("direkt AUS", "direct OFF"),
              ("direkt EIN", "direct ON"), ("Klemmleiste", "terminal strip")],
      help_de="Quelle des Einschaltbefehls: Schalter S1, direkt per Parameter oder Klemmleiste.",
      help_en="Source of the start command: switch S1, directly by parameter or terminal strip."),
    p(205, "Anlaufverzögerung", "Start delay", 5, "rw", "s",
      help_de="Wartezeit nach Netzwiederkehr bis zum Zuschalten (0 bis 600 s).",
      help_en="Delay after mains return before connecting (0 to 600 s)."),
    p(544, "Automatischer Wiederanlauf", "Automatic restart", 6, "rw", values=ON_OFF,
      help_de="Nach Netzausfall selbständig wieder anlaufen.",
      help_en="Restart by itself after a mains failure."),
    p(210, "Gerätetyp", "Device type", 6, "const",
      values=[("AHF 30A", "AHF 30A"), ("AHF 60A", "AHF 60A"), ("AHF 100A", "AHF 100A"),
              ("AHF 150A", "AHF 150A"), ("AHF 200A", "AHF 200A")],
      help_de="Baugröße des Filters, im Werk festgelegt.",
      help_en="Size of the filter, set in the factory."),
    p(220, "Nennstrom", "Rated current", 6, "const", "A",
      help_de="Nennstrom des Filters je Phase, im Werk festgelegt.",
      help_en="Rated current of the filter per phase, set in the factory."),
])

CO_COMM = ("CommCommunication", "Kommunikation", "Communication", [], [
    p(230, "Modbus-Adresse", "Modbus address", 5, "rw",
      help_de="Slave-Adresse für Modbus RTU (1 bis 247).",
      help_en="Slave address for Modbus RTU (1 to 247)."),
    p(231, "Baudrate", "Baud rate", 6, "rw", "bit/s",
      values=[(b, b) for b in ("9600", "19200", "38400", "57600", "115200")],
      help_de="Übertragungsrate der seriellen Schnittstelle; für Firmware-Updates 38400.",
      help_en="Transmission rate of the serial interface; 38400 for firmware updates."),
    p(232, "Datenformat", "Data format", 6, "rw",
      values=[(f, f) for f in ("8N1", "8E1", "8O1", "8N2")],
      help_de="Datenbits, Parität und Stoppbits der seriellen Schnittstelle.",
      help_en="Data bits, parity and stop bits of the serial interface."),
    p(233, "Kommunikations-Timeout", "Communication time-out", 6, "rw", "ms",
      help_de="Abschaltung, wenn so lange keine Anfrage kommt (0 = aus).",
      help_en="Shutdown when no request arrives for this long (0 = never)."),
    p(240, "IP-Adresse", "IP address", 7, "rw",
      help_de="IPv4-Adresse der Ethernet-Schnittstelle.",
      help_en="IPv4 address of the Ethernet interface."),
    p(241, "DHCP", "DHCP", 6, "rw", values=ON_OFF,
      help_de="IP-Adresse per DHCP beziehen.", help_en="Obtain the IP address by DHCP."),
    p(242, "Subnetzmaske", "Subnet mask", 7, "rw",
      help_de="IPv4-Subnetzmaske.", help_en="IPv4 subnet mask."),
    p(243, "Gateway", "Gateway", 7, "rw",
      help_de="IPv4-Adresse des Standard-Gateways.", help_en="IPv4 address of the default gateway."),
    p(244, "Modbus-TCP-Port", "Modbus TCP port", 6, "rw",
      help_de="TCP-Port des Modbus-Servers (Standard 502).",
      help_en="TCP port of the Modbus server (default 502)."),
])

CO_CT = ("CommTransformers", "Stromwandler", "Current transformers", [], [
    p(300, "Wandlerposition", "CT position", 6, "rw",
      values=[("Lastseite", "loadside"), ("Netzseite", "mainside"), ("AUS", "OFF")],
      help_de="Einbauort der Stromwandler: lastseitig oder netzseitig vom Filteranschluss.",
      help_en="Where the current transformers are fitted: load or mains side of the filter."),
    p(310, "Wandler Primärstrom", "CT primary current", 6, "rw", "A",
      help_de="Primärnennstrom der externen Stromwandler.",
      help_en="Rated primary current of the external current transformers."),
    p(311, "Wandler Sekundärstrom", "CT secondary current", 6, "rw",
      values=[("1 A", "1 A"), ("5 A", "5 A")],
      help_de="Sekundärnennstrom der externen Stromwandler.",
      help_en="Rated secondary current of the external current transformers."),
    p(540, "Wandleranzahl", "Number of CTs", 6, "rw",
      values=[("3 W. (L1, L2, L3)", "3 CT (L1, L2, L3)"), ("2 W. (L1, L2)", "2 CT (L1, L2)")],
      help_de="Drei Wandler oder zwei Wandler (L3 wird berechnet).",
      help_en="Three transformers or two (L3 is calculated)."),
    p(312, "Wandler Phasenkorrektur", "CT phase correction", 3, "rw", "degree",
      help_de="Korrektur des Phasenfehlers der Stromwandler (-10 bis 10 °).",
      help_en="Correction of the transformers' phase error (-10 to 10 °)."),
])

CO_COMP = ("CommCompensation", "Kompensation", "Compensation", [], [
    p(410, "Oberschwingungskompensation", "Harmonic compensation", 6, "rw", values=ON_OFF,
      help_de="Kompensation der Stromoberschwingungen.",
      help_en="Compensation of current harmonics."),
    p(535, "Kompensierte Ordnungen", "Compensated orders", 6, "rw",
      values=[(o, o) for o in ("H2-H25", "H2-H50", "H3-H49 odd")],
      help_de="Bereich der kompensierten harmonischen Ordnungen.",
      help_en="Range of the compensated harmonic orders."),
    p(400, "Blindleistungskompensation", "Reactive power compensation", 6, "rw", "%",
      help_de="Anteil des Nennstroms für Blindleistung (0 = keine Blindleistungskompensation).",
      help_en="Share of the rated current used for reactive power (0 = none)."),
    p(401, "cos phi min", "DPF lower limit", 8, "rw", "", 2,
      help_de="Untere Grenze des Sollbereichs für cos phi.",
      help_en="Lower limit of the target DPF range."),
    p(402, "cos phi max", "DPF upper limit", 8, "rw", "", 2,
      help_de="Obere Grenze des Sollbereichs für cos phi.",
      help_en="Upper limit of the target DPF range."),
    p(403, "Blindleistungsregelung", "Reactive power control", 6, "rw",
      values=[("cos phi Bereich", "DPF range"), ("fester Sollwert", "fixed set point"),
              ("nur kapazitiv", "capacitive only")],
      help_de="Regelart der Blindleistungskompensation.",
      help_en="Control mode of the reactive power compensation."),
    p(405, "Lastsymmetrierung", "Load balancing", 6, "rw", values=ON_OFF,
      help_de="Ausgleich unsymmetrischer Lastströme.",
      help_en="Balancing of unbalanced load currents."),
    p(407, "Taktfrequenz", "Switching frequency", 6, "rw",
      values=[(f, f) for f in ("10 kHz", "16 kHz", "20 kHz")],
      help_de="Schaltfrequenz der Leistungshalbleiter.",
      help_en="Switching frequency of the power semiconductors."),
    p(411, "Strombegrenzung", "Current limit", 5, "rw", "%",
      help_de="Maximaler Ausgangsstrom bezogen auf den Nennstrom (10 bis 100 %).",
      help_en="Maximum output current relative to the rated current (10 to 100 %)."),
    p(538, "Netznennfrequenz", "Rated mains frequency", 6, "rw",
      values=[("50 Hz", "50 Hz"), ("60 Hz", "60 Hz")],
      help_de="Nennfrequenz des Netzes.", help_en="Rated frequency of the mains."),
    p(546, "Resonanzschutz", "Resonance protection", 6, "rw", values=ON_OFF,
      help_de="Abschaltung einzelner Ordnungen bei erkannter Netzresonanz.",
      help_en="Disables single orders when a mains resonance is detected."),
    p(547, "Betriebsweise", "Operating mode", 6, "rw",
      values=[(m, m) for m in ("BW 1", "BW 2", "BW 3", "BE 1", "BE 2")],
      help_de="BW 1 Einzelgerät, BW 2 Master, BW 3 Slave im Parallelbetrieb, "
              "BE 1/BE 2 Erweiterungsbetrieb.",
      help_en="BW 1 single unit, BW 2 master, BW 3 slave in parallel operation, "
              "BE 1/BE 2 extension operation."),
])

CO_PROTECTION = ("CommProtection", "Schutz", "Protection", [], [
    p(510, "Temperaturwarnung", "Temperature warning", 2, "rw", "degree Celsius",
      help_de="Kühlkörpertemperatur, ab der der Strom reduziert wird (Werkseinstellung 75 °C).",
      help_en="Heat sink temperature above which the current is reduced (factory setting 75 °C)."),
    p(511, "Abschalttemperatur", "Shutdown temperature", 2, "rw", "degree Celsius",
      help_de="Kühlkörpertemperatur, bei der das Filter abschaltet (Werkseinstellung 85 °C).",
      help_en="Heat sink temperature at which the filter shuts down (factory setting 85 °C)."),
    p(520, "Unterspannungsgrenze", "Undervoltage limit", 5, "rw", "%",
      help_de="Abschaltschwelle der Netzspannung, bezogen auf 230 V.",
      help_en="Shutdown threshold of the mains voltage, relative to 230 V."),
    p(521, "Überspannungsgrenze", "Overvoltage limit", 5, "rw", "%",
      help_de="Abschaltschwelle der Netzspannung, bezogen auf 230 V.",
      help_en="Shutdown threshold of the mains voltage, relative to 230 V."),
    p(525, "Zeit Selbsttest", "Self-test time", 12, "rw",
      help_de="Uhrzeit des täglichen Selbsttests.", help_en="Time of day of the daily self-test."),
])

COMMISSIONING = ("Commissioning", "Inbetriebnahme", "Commissioning",
                 [CO_GENERAL, CO_COMM, CO_CT, CO_COMP, CO_PROTECTION], [])

SERVICE = ("Service", "Service", "Service", [], [
    p(600, "Störung quittieren", "Acknowledge fault", 6, "wo",
      values=[("keine Aktion", "no action"), ("quittieren", "acknowledge")],
      help_de="Setzt eine anstehende Störung zurück.", help_en="Resets a pending fault."),
    p(601, "Ereignisspeicher löschen", "Clear event log", 6, "wo",
      values=[("keine Aktion", "no action"), ("löschen", "clear")],
      help_de="Löscht alle Einträge des Ereignisspeichers.",
      help_en="Deletes all entries of the event log."),
    p(602, "Werkseinstellung laden", "Load factory settings", 6, "wo",
      values=[("keine Aktion", "no action"), ("laden", "load")],
      help_de="Setzt alle Inbetriebnahmeparameter auf Werkseinstellung.",
      help_en="Resets all commissioning parameters to factory settings."),
    p(603, "Steuerung neu starten", "Restart control", 6, "wo",
      values=[("keine Aktion", "no action"), ("neu starten", "restart")],
      help_de="Startet die Steuerung neu; die Verbindung bricht kurz ab.",
      help_en="Restarts the control; the connection drops briefly."),
    p(610, "Kalibrierdaten", "Calibration data", 10, "const",
      help_de="Kalibrierdaten der Messkanäle; nur über das Werkzeug des Herstellers zugänglich.",
      help_en="Calibration data of the measuring channels; only accessible with the factory tool."),
])

ROOT = ("Rootfolder", "Aktives Oberschwingungsfilter", "Active harmonic filter",
        [DEVICE_DATA, MEASURED, COMMISSIONING, SERVICE], [])


def address(par):
    return 10 * par["id"] + 1


def emit(folder, out):
    section, de, en, subs, params = folder
    out.append(f"[{section}]")
    out.append(f"NrOfSubfolders={len(subs)}")
    out.append(f"NrOfParameters={len(params)}")
    out.append(f"FolderName={de}")
    out.append(f"FolderName_en={en}")
    for i, sub in enumerate(subs, 1):
        out.append(f"Folder{i}={sub[0]}")
    for i, par in enumerate(params, 1):
        out.append(f"Parameter{i}={par['id']}")
    out.append("")
    for par in params:
        out.append(f"[{par['id']}]")
        out.append(f"ParameterName={par['de']}")
        out.append(f"ParameterName_en={par['en']}")
        out.append(f"Unit={par['unit']}")
        out.append(f"ModbusAddress={address(par)}")
        out.append(f"DataType={par['type']}")
        out.append(f"Precision={par['prec']}")
        out.append(f"AccessType={par['access']}")
        if par["id"] in DEFAULTS:
            out.append(f"Default={DEFAULTS[par['id']]}")
        if par["values"]:
            out.append(f"NrOfValues={len(par['values'])}")
            for k, (vde, _) in enumerate(par["values"], 1):
                out.append(f"Text{k}={vde}")
            for k, (_, ven) in enumerate(par["values"], 1):
                out.append(f"Text_en{k}={ven}")
        out.append(f"HelpText={par['help_de']}")
        out.append(f"HelpText_en={par['help_en']}")
        out.append("")
    for sub in subs:
        emit(sub, out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources",
                                                                "Parameters.ini")
    out = ["; Parameter catalogue of the active harmonic filter AHF-100",
           "; Tolvane International Ltd, firmware V2.14", ""]
    out.append("[DeviceId]")
    out += [f"{k}={v}" for k, v in DEVICE_ID]
    out.append("")
    out.append("[Overview]")
    out += [f"ParameterId={i}" for i in OVERVIEW_IDS]
    out.append("")
    emit(ROOT, out)
    text = "\r\n".join(out).rstrip("\r\n") + "\r\n"
    with tempfile.NamedTemporaryFile("wb", suffix=".ini", delete=False) as tmp:
        tmp.write(text.encode("utf-8"))
    try:
        data = subprocess.run(["iconv", "-f", "UTF-8", "-t", "WINDOWS-1252", tmp.name],
                              check=True, stdout=subprocess.PIPE).stdout
    finally:
        os.unlink(tmp.name)
    with open(target, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
