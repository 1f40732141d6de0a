#pragma once

#include "comm/JobAbstract.h"

#include <cstdint>

class CDocMeasurementSingle;

// Reads the captured traces of every channel into the document (poll queue): per channel the value
// count, then blocks of 62 values, the running flag tested before each block; then resets the trigger
// in the device, sets the trigger state to 0, clears the running flag and posts hint 0. A job whose run
// has ended before it began touches nothing; one whose run ends on the way stops adding values and leaves
// the document as the run's end made it.
class CJobReadTraces : public CJobAbstract {
public:
    // The job belongs to the document's run of now (CDocMeasurementBase::GetRun).
    explicit CJobReadTraces(CDocMeasurementSingle* document);
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
    uint64_t m_run;
};
