#pragma once

#include <string>
#include <vector>

namespace quirel::sim {

// One catalogue parameter as the simulated device serves it.
struct SimParameter {
    int id = 0;
    std::string name;
    int address = 0; // register reference, counted from 1
    int dataType = 0;
    int access = 0; // 0 ro, 1 rw, 2 const, 3 wo
    int precision = 0;
    std::string unit;
    std::vector<std::string> valueTexts;
};

struct SimCatalogue {
    std::vector<SimParameter> parameters;
    std::string fileBytes; // the catalogue file as served by the file records
    std::string vendorName;
    std::string productCode;
    std::string revision; // [DeviceId] Revision of the file
};

// Loads the catalogue (English texts) and its raw bytes. False with a message when it cannot be read.
bool loadSimCatalogue(const std::string& path, SimCatalogue& catalogue, std::string& error);

// The catalogue bytes with [DeviceId] Revision set to revision (section and key added when missing);
// every other line stays as it was.
std::string withDeviceIdRevision(const std::string& bytes, const std::string& revision);

// Where the demo catalogue is found when no --catalogue is given: share/quirel beside the program's bin
// folder (installed), the source's resources (a build tree), where the build was configured to install it.
std::string defaultCataloguePath();

} // namespace quirel::sim
