#pragma once

#include "paramset/SendList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CControllerModbus;
class CParameterDescription;
class CDocParameters;
class IUiPort;

namespace quirel::paramset {

// The refusals while a measurement runs (information icon), fixed in the program in both languages and
// chosen by the "Language" setting (German for 7).
std::string TraceRunningReadText(int language);
std::string TraceRunningWriteText(int language);

class TransferBatch;

// What the status bar and the CLI say once a parameter set has been saved at `path`.
std::string SavedText(const std::string& path);

enum class TransferResult {
    Done,
    ConnectionLost, // said in a message; nothing more is offered to the device
    Cancelled,      // by the user, through the progress window
    FileNotWritten, // said in a message
};

// The device work of the parameter-set commands, through the controller's transfer queue and the
// parameters document, with progress reported through the UI port ("Please Wait ...", 0..100). Each
// procedure blocks its caller with the waits of the transfer (the window runs it on a thread of its own)
// and returns once every job it offered has run or has been disowned: a job still queued when the
// connection was lost does nothing when a later connection runs it.
class CParamSetTransfer {
public:
    CParamSetTransfer(CDocParameters& doc, IUiPort& ui);

    // Reads the "DeviceData", "MeasuredValues" and "Commissioning" parameters from the device and writes
    // the file at `path` (replacing it whole). A target that cannot be written is refused before anything
    // is read. A parameter no read delivered (a refused or failed read, a write-only parameter) is written
    // as "-error-"; `unread` (when given) counts them. A lost connection or a cancel writes nothing.
    TransferResult ReadAndSave(const std::string& path, int* unread = nullptr);

    // The reads of ReadAndSave without the file: afterwards the document knows each value a read
    // delivered. `sections` receives the parameters of each of kSections in file order. A lost connection
    // is only returned: the caller says what it cost.
    TransferResult ReadSections(std::vector<std::vector<CParameterDescription>>& sections);

    // Reads the values the device holds now for the list's parameters into the parameters document and
    // each item's `device`, so that the confirmation can show what a send would change.
    TransferResult ReadCurrentValues(SendList& list);
    // The same for any readable parameters, with `text` as the progress text; a lost connection is only
    // returned.
    TransferResult ReadValues(const std::vector<int32_t>& ids, const std::string& text);

    // Writes the unmarked values strictly one after another in list order, each job offered once the one
    // before it has run, and records in each item whether it was sent. A lost connection ends the send
    // with a message; the values not reached stay unsent.
    TransferResult Send(SendList& list);

private:
    // Queues one step of the batch, offering it again every `retryMs` while the queue is full. Done once
    // it is queued.
    TransferResult OfferStep(const std::shared_ptr<TransferBatch>& batch,
                             std::function<bool(CControllerModbus&)> step, int retryMs);
    TransferResult OfferRead(const std::shared_ptr<TransferBatch>& batch, int32_t id, int retryMs);
    // Waits until `count` jobs of the batch have run, checking the connection (and, when `cancellable`, the
    // progress window's Cancel) every `periodMs`.
    // `tick` (when given) runs at every check.
    TransferResult WaitForBatch(TransferBatch& batch, int count, int periodMs, bool cancellable = true,
                                const std::function<void()>& tick = {});
    TransferResult WaitForEmptyQueue(int periodMs);
    TransferResult ReadSections(std::vector<std::vector<CParameterDescription>>& sections,
                                unsigned lostMessage);
    TransferResult ReadValues(const std::vector<int32_t>& ids, const std::string& text, unsigned lostMessage);
    void ShowProgress(int pos, const std::string& text);
    // `lostMessage` 0: a lost connection is not said here.
    TransferResult End(TransferResult result, unsigned lostMessage);

    CDocParameters& m_doc;
    IUiPort& m_ui;
    std::string m_caption;
};

} // namespace quirel::paramset
