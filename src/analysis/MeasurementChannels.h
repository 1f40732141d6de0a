#pragma once

#include "analysis/DerivedChannel.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CDocMeasurementSingle;

namespace quirel::analysis {

// One channel as the figures take it: the values as stored, in time order.
struct Channel {
    uint32_t id = 0;
    std::string name, unit; // from the catalogue; "--" and empty when it does not know the parameter
    bool derived = false;
    std::vector<double> values;
};

struct MeasurementChannels {
    double sampleRateHz = 0.0;
    std::vector<Channel> channels;  // the captured ones in file order, then the derived ones as defined
    std::vector<std::string> notes; // derived channels shortened to their shorter source
    std::string error;              // a derived channel that cannot be computed; no derived channel is then

    // The first channel with this identifier, or null.
    const Channel* Find(uint32_t id) const;
};

// The channels of a single measurement and the derived channels computed from them. A derived channel
// may use captured channels and those defined before it; its identifier must be new. Sources of
// different lengths give the shorter length, with a note.
MeasurementChannels CollectChannels(const CDocMeasurementSingle& doc,
                                    std::span<const DerivedChannel> derived);

// The mains frequency figures fall back on where a channel has no fundamental: the nominal one (50 or 60)
// nearest to the first fundamental found, else 50.
int NominalMainsHz(const MeasurementChannels& m);

} // namespace quirel::analysis
