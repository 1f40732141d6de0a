#pragma once

#include "comm/JobAbstract.h"

class CDocMeasurementSingle;

// Reads the captured traces of every channel into the document (poll queue): per channel the value
// count, then blocks of 62 values, the running flag tested before each block; then resets the trigger
// in the device, sets the trigger state to 0, clears the running flag and posts hint 0.
class CJobReadTraces : public CJobAbstract {
public:
    explicit CJobReadTraces(CDocMeasurementSingle* document) : m_document(document) {}
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
};
