// paramset save|show|send: parameter-set files (.btp) from and to the device.
#include "CliSession.h"

#include "base/StringTable.h"
#include "parameters/document/DocParameters.h"
#include "paramset/ParamSetReport.h"
#include "paramset/ParamSetTransfer.h"
#include "paramset/ParamSetWriter.h"

#include <cstdio>
#include <unistd.h>

namespace quirel::cli {
namespace {

using namespace quirel::paramset;

int ExitOf(TransferResult result) {
    return result == TransferResult::Done ? kOk : kFailed;
}

int Save(CliSession& s, const std::string& path) {
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    CDocParameters doc(s.Catalogue(), s.Controller());
    doc.OnNewDocument();
    int unread = 0;
    const TransferResult result = CParamSetTransfer(doc, s.Ui()).ReadAndSave(path, &unread);
    if (result == TransferResult::Done)
        std::fprintf(s.Out(), "%s\n", SavedText(path).c_str());
    if (result == TransferResult::Done && unread > 0) {
        // Saved as "-error-": said here by name, as the read command says it.
        for (const char* section : kSections)
            for (const CParameterDescription& d : SectionParameters(s.Catalogue(), section))
                if (!doc.IsKnown(d.GetId()))
                    std::fprintf(s.Err(), "%s%d %s\n", loadString(kIdsNoValueReceived).c_str(), d.GetId(),
                                 d.GetName().c_str());
    }
    const int rc = result == TransferResult::Done && unread > 0 ? kFailed : ExitOf(result);
    return s.Finish(rc); // before `doc` goes: no job may still write into it
}

bool LoadFile(CliSession& s, const std::string& path, CParamSetFile& file) {
    std::string why;
    if (file.Load(path, &why))
        return true;
    s.Fail(FileNotReadText(path, why));
    return false;
}

int Show(CliSession& s, const std::string& path) {
    CParamSetFile file;
    if (!LoadFile(s, path, file))
        return kFailed;
    std::fputs(BuildReport(file, s.Catalogue(), "\n").c_str(), s.Out());
    return kOk;
}

int Send(CliSession& s, const std::string& path, bool yes) {
    CParamSetFile file;
    if (!LoadFile(s, path, file))
        return kFailed;
    const int language = uiLanguage();
    SendList list = BuildSendList(file, s.Catalogue(), language);
    if (list.items.size() > kMaxSendValues)
        return s.Fail(TooManyValuesText(list.items.size()));
    std::fputs(ConfirmationText(list, "\n").c_str(), s.Out());
    std::fflush(s.Out());
    for (const SendItem& item : list.items)
        if (!item.refusal.empty())
            std::fprintf(s.Err(), "%d %s: %s\n", item.number, item.name.c_str(), item.refusal.c_str());
    if (!yes) {
        if (!::isatty(STDIN_FILENO))
            return s.Usage("nothing was sent: confirm on a terminal, or give --yes");
        if (!s.AskYesNo("Send these values to the device?"))
            return kFailed;
    }
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    CDocParameters doc(s.Catalogue(), s.Controller());
    doc.OnNewDocument();
    const TransferResult result = CParamSetTransfer(doc, s.Ui()).Send(list);
    const std::string report = NotSentReport(list, language, "\n");
    std::fprintf(s.Out(), "%s%s\n", report.c_str(), SentText(list).c_str());
    std::fflush(s.Out());
    return s.Finish(result == TransferResult::Done && report.empty() ? kOk : kFailed);
}

int ParamSet(CliSession& s, const std::vector<std::string>& args) {
    const std::string verb = args.empty() ? std::string() : args[0];
    if ((verb == "save" || verb == "show") && args.size() == 2)
        return verb == "save" ? Save(s, args[1]) : Show(s, args[1]);
    if (verb == "send" && (args.size() == 2 || args.size() == 3)) {
        const bool yes = args.size() == 3 && (args[1] == "--yes" || args[2] == "--yes");
        if (args.size() == 3 && !yes)
            return s.Usage("wrong arguments for paramset send");
        return Send(s, args[1] == "--yes" ? args[2] : args[1], yes);
    }
    return s.Usage("wrong arguments for paramset");
}

} // namespace

void AddParamSetCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"paramset",
         "  paramset save FILE.btp\n"
         "                        read the DeviceData, MeasuredValues and Commissioning parameters and save\n"
         "                        them as a parameter set, then print \"The parameter set was saved: "
         "FILE\";\n"
         "                        a value that could not be read is saved as -error- and named on stderr\n"
         "                        (exit 1)\n"
         "  paramset show FILE.btp\n"
         "                        print the report of a parameter set, one line per key: \"ID NAME = VALUE "
         "UNIT\"\n"
         "                        under [DeviceData], [MeasuredValues], [Commissioning] (no connection)\n"
         "  paramset send FILE.btp [--yes]\n"
         "                        print the values to send (\"ID NAME = VALUE \"), ask y/N on a terminal\n"
         "                        unless --yes, send them one by one, print those NOT SENT and \"The\n"
         "                        parameter set was sent: N of M values written.\"; exit 0 when all were\n"
         "                        sent, 1 when any was not\n",
         true, ParamSet});
}

} // namespace quirel::cli
