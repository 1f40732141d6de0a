// raw read|write: registers by their wire address, whatever the catalogue says of them.
#include "CliSession.h"

#include "base/StringTable.h"
#include "comm/RawRegisters.h"

#include <cstdio>
#include <unistd.h>

namespace quirel::cli {
namespace {

constexpr unsigned kIdsReadBackFailed = 1607; // "The values were written, but reading them back failed: "

int Run(CliSession& s, const RawRegisterRequest& request) {
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    bool written = false;
    try {
        const std::vector<std::uint16_t> values = RunRawRequest(s.Controller(), request, &written);
        std::fputs(RawRegistersCsv(request.address, values).c_str(), s.Out());
        std::fflush(s.Out());
        return kOk;
    } catch (const CModbusException& e) {
        return s.Fail((written ? loadString(kIdsReadBackFailed) : std::string()) + e.GetMessage());
    }
}

int Raw(CliSession& s, const std::vector<std::string>& args) {
    const std::string verb = args.empty() ? std::string() : args[0];
    RawRegisterRequest request;
    std::vector<std::string> positional;
    bool yes = false;
    bool functionGiven = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--fc" && verb == "read" && i + 1 < args.size()) {
            const std::string& fc = args[++i];
            if (fc != "3" && fc != "4")
                return s.Usage("--fc is 3 or 4");
            request.function = fc == "3" ? RawRegisterRequest::kReadHolding : RawRegisterRequest::kReadInput;
            functionGiven = true;
        } else if (args[i] == "--yes" && verb == "write") {
            yes = true;
        } else if (args[i].rfind("--", 0) == 0) {
            return s.Usage("unknown argument " + args[i]);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2 || (verb == "read" && !functionGiven) || (verb != "read" && verb != "write"))
        return s.Usage("wrong arguments for raw");

    // Everything is checked before the device is touched.
    std::string error = ParseRawAddress(positional[0], request.address);
    if (error.empty() && verb == "read")
        error = ParseRawCount(positional[1], request.count);
    if (error.empty() && verb == "write") {
        request.function = RawRegisterRequest::kWrite;
        error = ParseRawValues(positional[1], request.values);
    }
    if (error.empty())
        error = CheckRawRequest(request);
    if (!error.empty())
        return s.Fail(error);
    if (request.IsWrite() && !yes) {
        if (!::isatty(STDIN_FILENO))
            return s.Usage("nothing was written: confirm on a terminal, or give --yes");
        if (!s.AskYesNo(RawWriteQuestion(request)))
            return kFailed;
    }
    return Run(s, request);
}

} // namespace

void AddRawCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"raw",
         "  raw read --fc 3|4 ADDRESS COUNT\n"
         "                        read COUNT (1 to 125) holding (3) or input (4) registers from ADDRESS\n"
         "                        (0 to 65535, as on the wire) and print CSV with CR LF: the header\n"
         "                        \"address,hex,u16,s16\", then one row per register\n"
         "  raw write ADDRESS VALUE[,VALUE...] [--yes]\n"
         "                        write 1 to 100 holding registers with function 16 (values 0 to 65535 or\n"
         "                        -32768 to 32767, checked before anything is sent) after asking y/N on a\n"
         "                        terminal unless --yes (no terminal and no --yes: nothing is written, exit\n"
         "                        64), then read them back and print them as raw read does\n",
         false, Raw});
}

} // namespace quirel::cli
