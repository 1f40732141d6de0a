#pragma once

#include "comm/JobAbstract.h"

#include <cstdint>

class CDocMeasurementSingle;

// Resets the trigger in the device (user queue), whatever has become of its run: only this disarms it.
// The document's trigger state becomes 0 while the document still belongs to the job's run.
class CJobCancelTrigger : public CJobAbstract {
public:
    // The job belongs to the document's run of now (CDocMeasurementBase::GetRun).
    explicit CJobCancelTrigger(CDocMeasurementSingle* document);
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
    uint64_t m_run;
};
