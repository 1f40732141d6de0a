#pragma once

#include "comm/JobAbstract.h"

class CDocMeasurementSingle;

// Resets the trigger in the device (user queue); the document's trigger state becomes 0.
class CJobCancelTrigger : public CJobAbstract {
public:
    explicit CJobCancelTrigger(CDocMeasurementSingle* document) : m_document(document) {}
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
};
