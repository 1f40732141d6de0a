#include "CommTestSupport.h"
#include "base/RecordingUiPort.h"
#include "base/StringTable.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateDocMeasurementCont.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "measurement/DocMeasurementContinuous.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace quirel::test;

namespace {

// Connected, worker not started: the test thread plays the worker.
struct Rig {
    RegisterDevice device;
    RecordingUiPort ui;
    CControllerModbus controller{MutableDemoCatalogue(), &ui};
    Rig() {
        controller.SetTcpSettings(device.Host());
        EXPECT_TRUE(controller.Connect());
        ui.Clear();
    }
    void RunQueued() {
        controller.StartThread();
        EXPECT_TRUE(controller.WaitForIdle(10000));
    }
};

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

} // namespace

TEST(DeviceAccess, AccessRightsAreCheckedBeforeAnyTraffic) {
    Rig rig;
    try {
        rig.controller.ReadParameter(600); // "wo"
        FAIL();
    } catch (const CModbusException& e) {
        EXPECT_EQ(e.GetCode(), 163);
        EXPECT_EQ(e.GetMessage(), "Illegal Data Value exception response");
    }
    for (int32_t id : {100, 32}) { // "ro", "const"
        try {
            rig.controller.WriteParameter(id, PARAMVALUE(8, 0));
            FAIL();
        } catch (const CModbusException& e) {
            EXPECT_EQ(e.GetCode(), 65);
            EXPECT_EQ(e.GetMessage(), "No write access to this parameter.");
        }
    }
    quirel::setUiLanguage(quirel::kLanguageGerman);
    try {
        rig.controller.WriteParameter(100, PARAMVALUE(8, 0));
        FAIL();
    } catch (const CModbusException& e) {
        EXPECT_EQ(e.GetMessage(), "Kein Schreibzugriff f\xC3\xBCr aktuellen Parameter.");
    }
    quirel::setUiLanguage(quirel::kLanguageEnglish);
    EXPECT_TRUE(rig.controller.IsConnected()); // 65 thrown here does not disconnect
    EXPECT_THROW(rig.controller.ReadParameter(99999), CParameterException);
    EXPECT_TRUE(rig.device.Pdus().empty());
}

TEST(DeviceAccess, RequestsFollowTheDataTypesRegisterLayout) {
    Rig rig;
    // Data type 8, "DPF lower limit" at 4011: function 16, two registers, low-order word first.
    rig.controller.WriteParameter(401, PARAMVALUE(8, Bits(0.95f)));
    const uint32_t b = Bits(0.95f);
    // 32-bit integer, 16-bit register, coil.
    rig.controller.WriteValue(2401, 7, 0xC0A80164u);
    rig.controller.WriteValue(3001, 6, 0xFFFF0002u);
    rig.controller.WriteRawValue(5, 1, 7);
    auto pdus = rig.device.Pdus();
    ASSERT_EQ(pdus.size(), 4u);
    EXPECT_EQ(pdus[0], (Bytes{16, 0x0F, 0xAA, 0, 2, 4, uint8_t(b >> 8), uint8_t(b), uint8_t(b >> 24),
                              uint8_t(b >> 16)}));
    EXPECT_EQ(pdus[1], (Bytes{16, 0x09, 0x60, 0, 2, 4, 0x01, 0x64, 0xC0, 0xA8}));
    EXPECT_EQ(pdus[2], (Bytes{16, 0x0B, 0xB8, 0, 1, 2, 0x00, 0x02}));
    EXPECT_EQ(pdus[3], (Bytes{5, 0x00, 0x04, 0xFF, 0x00}));

    // Types without a register form: WriteValue refuses with "Illegal argument error", WriteRawValue
    // shows "Data type not supported. "; neither sends anything.
    try {
        rig.controller.WriteParameter(610, PARAMVALUE(10, 0)); // const: refused before the type matters
        FAIL();
    } catch (const CModbusException& e) {
        EXPECT_EQ(e.GetCode(), 65);
    }
    for (uint32_t type : {1u, 9u, 10u, 0u}) {
        try {
            rig.controller.WriteValue(100, type, 1);
            FAIL();
        } catch (const CModbusException& e) {
            EXPECT_EQ(e.GetCode(), 1);
            EXPECT_EQ(e.GetMessage(), "Illegal argument error");
        }
    }
    rig.controller.WriteRawValue(60001, 8, 0);
    ASSERT_EQ(rig.ui.Boxes().size(), 1u);
    EXPECT_EQ(rig.ui.Boxes()[0].text, "Data type not supported. ");
    EXPECT_EQ(rig.ui.Boxes()[0].caption, "Modbus error");
    EXPECT_EQ(rig.device.Pdus().size(), 4u);
    // A garbled echo confirms nothing: the write fails, and the connection stays.
    rig.device.badWriteEcho = true;
    EXPECT_THROW(rig.controller.WriteValue(3001, 6, 1), CModbusException);
    EXPECT_TRUE(rig.controller.IsConnected());
}

TEST(DeviceAccess, ReadsFillCellsInTheirLayout) {
    Rig rig;
    // A 20-character text in ten registers, first character in the high byte.
    const std::string serial = "AHF100-2024-00012345";
    for (int i = 0; i < 10; ++i)
        rig.device.Set(301 + i,
                       static_cast<uint16_t>((uint8_t(serial[2 * i]) << 8) | uint8_t(serial[2 * i + 1])));
    rig.controller.ReadParameter(30);
    EXPECT_EQ(TextValueTable::Get(30), serial);
    PARAMVALUE text(9, 0);
    rig.controller.ReadValues(301, 9, &text, 5); // the count does not matter
    EXPECT_EQ(text.raw, 0u);

    rig.device.Set(1001, 0x0000);
    rig.device.Set(1002, 0x4248); // 50.0f
    EXPECT_EQ(rig.controller.ReadParameter(100).GetFloat(), 50.0f);
    rig.device.Set(1061, 0xFFFE);
    rig.device.Set(1062, 0xFFFF);
    EXPECT_EQ(rig.controller.ReadParameter(106).raw, 0xFFFFFFFEu);

    // 16-bit reads leave the upper half of each cell as it was.
    rig.device.Set(2011, 7);
    rig.device.Set(2012, 9);
    PARAMVALUE cells[2] = {PARAMVALUE(6, 0xABCD0000u), PARAMVALUE(6, 0)};
    rig.controller.ReadValues(2011, 6, cells, 2);
    EXPECT_EQ(cells[0].raw, 0xABCD0007u);
    EXPECT_EQ(cells[1].raw, 9u);
    EXPECT_EQ(rig.controller.ReadValue(1, 1).raw, 0u); // coils: nothing is read

    auto pdus = rig.device.Pdus();
    ASSERT_EQ(pdus.size(), 5u);
    EXPECT_EQ(pdus[0], (Bytes{3, 0x01, 0x2C, 0, 10}));
    EXPECT_EQ(pdus[1], (Bytes{3, 0x01, 0x2C, 0, 10}));
    EXPECT_EQ(pdus[2], (Bytes{3, 0x03, 0xE8, 0, 2}));
    EXPECT_EQ(pdus[4], (Bytes{3, 0x07, 0xDA, 0, 2}));

    // An invalid reply (byte count off) is ignored: no error, the cell keeps what it had.
    rig.device.badByteCount = true;
    PARAMVALUE kept(6, 0x1234);
    EXPECT_NO_THROW(rig.controller.ReadValues(2011, 6, &kept, 1));
    EXPECT_EQ(kept.raw, 0x1234u);
    EXPECT_TRUE(rig.controller.IsConnected());
}

TEST(ParameterJobs, ReadStoresAndPostsWriteReportsWithItsCaption) {
    Rig rig;
    ValueDocument doc;
    rig.device.Set(3001, 2);
    ASSERT_TRUE(rig.controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 300, CParameterValue(300, 6, 0))));
    CParameterValue ro(100, 8, Bits(49.0f));
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobWriteParameter>(ro)));
    CParameterValue rw(310, 6, 500);
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobWriteParameter>(rw)));
    rig.RunQueued();

    EXPECT_EQ(doc.Get(300), PARAMVALUE(6, 2));
    ASSERT_EQ(rig.ui.Updates().size(), 1u);
    EXPECT_EQ(rig.ui.Updates()[0].doc, &doc);
    EXPECT_EQ(rig.ui.Updates()[0].hint, 300);
    ASSERT_EQ(rig.ui.Boxes().size(), 1u);
    EXPECT_EQ(rig.ui.Boxes()[0].caption, "Error writing parameter: 100");
    EXPECT_EQ(rig.ui.Boxes()[0].text, "No write access to this parameter.");
    EXPECT_EQ(rig.device.Get(3101), 500);
    EXPECT_TRUE(rig.controller.IsConnected());
}

TEST(ParameterJobs, AGarbledReplyLeavesTheShownValueAsItWas) {
    Rig rig;
    ValueDocument doc;
    doc.SetValue(300, PARAMVALUE(6, 1));
    rig.device.Set(3001, 2);
    rig.device.badByteCount = true; // 131: passes without a message
    ASSERT_TRUE(rig.controller.AddPollJob(
        std::make_unique<CJobUpdateVisibleParameter>(&doc, 300, CParameterValue(300, 6, 0))));
    rig.RunQueued();
    EXPECT_EQ(doc.Get(300), PARAMVALUE(6, 1));
    EXPECT_TRUE(rig.ui.Updates().empty());
    EXPECT_TRUE(rig.ui.Boxes().empty());
    EXPECT_TRUE(rig.controller.IsConnected());
}

TEST(ParameterJobs, SamplingReadsEachChannelInOrderAndLeavesAStoppedMeasurementAlone) {
    Rig rig;
    CDocMeasurementContinuous doc(&DemoCatalogue(), &rig.ui);
    doc.InitMeasurement(1, {100, 150}, CMeasStart());
    rig.device.Set(1002, 0x4248);
    rig.device.Set(1501, 41);
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&doc)));
    rig.RunQueued();
    EXPECT_TRUE(rig.device.Pdus().empty()); // not running: nothing sent, nothing posted
    EXPECT_TRUE(rig.ui.Updates().empty());

    doc.SetRunning(true);
    rig.ui.Clear();
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&doc)));
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    auto pdus = rig.device.Pdus();
    ASSERT_EQ(pdus.size(), 2u);
    EXPECT_EQ(pdus[0], (Bytes{3, 0x03, 0xE8, 0, 2}));
    EXPECT_EQ(pdus[1], (Bytes{3, 0x05, 0xDC, 0, 1}));
    ASSERT_EQ(doc.GetValueCount(0), 1u);
    EXPECT_EQ(doc.GetValue(0, 0), 50.0);
    EXPECT_EQ(doc.GetCell(1, 0), PARAMVALUE(2, 41));
    ASSERT_EQ(rig.ui.Updates().size(), 1u);
    EXPECT_EQ(rig.ui.Updates()[0].hint, UpdateHint::kDataChanged);

    // A garbled reply on the second channel skips the sample: no 0 the device never sent, and both
    // channels stay of one length.
    rig.device.onRequest = [&](const Bytes& pdu) {
        rig.device.badByteCount = pdu == Bytes{3, 0x05, 0xDC, 0, 1};
        return 0;
    };
    rig.ui.Clear();
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&doc)));
    ASSERT_TRUE(rig.controller.WaitForIdle(10000));
    EXPECT_EQ(doc.GetValueCount(0), 1u);
    EXPECT_EQ(doc.GetValueCount(1), 1u);
    EXPECT_TRUE(rig.ui.Updates().empty());
    EXPECT_TRUE(doc.IsRunning());
}

TEST(ParameterJobs, AFailedSampleStopsTheMeasurementAndSaysSo) {
    Rig rig;
    CDocMeasurementContinuous doc(&DemoCatalogue(), &rig.ui);
    doc.InitMeasurement(1, {100, 4711}, CMeasStart());
    doc.SetRunning(true);
    rig.ui.Clear();
    ASSERT_TRUE(rig.controller.AddUserJob(std::make_unique<CJobUpdateDocMeasurementCont>(&doc)));
    rig.RunQueued();
    EXPECT_FALSE(doc.IsRunning());
    ASSERT_EQ(rig.ui.Updates().size(), 1u);
    EXPECT_EQ(rig.ui.Updates()[0].hint, UpdateHint::kRunning);
    ASSERT_EQ(rig.ui.Boxes().size(), 1u);
    EXPECT_EQ(rig.ui.Boxes()[0].caption, "Read parameter");
    EXPECT_EQ(rig.ui.Boxes()[0].text, "Parameter not found: 4711");
    EXPECT_EQ(doc.GetValueCount(0), 0u); // a sample is added whole or not at all
}
