#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The basic device identification: the first three objects of the object list that
// ReadDeviceIdentification delivers (object number, length, value bytes, one after another).
struct DeviceIdentification {
    std::string vendorName;
    std::string productCode;
    std::string revision;
};

// Each value runs to its first zero byte, and never past its own length or the end of the buffer, so a
// device that does not terminate its texts still gives whole values. Missing objects stay empty.
DeviceIdentification ParseDeviceIdentification(const uint8_t* objects, std::size_t size);
