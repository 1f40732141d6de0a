// The check at connect and the catalogue download, against the simulated filter and, where the exact
// requests matter, a scripted device.
#include "app/CatalogueDownload.h"
#include "app/ConnectCheck.h"

#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/RecordingUiPort.h"
#include "comm/ControllerModbus.h"
#include "parameters/ParameterManager.h"

#include "CommTestSupport.h"
#include "SimProcess.h"
#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quirel::app;
using quirel::test::Bytes;

namespace {

const std::string kDemoCatalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";

// The program around the check, as far as the check sees it; the download goes below a private folder.
struct Host : IConnectCheckHost {
    explicit Host(const std::string& host, std::string catalogue = kDemoCatalogue, std::string target = "")
        : loaded(std::move(catalogue)), target(target.empty() ? folder.File("dlParameters.ini") : target) {
        controller.SetTcpSettings(host);
        controller.StartThread();
    }
    CControllerModbus& Controller() override { return controller; }
    IUiPort& Ui() override { return ui; }
    std::string LoadedCataloguePath() override { return loaded; }
    std::string GetCatalogueFileName() override { return name; }
    void SetCatalogueFileName(const std::string& n) override { name = n; }
    std::string DownloadTarget() override { return target; }
    void SetIdentificationUnreadable(bool u) override { unreadable = u; }
    void SetDeviceIdentification(const DeviceIdentification& i) override { identification = i; }
    void SetRevisionDiffers(bool d) override { differs = d; }
    bool OfferDownload() override { return ++offers, accept; }
    void DisconnectAsCommand() override { controller.Disconnect(); }
    void ExitProgram() override { ++exits; }

    ConnectCheckOutcome ConnectAndCheck() {
        EXPECT_TRUE(controller.Connect());
        return RunConnectCheck(*this);
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& b : ui.Boxes())
            texts.push_back(b.text + (b.icon == MbIcon::Error ? " [error]" : " [information]"));
        return texts;
    }

    TempFolder folder;
    RecordingUiPort ui;
    CControllerModbus controller{nullptr, &ui};
    std::string loaded, target, name = "Parameters.ini";
    DeviceIdentification identification;
    bool unreadable = false, differs = false, accept = false;
    int offers = 0, exits = 0;
};

const char kRestart[] = "Please restart the application for the changes to take effect. [information]";
const char kNotDownloaded[] = "Couldn't download parameters.ini.\nUsing default values. [error]";
const char kWrongCatalogue[] = "Wrong Parameters.ini loaded. Application is shutting down!";

// A device that serves `text` in its catalogue files and answers the identification; every request is
// kept. A block of `garbledFile` at `garbledRecord` comes back with a byte count the master rejects.
class CatalogueDevice {
public:
    explicit CatalogueDevice(std::string text) : m_text(std::move(text)) {
        m_peer = std::make_unique<quirel::test::ScriptedTcpPeer>(
            [this](const Bytes& request, int) { return Answer(request); });
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_peer->port()); }
    size_t Requests() const { return m_peer->requests().size(); }
    int garbledFile = -1, garbledRecord = -1;
    bool garbledIdentification = false; // a reply of another MEI type (131)

private:
    std::vector<quirel::test::PeerStep> Answer(const Bytes& request) {
        const Bytes pdu(request.begin() + 7, request.end());
        Bytes reply;
        if (pdu.at(0) == 43) {
            reply = {0x2B, static_cast<uint8_t>(garbledIdentification ? 0x0D : 0x0E), 0x01, 0x81, 0x00, 0x00,
                     0x03};
            for (const std::string value : {"Tolvane", "AHF-100", "V9.9"}) {
                reply.push_back(static_cast<uint8_t>(reply.size())); // any object number
                reply.push_back(32);
                for (size_t i = 0; i < 32; ++i)
                    reply.push_back(i < value.size() ? static_cast<uint8_t>(value[i]) : 0);
            }
        } else {
            const int file = (pdu.at(3) << 8) | pdu.at(4), record = (pdu.at(5) << 8) | pdu.at(6);
            const int length = (pdu.at(7) << 8) | pdu.at(8);
            const bool garbled = file == garbledFile && record == garbledRecord;
            reply = {0x14, static_cast<uint8_t>(2 * length + (garbled ? 0 : 2)),
                     static_cast<uint8_t>(1 + 2 * length), 6};
            const size_t from = static_cast<size_t>(file - 2) * 20000 + static_cast<size_t>(record) * 2;
            for (size_t i = 0; i < static_cast<size_t>(2 * length); ++i)
                reply.push_back(from + i < m_text.size() ? static_cast<uint8_t>(m_text[from + i]) : 0);
        }
        return {{quirel::test::mbap(request, reply)}};
    }

    std::string m_text;
    std::unique_ptr<quirel::test::ScriptedTcpPeer> m_peer;
};

} // namespace

// Revisions compare exactly and with letter case; Cancel in the offer disconnects at once.
TEST(ConnectCheck, ComparesRevisionsExactlyAndDisconnectsOnCancel) {
    for (const auto& [revision, outcome] : {std::pair{"V2.14", ConnectCheckOutcome::Same},
                                            {"V2.15", ConnectCheckOutcome::Declined},
                                            {"v2.14", ConnectCheckOutcome::Declined}}) {
        SimProcess sim({"--tcp", "0", "--revision", revision});
        ASSERT_TRUE(sim.ready());
        Host host(sim.tcpHost());
        EXPECT_EQ(host.ConnectAndCheck(), outcome);
        EXPECT_EQ(host.identification.revision, revision);
        const bool same = outcome == ConnectCheckOutcome::Same;
        EXPECT_TRUE(host.differs != same && host.offers == (same ? 0 : 1) &&
                    host.controller.IsConnected() == same);
        // The parameter views learn of the connection once the offer has closed (connect starts with a
        // disconnect).
        const std::vector<int> states = same ? std::vector<int>{0, 1} : std::vector<int>{0, 1, 1, 0};
        EXPECT_EQ(host.ui.States(), states);
        EXPECT_TRUE(host.ui.Boxes().empty());
        EXPECT_FALSE(std::filesystem::exists(host.target));
    }
}

TEST(ConnectCheck, DownloadsTheDeviceCatalogueWhichMatchesAfterARestart) {
    SimProcess sim({"--tcp", "0", "--revision", "V2.15"});
    ASSERT_TRUE(sim.ready());
    Host host(sim.tcpHost());
    host.accept = true;
    EXPECT_EQ(host.ConnectAndCheck(), ConnectCheckOutcome::Downloaded);
    EXPECT_EQ(host.name, "dlParameters.ini");
    EXPECT_EQ(host.exits, 1);
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{kRestart});
    ASSERT_FALSE(host.ui.ProgressSteps().empty());
    EXPECT_EQ(host.ui.ProgressSteps().back().caption, "Reading firmware information");
    EXPECT_EQ(host.ui.ProgressEnds(), 1);

    // The whole catalogue came, with the device's identification in its [DeviceId].
    const std::string bytes =
        quirel::readWholeFile(host.target, quirel::kMaxMeasurementFileBytes).value_or("");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\0'), 1);
    quirel::IniFile ini;
    ini.parse(bytes);
    EXPECT_EQ(ini.getString("DeviceID", "Revision", ""), "V2.15");
    EXPECT_EQ(ini.getString("DeviceID", "VendorName", ""), "Tolvane International Ltd");
    CParameterManager downloaded, demo;
    downloaded.Load(host.target);
    demo.Load(kDemoCatalogue);
    std::vector<int32_t> a, b;
    downloaded.GetAllIds(a);
    demo.GetAllIds(b);
    EXPECT_EQ(a, b);

    // The next start loads the downloaded file: the same device now matches.
    Host restarted(sim.tcpHost(), host.target);
    EXPECT_EQ(restarted.ConnectAndCheck(), ConnectCheckOutcome::Same);
    EXPECT_FALSE(restarted.differs);
}

// A download that fails, and a device without identification: the default catalogue stays, another one
// is dropped and the program shuts down.
TEST(ConnectCheck, FailuresKeepOrDropTheCatalogueWithTheirMessages) {
    using O = ConnectCheckOutcome;
    SimProcess sim({"--tcp", "0", "--revision", "V3.0"});
    ASSERT_TRUE(sim.ready());
    quirel::test::RegisterDevice unidentified;
    const std::string notWritten =
        "The file could not be written: /nonexistent-folder/dlParameters.ini [error]";
    const std::string wrong = kWrongCatalogue, dropped = wrong + " [error]";
    const struct {
        std::string host, name;
        O outcome;
        std::vector<std::string> boxes;
    } cases[] = {
        {sim.tcpHost(), "Parameters.ini", O::DownloadFailed, {notWritten, kNotDownloaded}},
        {sim.tcpHost(), "dlParameters.ini", O::DownloadFailedShutDown, {notWritten, kNotDownloaded, dropped}},
        {unidentified.Host(), "Parameters.ini", O::Unreadable, {}},
        {unidentified.Host(), "dlParameters.ini", O::UnreadableShutDown, {wrong + " [information]"}},
    };
    for (const auto& c : cases) {
        Host host(c.host, kDemoCatalogue, "/nonexistent-folder/dlParameters.ini");
        host.accept = true;
        host.name = c.name;
        EXPECT_EQ(host.ConnectAndCheck(), c.outcome) << c.name;
        EXPECT_EQ(host.BoxTexts(), c.boxes);
        EXPECT_EQ(host.name, "Parameters.ini");
        EXPECT_EQ(host.exits, c.name == "Parameters.ini" ? 0 : 1);
        EXPECT_EQ(host.unreadable, c.host != sim.tcpHost());
        EXPECT_TRUE(host.controller.IsConnected());
    }
    // A garbled identification is none either, not empty texts that differ from the catalogue's.
    CatalogueDevice garbled("");
    garbled.garbledIdentification = true;
    Host host(garbled.Host());
    EXPECT_EQ(host.ConnectAndCheck(), ConnectCheckOutcome::Unreadable);
    EXPECT_EQ(host.offers, 0);
}

// The end of the text decides how much is read; a text without a zero byte is read whole. A reply the
// master cannot use is a failure, not the end of the text.
TEST(CatalogueDownload, ReadsUpToTheFirstZeroByte) {
    const DeviceIdentification id{"Tolvane", "AHF-100", "V9.9"};
    const std::string small = "[Rootfolder]\r\nNrOfSubfolders=0\r\n", end(1, '\0');
    const std::string footer =
        "\r\n[DeviceID]\r\nVendorName=Tolvane\r\nProductCode=AHF-100\r\nRevision=V9.9\r\n";
    std::string big;
    while (big.size() < 11 * 20000)
        big += "Key=12345678901234\r\n";
    const struct {
        std::string text;
        int garbledRecord;
        size_t requests;  // the probe and the blocks
        int lastProgress; // of the last step; no step lies outside 0 to it
        std::string file; // none when the download fails
    } cases[] = {{small, -1, 2, 0, small + end + "\r\n" + footer},
                 {big, -1, 1 + 11 * 100, 84, big + footer},
                 {std::string(30000, 'x'), 300, 5, -1, ""}};
    for (const auto& c : cases) {
        CatalogueDevice device(c.text);
        device.garbledFile = 2;
        device.garbledRecord = c.garbledRecord;
        Host host(device.Host());
        ASSERT_TRUE(host.controller.Connect());
        EXPECT_EQ(DownloadCatalogue(host.controller, host.ui, host.target, id), !c.file.empty());
        EXPECT_EQ(device.Requests(), c.requests);
        EXPECT_EQ(quirel::readWholeFile(host.target, quirel::kMaxMeasurementFileBytes).value_or(""), c.file);
        EXPECT_EQ(std::filesystem::exists(host.target), !c.file.empty());
        EXPECT_EQ(host.BoxTexts(), c.file.empty() ? std::vector<std::string>{"Invalid reply error [error]"}
                                                  : std::vector<std::string>{});
        const auto steps = host.ui.ProgressSteps();
        ASSERT_FALSE(steps.empty());
        EXPECT_TRUE(c.lastProgress < 0 || steps.back().pos == c.lastProgress);
        for (const auto& step : steps)
            EXPECT_TRUE(c.lastProgress < 0 || (step.pos >= 0 && step.pos <= c.lastProgress)) << step.pos;
        EXPECT_EQ(host.ui.ProgressEnds(), 1);
    }
}
