#include "comm/DeviceIdentification.h"

#include <gtest/gtest.h>

TEST(DeviceIdentification, TakesTheFirstThreeObjectsUpToTheirZeroByteOrLength) {
    const uint8_t list[] = {0, 4, 'A', 'B', 0, 'x', 1, 3, 'P', '1', '0', 2, 6, 'V', '2', '.', '1', '4', 0};
    DeviceIdentification id = ParseDeviceIdentification(list, sizeof list);
    EXPECT_EQ(id.vendorName, "AB");
    EXPECT_EQ(id.productCode, "P10"); // no zero byte inside its length: cut at the length
    EXPECT_EQ(id.revision, "V2.14");

    // A length running past the buffer is cut at the buffer's end; missing objects stay empty.
    const uint8_t cut[] = {0, 200, 'L', 'o', 'n', 'g'};
    id = ParseDeviceIdentification(cut, sizeof cut);
    EXPECT_EQ(id.vendorName, "Long");
    EXPECT_EQ(id.productCode, "");
    EXPECT_EQ(id.revision, "");
}
