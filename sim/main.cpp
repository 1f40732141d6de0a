// quirel-sim: a simulated active harmonic filter, served over Modbus TCP and Modbus RTU.

#include "Simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

bool parseEndpoint(const QString& text, QHostAddress& address, quint16& port) {
    QString host = "127.0.0.1";
    QString portText = text;
    const qsizetype colon = text.lastIndexOf(':');
    if (colon >= 0) {
        host = text.left(colon);
        if (host.startsWith('[') && host.endsWith(']'))
            host = host.mid(1, host.size() - 2);
        portText = text.mid(colon + 1);
    }
    bool ok = false;
    const uint value = portText.toUInt(&ok);
    if (!ok || value > 65535 || !address.setAddress(host))
        return false;
    port = static_cast<quint16>(value);
    return true;
}

const char* kFaultHelp = R"(
Commands, one per line on stdin or on the control socket; the faults among them (drop ... refuse) are also
options at start (see below). N or MS of 0 switches a fault off:
  drop N                  drop every Nth reply (counted over all replies)
  crc N                   corrupt the CRC of every Nth RTU reply
  delay MS                delay every reply by MS milliseconds
  stray N MS              send every Nth reply a second time, MS milliseconds after the first
  close-after N           close a TCP connection after answering its Nth request
  exception CODE FIRST [LAST]
                          answer exception CODE to functions 1, 3, 4, 5, 6 and 16 that touch register
                          references FIRST..LAST (counted from 1, as in the catalogue)
  exception clear         remove all exception ranges
  refuse on|off           refuse new TCP connections (existing ones stay)
  trip DETAIL [TEXT]      trip the filter: state Fault with state detail DETAIL (1..11), an Error event;
                          writing "acknowledge" to parameter 600 clears it
  event error|status|info TEXT
                          add a line to the event log (TEXT, as with trip: at most 40 bytes, no ";")
  power-cycle             switch the device off and on (with --bootloader): its firmware starts when a
                          download completed whole, else its bootloader; answers which one runs
  clear                   switch every fault off
  status                  print the fault settings
  quit                    stop the simulator
Each command is answered with one line, "ok <settings>" or "error <why>".

The device: the catalogue's parameters at their ModbusAddress (wire address = ModbusAddress - 1; 32-bit
values and floats low word first; texts as ten registers), live measured values, settings that keep what is
written; input registers 10-11 (the connect probe); coils mirror the 16-bit parameters (function 1 reads,
function 5 writes 0 or 1 to the writable ones); capture settings at 60000-60030 (1 to 60030 arms; state 1 armed, 2 fired, 3 complete, each
reported at least once), traces at 10000 + 5000 x channel; event log in file records 1 (latest) and 20-31
(all), 83-register records; the served catalogue in files 2-12, 100-register records; device
identification 43/14 (VendorName, ProductCode, Revision, each padded with zero bytes to 32 bytes).
Runs until SIGINT, SIGTERM or the quit command.

Output: one line per endpoint, then "ready":
  tcp 127.0.0.1:PORT | pty /dev/pts/N | rtu DEVICE | link PATH | control 127.0.0.1:PORT
Writes to read-only or constant parameters, and to unmapped registers, are answered with exception 2
(illegal data address); values outside a parameter's value list or capture settings out of range with
exception 3 (illegal data value).
)";

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quirel-sim");
    QCoreApplication::setApplicationVersion(QUIREL_SIM_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString("A simulated active harmonic filter over Modbus TCP and Modbus RTU.\n") + kFaultHelp);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption catalogue("catalogue",
                                       "Parameter catalogue for the register map (default: the demo "
                                       "catalogue).",
                                       "FILE");
    const QCommandLineOption deviceCatalogue(
        "device-catalogue", "Catalogue the device serves as file records 2-12 (default: --catalogue).",
        "FILE");
    const QCommandLineOption tcp("tcp",
                                 "Serve Modbus TCP on [ADDR:]PORT (address 127.0.0.1 unless given; port 0 "
                                 "picks a free port).",
                                 "[ADDR:]PORT");
    const QCommandLineOption rtu("rtu", "Serve Modbus RTU on a serial DEVICE.", "DEVICE");
    const QCommandLineOption pty("pty",
                                 "Serve Modbus RTU on a new pseudo-terminal (8N1) and print its path.");
    const QCommandLineOption link(
        "link", "With --pty: also make PATH a symbolic link to the pseudo-terminal.", "PATH");
    const QCommandLineOption baud("baud", "Baud rate for --rtu (default 9600).", "BAUD", "9600");
    const QCommandLineOption parity("parity", "Parity for --rtu: none, even or odd (default none).", "PARITY",
                                    "none");
    const QCommandLineOption stopBits("stop-bits", "Stop bits for --rtu: 1 or 2 (default 1).", "N", "1");
    const QCommandLineOption slave("slave", "Slave address / unit id, 1 to 247 (default 1).", "N", "1");
    const QCommandLineOption vendor(
        "vendor", "Identification VendorName, at most 31 bytes (default: the catalogue's).", "TEXT");
    const QCommandLineOption product(
        "product", "Identification ProductCode, at most 31 bytes (default: the catalogue's).", "TEXT");
    const QCommandLineOption revision("revision",
                                      "Identification Revision, at most 31 bytes, also written into "
                                      "[DeviceId] of the served catalogue (default: the served "
                                      "catalogue's own).",
                                      "TEXT");
    const QCommandLineOption seed("seed", "Seed for load profile, noise and event log (default 1).", "N",
                                  "1");
    const QCommandLineOption control("control", "Accept command lines on a TCP socket at [ADDR:]PORT.",
                                     "[ADDR:]PORT");
    const QCommandLineOption noStdin("no-stdin", "Do not read command lines from stdin.");
    const QCommandLineOption drop("drop", "Fault: drop every Nth reply.", "N");
    const QCommandLineOption crc("crc", "Fault: corrupt the CRC of every Nth RTU reply.", "N");
    const QCommandLineOption delay("delay", "Fault: delay replies by MS milliseconds.", "MS");
    const QCommandLineOption stray("stray", "Fault: send every Nth reply again MS milliseconds later.",
                                   "N:MS");
    const QCommandLineOption closeAfter("close-after", "Fault: close TCP connections after N requests.", "N");
    const QCommandLineOption exception("exception",
                                       "Fault: answer exception CODE for registers FIRST..LAST (repeatable).",
                                       "CODE:FIRST[-LAST]");
    const QCommandLineOption refuse("refuse", "Fault: refuse TCP connections.");
    const QCommandLineOption bootLoader(
        "bootloader",
        "Give the RTU device a serial bootloader of VERSION (1.0 takes S-record lines, 1.1 and later "
        "128-byte blocks), entered by the enter-bootloader frame.",
        "VERSION");
    const QCommandLineOption flashOut("flash-out",
                                      "Write the bootloader's flash image to FILE after each "
                                      "completed download.",
                                      "FILE");
    const QCommandLineOption corruptAnswer(
        "corrupt-answer", "Fault: garble every Nth answer of the bootloader to a block.", "N");
    const QCommandLineOption corruptLine(
        "corrupt-line", "Fault: flip a bit in every Nth S-record line the 1.0 bootloader receives.", "N");
    const QCommandLineOption powerCycle("power-cycle", "Start in the bootloader without valid firmware, as "
                                                       "after a failed download (the banner repeats).");
    parser.addOptions({catalogue, deviceCatalogue, tcp,   rtu,    pty,     link,     baud,
                       parity,    stopBits,        slave, vendor, product, revision, seed,
                       control,   noStdin,         drop,  crc,    delay,   stray,    closeAfter,
                       exception, refuse});
    parser.addOptions({bootLoader, flashOut, corruptAnswer, corruptLine, powerCycle});
    parser.process(app);

    auto fail = [](const QString& message) {
        std::fprintf(stderr, "quirel-sim: %s\n", qPrintable(message));
        return 2;
    };

    quirel::sim::SimulatorOptions options;
    options.cataloguePath = parser.value(catalogue);
    options.deviceCataloguePath = parser.value(deviceCatalogue);
    if (parser.isSet(tcp)) {
        options.tcp = true;
        if (!parseEndpoint(parser.value(tcp), options.tcpAddress, options.tcpPort))
            return fail("bad --tcp endpoint: " + parser.value(tcp));
    }
    options.pty = parser.isSet(pty);
    options.rtuDevice = parser.value(rtu);
    if (options.pty && !options.rtuDevice.isEmpty())
        return fail("--pty and --rtu exclude each other");
    if (!options.tcp && !options.pty && options.rtuDevice.isEmpty())
        return fail("nothing to serve: give --tcp, --pty or --rtu (see --help)");
    options.link = parser.value(link);
    bool ok = false;
    options.line.baud = parser.value(baud).toInt(&ok);
    if (!ok)
        return fail("bad --baud");
    const QString parityText = parser.value(parity).toLower();
    if (parityText != "none" && parityText != "even" && parityText != "odd")
        return fail("bad --parity: " + parser.value(parity) + " (none, even or odd)");
    options.line.parity = parityText == "even" ? 'E' : parityText == "odd" ? 'O' : 'N';
    if (parser.value(stopBits) != "1" && parser.value(stopBits) != "2")
        return fail("bad --stop-bits: " + parser.value(stopBits) + " (1 or 2)");
    options.line.stopBits = parser.value(stopBits) == "2" ? 2 : 1;
    options.slave = parser.value(slave).toInt(&ok);
    if (!ok)
        return fail("bad --slave");
    options.vendor = parser.value(vendor);
    options.product = parser.value(product);
    options.revision = parser.value(revision);
    options.seed = parser.value(seed).toUInt(&ok);
    if (!ok)
        return fail("bad --seed");
    if (parser.isSet(control)) {
        options.control = true;
        if (!parseEndpoint(parser.value(control), options.controlAddress, options.controlPort))
            return fail("bad --control endpoint");
    }
    options.commandsOnStdin = !parser.isSet(noStdin);
    if (parser.isSet(drop))
        options.faultCommands << "drop " + parser.value(drop);
    if (parser.isSet(crc))
        options.faultCommands << "crc " + parser.value(crc);
    if (parser.isSet(delay))
        options.faultCommands << "delay " + parser.value(delay);
    if (parser.isSet(stray))
        options.faultCommands << "stray " + QString(parser.value(stray)).replace(':', ' ').replace(',', ' ');
    if (parser.isSet(closeAfter))
        options.faultCommands << "close-after " + parser.value(closeAfter);
    for (const QString& given : parser.values(exception)) {
        QString words = given;
        words.replace(':', ' ').replace('-', ' ');
        options.faultCommands << "exception " + words;
    }
    if (parser.isSet(refuse))
        options.faultCommands << "refuse on";

    if (parser.isSet(bootLoader)) {
        options.bootLoader.version = parser.value(bootLoader);
        static const QRegularExpression versionForm("^\\d{1,3}\\.\\d{1,3}$");
        if (!versionForm.match(options.bootLoader.version).hasMatch())
            return fail("bad --bootloader: " + options.bootLoader.version + " (for example 1.0 or 1.1)");
        options.bootLoader.flashOut = parser.value(flashOut);
        options.bootLoader.powerCycle = parser.isSet(powerCycle);
        if (parser.isSet(corruptAnswer)) {
            options.bootLoader.corruptAnswerEvery = parser.value(corruptAnswer).toInt(&ok);
            if (!ok || options.bootLoader.corruptAnswerEvery < 0)
                return fail("bad --corrupt-answer");
        }
        if (parser.isSet(corruptLine)) {
            options.bootLoader.corruptLineEvery = parser.value(corruptLine).toInt(&ok);
            if (!ok || options.bootLoader.corruptLineEvery < 0)
                return fail("bad --corrupt-line");
        }
    } else if (parser.isSet(flashOut) || parser.isSet(corruptAnswer) || parser.isSet(corruptLine) ||
               parser.isSet(powerCycle)) {
        return fail("--flash-out, --corrupt-answer, --corrupt-line and --power-cycle need --bootloader");
    }

    if (::pipe(g_signalPipe) != 0)
        return fail("cannot create signal pipe");
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Run as a background job of a terminal, a read of stdin would stop the whole simulator; ignored, the
    // read fails instead and commands wait until the job is in the foreground.
    ::signal(SIGTTIN, SIG_IGN);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    int status = 0;
    {
        quirel::sim::Simulator simulator;
        QString error;
        if (!simulator.start(options, error))
            return fail(error);
        QObject::connect(&simulator, &quirel::sim::Simulator::quitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        for (const QString& line : simulator.connectionLines())
            std::printf("%s\n", qPrintable(line));
        std::printf("ready\n");
        std::fflush(stdout);
        status = app.exec();
    }
    return status;
}
