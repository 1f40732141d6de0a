#pragma once

#include "measurement/MeasStart.h"
#include "measurement/Trigger.h"

#include <cstdint>
#include <functional>
#include <vector>

class CControllerModbus;
class CDocMeasurementSingle;

// One triggered single measurement, as the single-measurement window and the command line's capture both
// drive it: arm the trigger, poll its state, read trigger and traces once the capture is complete, cancel.
//
// The run owns its jobs: each notes the document's run when it is created, and the document's run moves
// on when this one ends (a cancel, a new start, a file opened), so a job still queued for it touches
// nothing. The driver keeps the clock: it calls Poll every kPollMs while IsPolling(), and hands every
// document hint to OnHint. One thread only (the user interface's, or the command line's).
class CSingleMeasurementRun {
public:
    static constexpr int kPollMs = 1000;

    // What a hint or Adopt came to, beyond what the document shows.
    enum class Reaction {
        kNone,
        kReadingTraces, // the capture is complete: trigger and traces are being read
        kEnded,         // the device holds no trigger (any more), or cannot be asked: nothing will come
    };
    struct Started {
        bool documentReset = false; // the document was emptied and holds the new measurement
        unsigned refusal = 0;       // 0, or the string to show: 133, 135, 138, or 178 (not queued)
    };

    CSingleMeasurementRun(CDocMeasurementSingle& doc, CControllerModbus& controller);

    // Told each time polling starts or stops.
    void OnPollingChanged(std::function<void(bool polling)> changed) {
        m_pollingChanged = std::move(changed);
    }

    // The start checks (nothing changes when one fails); then the document is emptied and set up, the
    // trigger write queued, the running flag set and the trigger state queried at once.
    Started Start(const CTrigger& trigger, const std::vector<uint32_t>& ids, const CMeasStart& start);
    // One trigger-state query (a refused one is dropped).
    void Poll();
    // Polling stops, the run ends, and the trigger is reset in the device.
    void Cancel();
    // The running hint stops the polling of a measurement that no longer runs; the trigger-state hint
    // moves the run on: 1 or 2 keep polling, 3 reads trigger and traces once, 0 ends it. An armed trigger
    // found while nothing runs is taken up (its settings read back, then polled).
    Reaction OnHint(int64_t hint);
    // A document this run did not start (a window shown anew, a last measurement loaded): when it says
    // it runs or is armed, the device is asked again, or, not connected, it no longer runs.
    Reaction Adopt();

    bool IsPolling() const { return m_polling; }
    // From the trigger state 3 on, until the next start, take-up or cancel.
    bool IsReadingTraces() const { return m_reading; }

private:
    Reaction OnTriggerState();
    bool TakeUp();
    void SetPolling(bool polling);

    CDocMeasurementSingle& m_doc;
    CControllerModbus& m_controller;
    std::function<void(bool)> m_pollingChanged;
    bool m_polling = false;
    // Set once the traces of this run are being read, or the run was cancelled: they are read only once.
    bool m_latch = false;
    bool m_reading = false;
    // From Start on: until the document has seen the trigger armed, a "no trigger" read was taken before
    // the trigger was written and must not end the polling.
    bool m_awaitingArm = false;
};
