#pragma once

#include "comm/JobAbstract.h"

#include <cstdint>

class CDocMeasurementSingle;

// Reads the trigger settings the device holds into the document (poll queue). Nothing is posted. A job
// whose run has ended touches nothing.
class CJobReadTrigger : public CJobAbstract {
public:
    // The job belongs to the document's run of now (CDocMeasurementBase::GetRun).
    explicit CJobReadTrigger(CDocMeasurementSingle* document);
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
    uint64_t m_run;
};
