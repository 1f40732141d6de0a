#pragma once

#include "comm/JobAbstract.h"

class CDocMeasurementContinuous;

// One sample of a continuous measurement (user queue): one read per channel, in channel order, appended
// to the document, then one document update. A stopped measurement is left alone; a failure stops it.
class CJobUpdateDocMeasurementCont : public CJobAbstract {
public:
    explicit CJobUpdateDocMeasurementCont(CDocMeasurementContinuous* document) : m_document(document) {}
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementContinuous* m_document;
};
