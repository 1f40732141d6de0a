// eventlog: the device's event log, read as the event-log window reads it, or a saved log file.
#include "CliSession.h"

#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogFile.h"
#include "eventlog/EventLogReader.h"
#include "eventlog/EventLogRows.h"
#include "modbus/MbusMasterFunctions.h"

#include <cstdio>

namespace quirel::cli {
namespace {

// One line per list row: kind, date, time, description, operating hours, separated by tabs.
void PrintRows(CliSession& s, const CDocErrorMemory& doc) {
    for (const EventLogRow& row : EventLogRowsOf(doc))
        std::fprintf(s.Out(), "%s\t%s\t%s\t%s\t%s\n", row.kindText.c_str(), row.date.c_str(),
                     row.time.c_str(), row.description.c_str(), row.hours.c_str());
    std::fflush(s.Out());
}

int EventLog(CliSession& s, const std::vector<std::string>& args) {
    bool all = false;
    std::string open, output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--all") {
            all = true;
        } else if ((args[i] == "-o" || args[i] == "--open") && i + 1 < args.size() && !args[i + 1].empty()) {
            (args[i] == "-o" ? output : open) = args[i + 1];
            ++i;
        } else {
            return s.Usage("wrong arguments for eventlog");
        }
    }
    if (!open.empty() && (all || !output.empty()))
        return s.Usage("eventlog --open takes no other option");

    CDocErrorMemory doc;
    doc.OnNewDocument();
    if (!open.empty()) {
        std::string text, why;
        const EventLogFile::Result result = EventLogFile::Open(open, text, &why);
        if (result != EventLogFile::Result::Ok) {
            EventLogFile::Report(s.Ui(), result, open, why);
            return kFailed;
        }
        doc.AddEntry(std::move(text));
        PrintRows(s, doc);
        return kOk;
    }

    if (int rc = s.Connect(); rc != kOk)
        return rc;
    CEventLogReader::Result read =
        CEventLogReader(s.Controller(), s.Ui()).Run(all ? EventLogScope::All : EventLogScope::Latest);
    // A device that stopped answering is a lost connection, as for every other command.
    if (read.status != CEventLogReader::Status::Ok) {
        // The window's message says only to check the connection; a script also wants the cause.
        if (read.lastCode != 0)
            std::fprintf(s.Err(), "%s\n", MbusMasterFunctions::getErrorText(read.lastCode));
        return CControllerModbus::IsConnectionLost(read.lastCode) ? kNoConnection : kFailed;
    }
    doc.TakeLog(std::move(read.text));
    PrintRows(s, doc);
    if (!output.empty()) {
        const EventLogFile::Result saved = EventLogFile::Save(output, doc);
        if (saved != EventLogFile::Result::Ok) {
            EventLogFile::Report(s.Ui(), saved, output);
            return kFailed;
        }
    }
    return kOk;
}

} // namespace

void AddEventLogCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"eventlog",
         "  eventlog [--all] [-o FILE.txt]\n"
         "                        read the latest (or all) records of the device's event log; one line per\n"
         "                        row: \"KIND<tab>DATE<tab>TIME<tab>DESCRIPTION<tab>OPERATING HOURS\" (KIND "
         "is\n"
         "                        Error, Status or Info); -o also saves the log's text as the window's Save\n"
         "  eventlog --open FILE.txt\n"
         "                        print the rows of a saved event log (no connection needed)\n",
         false, EventLog});
}

} // namespace quirel::cli
