#include "CommTestSupport.h"
#include "comm/DeviceIdentification.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/JobWriteParameter.h"
#include "measurement/DocMeasurementContinuous.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// The code and message of the CModbusException that `call` throws; {0, ""} when it throws none.
template <class F> std::pair<int, std::string> Failure(F&& call) {
    try {
        call();
    } catch (const CModbusException& e) {
        return {e.GetCode(), e.GetMessage()};
    }
    return {0, ""};
}

} // namespace

// Access rights and types without a register form are checked before any traffic; the requests that go out
// follow the data type's register layout, and so do the cells filled from the replies.
TEST(DeviceAccess, RequestsAndCellsFollowTheDataTypesRegisterLayoutAfterTheChecks) {
    Rig rig;
    using F = std::pair<int, std::string>;
    const F noWrite{65, "No write access to this parameter."};
    EXPECT_EQ(Failure([&] { rig.controller.ReadParameter(600); }), // "wo"
              (F{163, "Illegal Data Value exception response"}));
    EXPECT_EQ(Failure([&] { rig.controller.WriteParameter(100, PARAMVALUE(8, 0)); }), noWrite); // "ro"
    EXPECT_EQ(Failure([&] { rig.controller.WriteParameter(32, PARAMVALUE(8, 0)); }), noWrite);  // "const"
    EXPECT_TRUE(rig.controller.IsConnected()); // 65 thrown here does not disconnect
    EXPECT_THROW(rig.controller.ReadParameter(99999), CParameterException);
    // Types without a register form: WriteValue refuses, WriteRawValue shows "Data type not supported. ".
    for (uint32_t type : {1u, 9u, 10u, 0u})
        EXPECT_EQ(Failure([&] { rig.controller.WriteValue(100, type, 1); }),
                  (F{1, "Illegal argument error"}));
    rig.controller.WriteRawValue(60001, 8, 0);
    EXPECT_EQ(Shown(rig.ui), std::vector<std::string>{"Modbus error: Data type not supported. "});

    // Data type 8, "DPF lower limit" at 4011: function 16, two registers, low-order word first; then a
    // 32-bit integer, a 16-bit register and a coil.
    const uint32_t b = Bits(0.95f);
    rig.controller.WriteParameter(401, PARAMVALUE(8, b));
    rig.controller.WriteValue(2401, 7, 0xC0A80164u);
    rig.controller.WriteValue(3001, 6, 0xFFFF0002u);
    rig.controller.WriteRawValue(5, 1, 7);
    // A 20-character text in ten registers, first character in the high byte.
    const std::string serial = "AHF100-2024-00012345";
    for (int i = 0; i < 10; ++i)
        rig.device.Set(301 + i,
                       static_cast<uint16_t>((uint8_t(serial[2 * i]) << 8) | uint8_t(serial[2 * i + 1])));
    rig.controller.ReadParameter(30);
    EXPECT_EQ(TextValueTable::Get(30), serial);
    rig.device.Set(1001, 0x0000);
    rig.device.Set(1002, 0x4248); // 50.0f
    EXPECT_EQ(rig.controller.ReadParameter(100).GetFloat(), 50.0f);
    rig.device.Set(1061, 0xFFFE);
    rig.device.Set(1062, 0xFFFF);
    EXPECT_EQ(rig.controller.ReadParameter(106).raw, 0xFFFFFFFEu);
    // 16-bit reads leave the upper half of each cell as it was; coils read nothing.
    rig.device.Set(2011, 7);
    rig.device.Set(2012, 9);
    PARAMVALUE cells[2] = {PARAMVALUE(6, 0xABCD0000u), PARAMVALUE(6, 0)};
    rig.controller.ReadValues(2011, 6, cells, 2);
    EXPECT_EQ(cells[0].raw, 0xABCD0007u);
    EXPECT_EQ(cells[1].raw, 9u);
    EXPECT_EQ(rig.controller.ReadValue(1, 1).raw, 0u);
    const std::vector<Bytes> expected = {
        {16, 0x0F, 0xAA, 0, 2, 4, uint8_t(b >> 8), uint8_t(b), uint8_t(b >> 24), uint8_t(b >> 16)},
        {16, 0x09, 0x60, 0, 2, 4, 0x01, 0x64, 0xC0, 0xA8},
        {16, 0x0B, 0xB8, 0, 1, 2, 0x00, 0x02},
        {5, 0x00, 0x04, 0xFF, 0x00},
        {3, 0x01, 0x2C, 0, 10},
        {3, 0x03, 0xE8, 0, 2},
        {3, 0x04, 0x24, 0, 2},
        {3, 0x07, 0xDA, 0, 2}};
    EXPECT_EQ(rig.device.Pdus(), expected);

    // A garbled echo confirms nothing: the write fails; a garbled read is no error, the cell keeps what it
    // had. The connection stays.
    rig.device.badWriteEcho = true;
    EXPECT_EQ(Failure([&] { rig.controller.WriteValue(3001, 6, 1); }).first, 131);
    rig.device.badByteCount = true;
    PARAMVALUE kept(6, 0x1234);
    EXPECT_NO_THROW(rig.controller.ReadValues(2011, 6, &kept, 1));
    EXPECT_EQ(kept.raw, 0x1234u);
    EXPECT_TRUE(rig.controller.IsConnected());
}

// A display shows what the device holds: a refused value is read back (or, for a write-only parameter,
// forgotten), a garbled reply leaves the value shown, and a type without a register form shows its zero.
TEST(ParameterJobs, ReadsStoreAndPostAndWritesAreReadBackOrSayWhyNot) {
    Rig rig;
    ValueDocument doc;
    doc.SetValue(20, PARAMVALUE(6, 1));
    doc.SetValue(600, PARAMVALUE(6, 9));
    rig.device.Set(3001, 2);
    rig.device.onRequest = [&](const Bytes& pdu) {
        rig.device.badByteCount = pdu == Bytes{3, 0x00, 0xC8, 0, 1}; // 20, at 201
        const int address = pdu[1] << 8 | pdu[2];
        return pdu[0] == 16 && (address == 3000 || address == 6000) ? 3 : 0; // 300 and 600 refused
    };
    for (const CParameterValue& v : {CParameterValue(100, 8, 0), CParameterValue(310, 6, 500),
                                     CParameterValue(300, 6, 7), CParameterValue(600, 6, 9)})
        ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobWriteParameter>(v, &doc)));
    for (int32_t id : {20, 610})
        ASSERT_TRUE(rig.controller.AddPollJob(ReadJob(doc, id)));
    rig.controller.StartThread();
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));

    EXPECT_EQ(doc.Get(310), PARAMVALUE(6, 500));
    EXPECT_EQ(doc.Get(300), PARAMVALUE(6, 2));
    EXPECT_FALSE(doc.Get(600));
    EXPECT_EQ(doc.Get(20), PARAMVALUE(6, 1));
    EXPECT_EQ(doc.Get(610), PARAMVALUE(10, 0));
    EXPECT_EQ(Hints(rig.ui), (std::vector<int64_t>{100, 310, 300, 600, 610})); // 100 refused here, read back
    ASSERT_EQ(rig.ui.Updates()[0].doc, &doc);
    EXPECT_EQ(Shown(rig.ui), (std::vector<std::string>{
                                 "Error writing parameter: 100: No write access to this parameter.",
                                 "Error writing parameter: 300: Illegal Data Value exception response",
                                 "Error writing parameter: 600: Illegal Data Value exception response"}));
    EXPECT_TRUE(rig.controller.IsConnected());
}

TEST(ParameterJobs, SamplingReadsEachChannelInOrderWholeOrNotAtAllAndStopsOnAFailure) {
    Rig rig;
    CDocMeasurementContinuous doc(&DemoCatalogue(), &rig.ui);
    doc.InitMeasurement(1, {100, 150}, CMeasStart());
    rig.device.Set(1002, 0x4248);
    rig.device.Set(1501, 41);
    rig.controller.StartThread();
    auto sample = [&] {
        rig.ui.Clear();
        ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&doc)));
        ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    };
    sample();
    EXPECT_TRUE(rig.device.Pdus().empty()); // not running: nothing sent, nothing posted
    EXPECT_TRUE(rig.ui.Updates().empty());

    doc.SetRunning(true);
    sample();
    EXPECT_EQ(rig.device.Pdus(), (std::vector<Bytes>{{3, 0x03, 0xE8, 0, 2}, {3, 0x05, 0xDC, 0, 1}}));
    ASSERT_EQ(doc.GetValueCount(0), 1u);
    EXPECT_EQ(doc.GetValue(0, 0), 50.0);
    EXPECT_EQ(doc.GetCell(1, 0), PARAMVALUE(2, 41));
    EXPECT_EQ(Hints(rig.ui), std::vector<int64_t>{UpdateHint::kDataChanged});

    // A garbled reply on the second channel skips the sample: no 0 the device never sent, and both
    // channels stay of one length.
    rig.device.onRequest = [&](const Bytes& pdu) {
        rig.device.badByteCount = pdu == Bytes{3, 0x05, 0xDC, 0, 1};
        return 0;
    };
    sample();
    EXPECT_EQ(doc.GetValueCount(1), 1u);
    EXPECT_TRUE(rig.ui.Updates().empty());
    EXPECT_TRUE(doc.IsRunning());

    // A failure stops the measurement and says so; the sample is added whole or not at all.
    doc.InitMeasurement(1, {100, 4711}, CMeasStart());
    doc.SetRunning(true);
    sample();
    EXPECT_FALSE(doc.IsRunning());
    EXPECT_EQ(Hints(rig.ui), std::vector<int64_t>{UpdateHint::kRunning});
    EXPECT_EQ(Shown(rig.ui), std::vector<std::string>{"Read parameter: Parameter not found: 4711"});
    EXPECT_EQ(doc.GetValueCount(0), 0u);
}

TEST(DeviceIdentification, TakesTheFirstThreeObjectsUpToTheirZeroByteOrLength) {
    // The product code has no zero byte inside its length: it is cut at the length.
    const uint8_t list[] = {0, 4, 'A', 'B', 0, 'x', 1, 3, 'P', '1', '0', 2, 6, 'V', '2', '.', '1', '4', 0};
    DeviceIdentification id = ParseDeviceIdentification(list, sizeof list);
    EXPECT_EQ(id.vendorName + "/" + id.productCode + "/" + id.revision, "AB/P10/V2.14");
    // A length running past the buffer is cut at the buffer's end; missing objects stay empty.
    const uint8_t cut[] = {0, 200, 'L', 'o', 'n', 'g'};
    id = ParseDeviceIdentification(cut, sizeof cut);
    EXPECT_EQ(id.vendorName + "/" + id.productCode + "/" + id.revision, "Long//");
}
