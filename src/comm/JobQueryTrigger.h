#pragma once

#include "comm/JobAbstract.h"

class CDocMeasurementSingle;

// Reads the device's trigger state into the document and posts the trigger-state hint (poll queue).
class CJobQueryTrigger : public CJobAbstract {
public:
    explicit CJobQueryTrigger(CDocMeasurementSingle* document) : m_document(document) {}
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
};
