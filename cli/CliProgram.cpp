#include "CliProgram.h"

#include "CliSession.h"
#include "app/ProgramFiles.h"
#include "base/StringTable.h"

#include <string>
#include <vector>

namespace quirel::cli {
namespace {

const char kHelpHead[] =
    "Usage: quirel-cli [CONNECTION] [OPTIONS] COMMAND [ARGUMENTS]\n"
    "Service commands for an active harmonic filter over Modbus: parameters, and what the modules below\n"
    "add.\n"
    "\n"
    "Connection (one of):\n"
    "  --tcp HOST[:PORT]     Modbus TCP to HOST (name or IPv4 address), port 502 unless given\n"
    "  --rtu DEVICE          Modbus RTU on the serial DEVICE (for example /dev/ttyUSB0 or a pty)\n"
    "    --baud N            baud rate (default 38400)\n"
    "    --parity N|E|O      parity (default N)\n"
    "    --stop 1|2          stop bits (default 1)\n"
    "Options:\n"
    "  --slave N             Modbus slave address / unit id of the device (default 1)\n"
    "  --reply-timeout MS    how long to wait for each reply, 1 to 100000 ms (default 1000)\n"
    "  --tries N             how often a request is sent when no usable reply comes, 1 to 11 (default 11)\n"
    "  --trace               every frame sent and received, every byte thrown away and every reply\n"
    "                        time-out as one line on stderr: \"HH:MM:SS.mmm TX|RX XX XX ...  ; decoding\"\n"
    "                        or \"HH:MM:SS.mmm -- reply time-out\"\n"
    "  --catalogue FILE      parameter catalogue (default: Parameters.ini in the current folder,\n"
    "                        else the installed one)\n"
    "  --lang en|de          language of names, texts and messages (default en)\n"
    "  -h, --help            this text\n"
    "\n"
    "Commands:\n";

const char kHelpTail[] =
    "\n"
    "Errors are printed on stderr in the system's words (a window would show them in a message box).\n"
    "Exit status: 0 success; 1 a parameter, value or device error; 2 no connection (or the connection was\n"
    "lost); 64 wrong usage; 130 stopped by Ctrl-C.\n"
    "Example: quirel-cli --tcp 192.168.1.20 read 100 \"Mains voltage L1\"\n";

std::vector<CommandSpec> AllCommands() {
    std::vector<CommandSpec> commands;
    AddParameterCommands(commands);
    AddScanCommands(commands);
    AddMeasurementCommands(commands);
    AddAnalysisCommands(commands);
    AddReportCommands(commands);
    AddEventLogCommands(commands);
    AddFirmwareCommands(commands);
    AddParamSetCommands(commands);
    AddCatalogueCommands(commands);
    AddRawCommands(commands);
    return commands;
}

// The options before the command; the command's own arguments are the rest. Returns kOk or kUsage, or
// -1 after printing the help.
int ParseGlobal(CliSession& s, const std::vector<std::string>& args, std::vector<std::string>& command) {
    GlobalOptions& o = s.Options();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        long n;
        if (a == "-h" || a == "--help") {
            return -1;
        } else if (a == "--tcp") {
            if (!value(o.tcp) || o.tcp.empty())
                return s.Usage("--tcp needs HOST[:PORT]");
        } else if (a == "--rtu") {
            if (!value(o.rtu) || o.rtu.empty())
                return s.Usage("--rtu needs a DEVICE");
        } else if (a == "--baud") {
            if (!value(v) || !ParseInt(v, 1, 4000000, o.baud))
                return s.Usage("--baud needs a positive number");
        } else if (a == "--parity") {
            if (!value(v) || (v != "N" && v != "E" && v != "O" && v != "n" && v != "e" && v != "o"))
                return s.Usage("--parity is N, E or O");
            o.parity = v;
        } else if (a == "--stop") {
            if (!value(v) || !ParseInt(v, 1, 2, n))
                return s.Usage("--stop is 1 or 2");
            o.stop = static_cast<int>(n);
        } else if (a == "--slave") {
            if (!value(v) || !ParseInt(v, 1, 255, n))
                return s.Usage("--slave is 1 to 255");
            o.slave = static_cast<int>(n);
        } else if (a == "--reply-timeout") {
            if (!value(v) || !ParseInt(v, 1, 100000, n))
                return s.Usage("--reply-timeout is 1 to 100000 (milliseconds)");
            o.timeoutMs = static_cast<int>(n);
        } else if (a == "--tries") {
            if (!value(v) || !ParseInt(v, 1, CControllerModbus::kMaxTries, n))
                return s.Usage("--tries is 1 to 11");
            o.tries = static_cast<int>(n);
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--catalogue") {
            if (!value(o.catalogue))
                return s.Usage("--catalogue needs a FILE");
        } else if (a == "--lang") {
            if (!value(o.lang) || (o.lang != "en" && o.lang != "de"))
                return s.Usage("--lang is en or de");
        } else if (a.rfind("--", 0) == 0) {
            return s.Usage("unknown option " + a);
        } else {
            command.assign(args.begin() + static_cast<long>(i), args.end()); // the rest is the command's
            break;
        }
    }
    return kOk;
}

} // namespace

int Run(int argc, char** argv, std::FILE* out, std::FILE* err) {
    const std::vector<CommandSpec> commands = AllCommands();
    CliSession session(out, err);
    std::vector<std::string> command;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int parsed = ParseGlobal(session, args, command);
    // --help anywhere, also among a command's arguments.
    bool help = parsed < 0;
    for (const std::string& a : command)
        help = help || a == "-h" || a == "--help";
    if (help) {
        std::fputs(kHelpHead, out);
        for (const CommandSpec& c : commands)
            std::fputs(c.help, out);
        std::fputs(kHelpTail, out);
        return kOk;
    }
    if (parsed != kOk)
        return parsed;
    if (command.empty())
        return session.Usage("no command");
    const CommandSpec* spec = nullptr;
    for (const CommandSpec& c : commands)
        if (command[0] == c.name)
            spec = &c;
    if (!spec)
        return session.Usage("unknown command " + command[0]);
    const GlobalOptions& o = session.Options();
    if (!o.tcp.empty() && !o.rtu.empty())
        return session.Usage("--tcp and --rtu exclude each other");

    const int language = o.lang == "de" ? kLanguageGerman : kLanguageEnglish;
    quirel::setUiLanguage(language);
    session.Catalogue().SetLanguage(language);
    if (spec->needsCatalogue) {
        const std::string name = o.catalogue.empty() ? "Parameters.ini" : o.catalogue;
        const std::string path = quirel::app::FindCatalogue(name);
        if (path.empty())
            return session.Fail(quirel::app::CatalogueNotFoundText(name));
        session.Catalogue().Load(path);
    }
    const int code = spec->run(session, std::vector<std::string>(command.begin() + 1, command.end()));
    return session.Finish(code);
}

} // namespace quirel::cli
