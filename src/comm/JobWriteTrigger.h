#pragma once

#include "comm/JobAbstract.h"

class CDocMeasurementSingle;

// Writes the document's trigger and channel list into the device and arms the trigger (user queue):
// one request per register, in register order, the arming last. Nothing is posted; the next trigger
// query tells the outcome. A failure clears the running flag.
class CJobWriteTrigger : public CJobAbstract {
public:
    explicit CJobWriteTrigger(CDocMeasurementSingle* document) : m_document(document) {}
    void Execute(CControllerModbus& controller) override;

private:
    CDocMeasurementSingle* m_document;
};
