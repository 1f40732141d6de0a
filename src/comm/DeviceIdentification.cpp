#include "comm/DeviceIdentification.h"

DeviceIdentification ParseDeviceIdentification(const uint8_t* objects, std::size_t size) {
    DeviceIdentification id;
    std::string* fields[] = {&id.vendorName, &id.productCode, &id.revision};
    std::size_t pos = 0;
    for (std::string* field : fields) {
        if (pos + 2 > size)
            break;
        const std::size_t length = objects[pos + 1];
        const std::size_t start = pos + 2;
        const std::size_t end = start + length < size ? start + length : size;
        std::size_t stop = start;
        while (stop < end && objects[stop] != 0)
            ++stop;
        field->assign(reinterpret_cast<const char*>(objects) + start, stop - start);
        pos = start + length;
    }
    return id;
}
