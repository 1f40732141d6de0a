#pragma once

#include "base/ConsoleUiPort.h"
#include "comm/ControllerModbus.h"
#include "modbus/MbusTrafficText.h"
#include "parameters/ParameterManager.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quirel::cli {

// Exit codes of quirel-cli; 130 as a shell reports a program ended by Ctrl-C.
enum ExitCode : int { kOk = 0, kFailed = 1, kNoConnection = 2, kUsage = 64, kInterrupted = 130 };

// Texts more than one command says.
constexpr unsigned kIdsNoValueReceived = 1013; // followed by the parameter's number
constexpr unsigned kIdsCannotOpenFile = 188;   // followed by the path
constexpr unsigned kIdsFileDamaged = 20001;

// The options that come before the command.
struct GlobalOptions {
    std::string tcp, rtu, catalogue, parity = "N", lang = "en";
    long baud = 38400;
    int stop = 1, slave = 1;
    int timeoutMs = CControllerModbus::kTimeoutMs;
    int tries = CControllerModbus::kTries;
    bool trace = false; // every frame, discarded byte and time-out on stderr
};

// What every command works with: the output streams, the options, the console UI port, the catalogue
// and (once Connect has run) the controller. Parameter lines and data go to `out`; the system's messages
// (the boxes a window would show) go to `err`.
class CliSession {
public:
    CliSession(std::FILE* out, std::FILE* err);
    ~CliSession();

    std::FILE* Out() const { return m_out; }
    std::FILE* Err() const { return m_err; }
    GlobalOptions& Options() { return m_opt; }
    ConsoleUiPort& Ui() { return m_ui; }
    CParameterManager& Catalogue() { return m_catalogue; }
    CControllerModbus& Controller() { return *m_controller; }
    bool HasController() const { return m_controller != nullptr; }

    // Asks `question` on stderr and reads the answer from a terminal: y or yes is yes, anything else no.
    bool AskYesNo(const std::string& question);
    // Usage error: the reason and a hint on stderr; returns kUsage.
    int Usage(const std::string& why);
    // A failure in the system's words on stderr; returns kFailed.
    int Fail(const std::string& message);

    // A parameter by identifier or name (any case); null when the catalogue has none.
    const CParameterDescription* Resolve(const std::string& key) const;

    // Starts the worker and connects with the global options. kOk, kUsage without --tcp/--rtu, or
    // kNoConnection (the reason has been printed by the console port).
    int Connect();
    // Waits until the queued jobs have run or the connection is gone, then lets the documents take the
    // updates the jobs posted.
    void Drain();
    // Offers the job `make` builds to the poll queue, waiting for room while the queue is full; false
    // when the connection is gone.
    bool AddPollJobWaiting(const std::function<std::unique_ptr<CJobAbstract>()>& make);
    // Disconnects and stops the worker. A failure after the connection was lost becomes kNoConnection.
    int Finish(int code);

private:
    std::FILE* m_out;
    std::FILE* m_err;
    GlobalOptions m_opt;
    ConsoleUiPort m_ui;
    CParameterManager m_catalogue;
    // Before the controller: it outlives every master that reports to it.
    std::unique_ptr<MbusTrafficTraceWriter> m_trace;
    std::unique_ptr<CControllerModbus> m_controller;
};

// Reads a whole decimal number within [min, max]; false for anything else.
bool ParseInt(const std::string& s, long min, long max, long& out);

// One command of the program.
struct CommandSpec {
    const char* name;
    // Lines for --help, each starting with the command's synopsis.
    const char* help;
    // Loaded before `run` (a command that works on files alone may not need it).
    bool needsCatalogue;
    // Runs the command with the arguments after its name; returns the exit code. The session disconnects
    // afterwards.
    int (*run)(CliSession& session, const std::vector<std::string>& args);
};

// Each command module adds its commands, in the order --help lists them.
void AddParameterCommands(std::vector<CommandSpec>& commands);
void AddScanCommands(std::vector<CommandSpec>& commands);
void AddMeasurementCommands(std::vector<CommandSpec>& commands);
void AddAnalysisCommands(std::vector<CommandSpec>& commands);
void AddReportCommands(std::vector<CommandSpec>& commands);
void AddEventLogCommands(std::vector<CommandSpec>& commands);
void AddFirmwareCommands(std::vector<CommandSpec>& commands);
void AddParamSetCommands(std::vector<CommandSpec>& commands);
void AddCatalogueCommands(std::vector<CommandSpec>& commands);
void AddRawCommands(std::vector<CommandSpec>& commands);

} // namespace quirel::cli
