#include "CliProgram.h"

#include "base/ConsoleUiPort.h"
#include "base/Document.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/DeviceIdentification.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterManager.h"
#include "parameters/ParameterValue.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace quirel::cli {
namespace {

const char kHelp[] =
    "Usage: quirel-cli [CONNECTION] [OPTIONS] COMMAND [ARGUMENTS]\n"
    "Reads and writes the catalogued parameters of an active harmonic filter over Modbus.\n"
    "\n"
    "Connection (one of):\n"
    "  --tcp HOST[:PORT]     Modbus TCP to HOST (name or IPv4 address), port 502 unless given\n"
    "  --rtu DEVICE          Modbus RTU on the serial DEVICE (for example /dev/ttyUSB0 or a pty)\n"
    "    --baud N            baud rate (default 38400)\n"
    "    --parity N|E|O      parity (default N)\n"
    "    --stop 1|2          stop bits (default 1)\n"
    "Options:\n"
    "  --slave N             Modbus slave address / unit id of the device (default 1)\n"
    "  --catalogue FILE      parameter catalogue (default: Parameters.ini in the current folder,\n"
    "                        else the installed one)\n"
    "  --lang en|de          language of names, texts and messages (default en)\n"
    "  -h, --help            this text\n"
    "\n"
    "Commands:\n"
    "  ident                 print the device identification: VendorName, ProductCode, Revision\n"
    "  read ID|NAME...       read parameters by identifier or name; one line each:\n"
    "                        \"ID NAME = VALUE UNIT\"\n"
    "  write ID|NAME VALUE   write VALUE, given as the parameter's text (as a user types it: \"49,5\",\n"
    "                        a value text of the list, \"192.168.1.10\", \"2024-05-01 12:00:00\"), then\n"
    "                        read it back and print its line when the parameter is readable; a text\n"
    "                        that is not a whole value (\"0.9\", \"12x\", an unknown value text) is refused\n"
    "  list [FOLDER]         without FOLDER: the folder tree (section names in brackets); with FOLDER\n"
    "                        (section or display name): its parameters with their current values, \"--\"\n"
    "                        for write-only ones\n"
    "\n"
    "Errors are printed on stderr in the system's words (a window would show them in a message box).\n"
    "Exit status: 0 success; 1 a parameter, value or device error; 2 no connection (or the connection was\n"
    "lost); 64 wrong usage.\n"
    "Example: quirel-cli --tcp 192.168.1.20 read 100 \"Mains voltage L1\"\n";

// The values the read jobs deliver, in place of the parameters document.
class ValueStore : public CDocument {
public:
    void SetValue(int32_t id, const PARAMVALUE& value) {
        std::lock_guard lock(m_mutex);
        m_values[id] = value;
    }
    std::optional<PARAMVALUE> Get(int32_t id) const {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(id);
        return it == m_values.end() ? std::nullopt : std::optional<PARAMVALUE>(it->second);
    }

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, PARAMVALUE> m_values;
};

struct Options {
    std::string tcp, rtu, catalogue, parity = "N", lang = "en";
    long baud = 38400;
    int stop = 1, slave = 1;
    std::vector<std::string> command;
};

bool ParseInt(const std::string& s, long min, long max, long& out) {
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

// The window's edit dialog writes whatever the number parsers make of a text ("0.9" as 0, "abc" as 0, an
// unknown value text as -1). A script's typo must not reach the device that way, so a text that the
// parser would read only in part, or not at all, is refused before anything is sent.
bool IsWholeValueText(const CParameterDescription& d, const std::string& text) {
    if (d.HasValueTexts())
        return d.FindValueText(text) >= 0;
    const int type = d.GetDataType();
    const bool typedForm = type == 9 || type == 11 || type == 12 ||
                           (type == 13 && text.find(':') != std::string::npos) ||
                           IsAddressParameter(static_cast<uint32_t>(d.GetId()));
    if (typedForm)
        return true; // these parsers refuse what they cannot read whole
    size_t i = text.find_first_not_of(' ');
    auto digits = [&] {
        const size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    if (i == std::string::npos)
        return false;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    size_t count = digits();
    if (type == 8) {
        if (i < text.size() && text[i] == ',') {
            ++i;
            count += digits();
        }
        if (count > 0 && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
            ++i;
            if (i < text.size() && (text[i] == '+' || text[i] == '-'))
                ++i;
            if (digits() == 0)
                return false;
        }
    }
    return count > 0 && i == text.size();
}

std::string DefaultCatalogue() {
    std::error_code ec;
    std::vector<std::filesystem::path> candidates{"Parameters.ini"};
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        candidates.push_back(self.parent_path() / "../share/quirel/Parameters.ini");
    candidates.push_back(QUIREL_SHARE_DIR "/Parameters.ini");
    candidates.push_back(QUIREL_RESOURCES_DIR "/Parameters.ini");
    for (const auto& c : candidates)
        if (std::filesystem::exists(c, ec))
            return c.string();
    return "Parameters.ini";
}

class Program {
public:
    Program(std::FILE* out, std::FILE* err) : m_out(out), m_err(err), m_ui(err) {}
    int Run(int argc, char** argv);

private:
    int Usage(const std::string& why) {
        std::fprintf(m_err, "quirel-cli: %s\nTry 'quirel-cli --help'.\n", why.c_str());
        return kUsage;
    }
    int Fail(const std::string& message) {
        std::fprintf(m_err, "%s\n", message.c_str());
        return kFailed;
    }
    const CParameterDescription* Resolve(const std::string& key) const;
    bool ConnectDevice();
    // Waits until the queued jobs have run, or the connection is gone.
    void Drain();
    void PrintLine(const CParameterDescription& d, const std::string& value);
    int ReadAndPrint(const std::vector<const CParameterDescription*>& list, bool dashForUnreadable);
    int Finish(int code);
    int Ident();
    int Read(const std::vector<std::string>& keys);
    int Write(const std::string& key, const std::string& text);
    int List(const std::vector<std::string>& args);
    void PrintTree(const std::vector<FolderTreeEntry>& entries, int depth);

    std::FILE* m_out;
    std::FILE* m_err;
    Options m_opt;
    ConsoleUiPort m_ui;
    CParameterManager m_catalogue;
    ValueStore m_values; // outlives the controller, whose jobs write into it
    std::unique_ptr<CControllerModbus> m_controller;
};

const CParameterDescription* Program::Resolve(const std::string& key) const {
    long id;
    if (ParseInt(key, INT32_MIN, INT32_MAX, id))
        return m_catalogue.FindDescription(static_cast<int32_t>(id));
    return m_catalogue.FindDescription(key);
}

bool Program::ConnectDevice() {
    m_controller = std::make_unique<CControllerModbus>(&m_catalogue, &m_ui);
    m_controller->SetSlaveId(m_opt.slave);
    if (!m_opt.rtu.empty())
        m_controller->SetSerialSettings(m_opt.rtu, static_cast<uint32_t>(m_opt.baud), 8,
                                        static_cast<int16_t>(m_opt.stop), m_opt.parity);
    else
        m_controller->SetTcpSettings(m_opt.tcp);
    m_controller->StartThread();
    return m_controller->Connect(); // a failure has been printed by the console port
}

void Program::Drain() {
    while (!m_controller->WaitForIdle(200))
        if (!m_controller->IsConnected())
            break;
    m_ui.ProcessPosted();
}

void Program::PrintLine(const CParameterDescription& d, const std::string& value) {
    std::fprintf(m_out, "%d %s = %s %s\n", d.GetId(), d.GetName().c_str(), value.c_str(),
                 d.GetUnit().c_str());
}

int Program::ReadAndPrint(const std::vector<const CParameterDescription*>& list, bool dashForUnreadable) {
    for (const CParameterDescription* d : list) {
        if (dashForUnreadable && !IsReadable(d->GetAccessType()))
            continue;
        const int32_t id = d->GetId();
        const CParameterValue value(static_cast<uint32_t>(id), static_cast<uint32_t>(d->GetDataType()), 0);
        auto offer = [&] {
            return m_controller->AddPollJob(
                std::make_unique<CJobUpdateVisibleParameter>(&m_values, id, value));
        };
        // A full poll queue (more parameters than it holds) waits for the worker to catch up.
        if (!offer() && !(m_controller->IsConnected() && (Drain(), offer())))
            break; // the connection is gone: reported by the job that lost it
    }
    Drain();
    bool missing = false;
    for (const CParameterDescription* d : list) {
        const auto cell = m_values.Get(d->GetId());
        if (cell) {
            PrintLine(*d, CParameterValue(static_cast<uint32_t>(d->GetId()), cell->dataType, cell->raw)
                              .GetText(m_catalogue));
        } else if (dashForUnreadable && !IsReadable(d->GetAccessType())) {
            PrintLine(*d, "--");
        } else {
            missing = true;
        }
    }
    std::fflush(m_out);
    return missing || m_ui.GetErrorCount() > 0 ? kFailed : kOk;
}

int Program::Finish(int code) {
    if (m_controller) {
        if (code != kOk && !m_controller->IsConnected())
            code = kNoConnection;
        m_controller->Disconnect();
        m_controller->StopThread();
        m_controller->WaitForThreadStop(CControllerModbus::kStopWaitMs);
    }
    return code;
}

int Program::Ident() {
    uint8_t objects[102];
    try {
        m_controller->ReadDeviceIdentification(sizeof objects, objects);
    } catch (const CModbusException& e) {
        return Fail(e.GetMessage());
    }
    const DeviceIdentification id = ParseDeviceIdentification(objects, sizeof objects);
    std::fprintf(m_out, "VendorName: %s\nProductCode: %s\nRevision: %s\n", id.vendorName.c_str(),
                 id.productCode.c_str(), id.revision.c_str());
    return kOk;
}

int Program::Read(const std::vector<std::string>& keys) {
    std::vector<const CParameterDescription*> list;
    for (const std::string& key : keys)
        list.push_back(Resolve(key));
    return ReadAndPrint(list, false);
}

int Program::Write(const std::string& key, const std::string& text) {
    const CParameterDescription* d = Resolve(key);
    const int32_t id = d->GetId();
    CParameterValue value(static_cast<uint32_t>(id), static_cast<uint32_t>(d->GetDataType()), 0);
    if (!IsWholeValueText(*d, text) || !value.SetFromText(m_catalogue, text))
        return Fail("Invalid value: " + text);
    if (!m_controller->AddUserJob(std::make_unique<CJobWriteParameter>(value)))
        return Fail(quirel::loadString(178));
    Drain();
    if (m_ui.GetErrorCount() > 0)
        return kFailed;
    if (!IsReadable(d->GetAccessType()))
        return kOk;
    return ReadAndPrint({d}, false);
}

void Program::PrintTree(const std::vector<FolderTreeEntry>& entries, int depth) {
    for (const FolderTreeEntry& e : entries) {
        std::fprintf(m_out, "%*s%s [%s]\n", 2 * depth, "", e.displayName.c_str(), e.sectionName.c_str());
        PrintTree(e.children, depth + 1);
    }
}

int Program::List(const std::vector<std::string>& args) {
    std::vector<CParameterDescription> folder;
    m_catalogue.GetFolderParameters(args[0], folder);
    std::vector<const CParameterDescription*> list;
    for (const CParameterDescription& d : folder)
        list.push_back(&d);
    return ReadAndPrint(list, true);
}

int Program::Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
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
            std::fputs(kHelp, m_out);
            return kOk;
        } else if (!m_opt.command.empty()) {
            m_opt.command.push_back(a); // everything after the command belongs to it
        } else if (a == "--tcp") {
            if (!value(m_opt.tcp) || m_opt.tcp.empty())
                return Usage("--tcp needs HOST[:PORT]");
        } else if (a == "--rtu") {
            if (!value(m_opt.rtu) || m_opt.rtu.empty())
                return Usage("--rtu needs a DEVICE");
        } else if (a == "--baud") {
            if (!value(v) || !ParseInt(v, 1, 4000000, m_opt.baud))
                return Usage("--baud needs a positive number");
        } else if (a == "--parity") {
            if (!value(v) || (v != "N" && v != "E" && v != "O" && v != "n" && v != "e" && v != "o"))
                return Usage("--parity is N, E or O");
            m_opt.parity = v;
        } else if (a == "--stop") {
            if (!value(v) || !ParseInt(v, 1, 2, n))
                return Usage("--stop is 1 or 2");
            m_opt.stop = static_cast<int>(n);
        } else if (a == "--slave") {
            if (!value(v) || !ParseInt(v, 1, 255, n))
                return Usage("--slave is 1 to 255");
            m_opt.slave = static_cast<int>(n);
        } else if (a == "--catalogue") {
            if (!value(m_opt.catalogue))
                return Usage("--catalogue needs a FILE");
        } else if (a == "--lang") {
            if (!value(m_opt.lang) || (m_opt.lang != "en" && m_opt.lang != "de"))
                return Usage("--lang is en or de");
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            m_opt.command.push_back(a);
        }
    }
    if (m_opt.command.empty())
        return Usage("no command");
    const std::string cmd = m_opt.command[0];
    const std::vector<std::string> rest(m_opt.command.begin() + 1, m_opt.command.end());
    if (cmd != "ident" && cmd != "read" && cmd != "write" && cmd != "list")
        return Usage("unknown command " + cmd);
    if ((cmd == "ident" && !rest.empty()) || (cmd == "read" && rest.empty()) ||
        (cmd == "write" && rest.size() != 2) || (cmd == "list" && rest.size() > 1))
        return Usage("wrong arguments for " + cmd);
    if (!m_opt.tcp.empty() && !m_opt.rtu.empty())
        return Usage("--tcp and --rtu exclude each other");

    const int language = m_opt.lang == "de" ? kLanguageGerman : kLanguageEnglish;
    quirel::setUiLanguage(language);
    m_catalogue.SetLanguage(language);
    const std::string path = m_opt.catalogue.empty() ? DefaultCatalogue() : m_opt.catalogue;
    if (!std::filesystem::exists(path))
        return Fail("Cannot open the catalogue " + path);
    m_catalogue.Load(path);

    if (cmd == "list" && rest.empty()) {
        PrintTree(m_catalogue.GetFolderTree(), 0);
        return kOk;
    }
    // Every name is checked before any traffic.
    if (cmd == "read" || cmd == "write") {
        const size_t count = cmd == "read" ? rest.size() : 1;
        for (size_t i = 0; i < count; ++i)
            if (!Resolve(rest[i]))
                return Fail(quirel::loadString(155) + rest[i]);
    }
    if (cmd == "list") {
        const CTreeItem* item = m_catalogue.FindItem(rest[0]);
        if (!item || item->IsLeaf())
            return Fail(quirel::loadString(161) + rest[0]);
    }
    if (m_opt.tcp.empty() && m_opt.rtu.empty())
        return Usage("no connection given (--tcp or --rtu)");

    if (!ConnectDevice())
        return Finish(kNoConnection);
    if (cmd == "ident")
        return Finish(Ident());
    if (cmd == "read")
        return Finish(Read(rest));
    if (cmd == "write")
        return Finish(Write(rest[0], rest[1]));
    return Finish(List(rest));
}

} // namespace

int Run(int argc, char** argv, std::FILE* out, std::FILE* err) {
    Program program(out, err);
    return program.Run(argc, argv);
}

} // namespace quirel::cli
