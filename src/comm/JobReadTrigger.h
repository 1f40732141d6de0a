#pragma once

#include "comm/JobAbstract.h"

class CDocMeasurementSingle;

// Reads the trigger settings the device holds into the document (poll queue). Nothing is posted.
class CJobReadTrigger : public CJobAbstract {
public:
    explicit CJobReadTrigger(CDocMeasurementSingle* document) : m_document(document) {}
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
};
