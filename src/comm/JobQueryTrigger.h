#pragma once

#include "comm/JobAbstract.h"

#include <cstdint>

class CDocMeasurementSingle;

// Reads the device's trigger state into the document and posts the trigger-state hint (poll queue). A
// job whose run has ended touches nothing.
class CJobQueryTrigger : public CJobAbstract {
public:
    // The job belongs to the document's run of now (CDocMeasurementBase::GetRun).
    explicit CJobQueryTrigger(CDocMeasurementSingle* document);
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
    uint64_t m_run;
};
