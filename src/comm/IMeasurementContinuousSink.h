#pragma once

#include "base/Document.h"
#include "parameters/ParamValue.h"

#include <string>

// What the sampling job needs of the continuous-measurement document. The running flag is set by the
// user-interface thread and read by the worker, so implementations keep it atomic. SetRunning only stores
// the flag; whoever changes it posts the running hint.
class IMeasurementContinuousSink : public CDocument {
public:
    virtual bool IsRunning() const = 0;
    virtual void SetRunning(bool running) = 0;
    virtual int GetChannelCount() const = 0;
    // The catalogue name of channel i's parameter.
    virtual std::string GetChannelName(int i) const = 0;
    // Appends the cell to channel i (worker thread; the views read after the posted update).
    virtual void AddValue(int i, const PARAMVALUE& value) = 0;
};
