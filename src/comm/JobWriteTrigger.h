#pragma once

#include "comm/JobAbstract.h"

#include <cstdint>

class CDocMeasurementSingle;

// Writes the document's trigger and channel list into the device and arms the trigger (user queue):
// one request per register, in register order, the arming last. Nothing is posted; the next trigger
// query tells the outcome. A failure clears the running flag. A job whose run has ended arms nothing.
class CJobWriteTrigger : public CJobAbstract {
public:
    // The job belongs to the document's run of now (CDocMeasurementBase::GetRun).
    explicit CJobWriteTrigger(CDocMeasurementSingle* document);
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
    uint64_t m_run;
};
