#include "comm/JobQueue.h"
#include "CommTestSupport.h"
#include "comm/ControllerModbus.h"
#include "comm/DeviceIdentification.h"

#include <gtest/gtest.h>

using namespace quirel::test;

TEST(JobQueue, KeepsOrderRefusesBeyondCapacityAndOwnsWhatItHolds) {
    JobLog log;
    {
        CJobQueue queue(3);
        EXPECT_EQ(queue.GetCapacity(), 3);
        EXPECT_TRUE(queue.IsEmpty());
        for (const char* name : {"a", "b", "c"}) {
            auto job = log.Job(name);
            EXPECT_TRUE(queue.Push(job));
            EXPECT_EQ(job, nullptr);
        }
        EXPECT_TRUE(queue.IsFull());
        auto refused = log.Job("d");
        EXPECT_FALSE(queue.Push(refused));
        ASSERT_NE(refused, nullptr); // handed back to the caller
        refused.reset();
        EXPECT_EQ(log.destroyed, 1);

        auto first = queue.Pop();
        ASSERT_NE(first, nullptr);
        CControllerModbus controller;
        first->Execute(controller);
        EXPECT_EQ(log.names, std::vector<std::string>{"a"});
        EXPECT_EQ(queue.GetCount(), 2);
        EXPECT_EQ(queue.Clear(), 2);
        EXPECT_EQ(log.destroyed, 3);
        EXPECT_EQ(queue.Pop(), nullptr);

        auto left = log.Job("e");
        EXPECT_TRUE(queue.Push(left));
        first.reset();
    }
    EXPECT_EQ(log.destroyed, 5); // the queue's destructor deleted "e"
    EXPECT_EQ(CJobQueue().GetCapacity(), 20);
}

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
