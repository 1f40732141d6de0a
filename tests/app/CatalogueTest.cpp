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

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quirel::app;
using quirel::test::Bytes;

namespace {

const std::string kDemoCatalogue = QUIREL_RESOURCES_DIR "/Parameters.ini";

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name)).string();
}

// The program around the check, as far as the check sees it.
struct Host : IConnectCheckHost {
    Host(const std::string& host, std::string catalogue, std::string target)
        : loaded(std::move(catalogue)), target(std::move(target)) {
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
    bool OfferDownload() override {
        ++offers;
        return accept;
    }
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
    struct Case {
        std::vector<std::string> sim;
        ConnectCheckOutcome outcome;
    };
    for (const Case& c :
         {Case{{}, ConnectCheckOutcome::Same}, Case{{"--revision", "V2.15"}, ConnectCheckOutcome::Declined},
          Case{{"--revision", "v2.14"}, ConnectCheckOutcome::Declined}}) {
        std::vector<std::string> args{"--tcp", "0"};
        args.insert(args.end(), c.sim.begin(), c.sim.end());
        SimProcess sim(args);
        ASSERT_TRUE(sim.ready());
        Host host(sim.tcpHost(), kDemoCatalogue, TempPath("never-written.ini"));
        EXPECT_EQ(host.ConnectAndCheck(), c.outcome);
        const bool same = c.outcome == ConnectCheckOutcome::Same;
        EXPECT_EQ(host.differs, !same);
        EXPECT_EQ(host.offers, same ? 0 : 1);
        EXPECT_EQ(host.controller.IsConnected(), same);
        EXPECT_EQ(host.identification.revision, c.sim.empty() ? "V2.14" : c.sim[1]);
        // The parameter views learn of the connection once the offer has closed.
        // (Connect starts with a disconnect.)
        const std::vector<int> states = same ? std::vector<int>{0, 1} : std::vector<int>{0, 1, 1, 0};
        EXPECT_EQ(host.ui.States(), states);
        EXPECT_TRUE(host.ui.Boxes().empty());
        EXPECT_FALSE(std::filesystem::exists(host.target));
    }
}

TEST(ConnectCheck, DownloadsTheDeviceCatalogueWhichMatchesAfterARestart) {
    SimProcess sim({"--tcp", "0", "--revision", "V2.15"});
    ASSERT_TRUE(sim.ready());
    const std::string target = TempPath("dlParameters.ini");
    Host host(sim.tcpHost(), kDemoCatalogue, target);
    host.accept = true;
    EXPECT_EQ(host.ConnectAndCheck(), ConnectCheckOutcome::Downloaded);
    EXPECT_EQ(host.name, "dlParameters.ini");
    EXPECT_EQ(host.exits, 1);
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{kRestart});
    const auto steps = host.ui.ProgressSteps();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().caption, "Reading firmware information");
    EXPECT_EQ(host.ui.ProgressEnds(), 1);

    // The whole catalogue came, with the device's identification in its [DeviceId].
    const std::string bytes = quirel::readWholeFile(target, quirel::kMaxMeasurementFileBytes).value_or("");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\0'), 1);
    quirel::IniFile ini;
    ini.parse(bytes);
    EXPECT_EQ(ini.getString("DeviceID", "Revision", ""), "V2.15");
    EXPECT_EQ(ini.getString("DeviceID", "VendorName", ""), "Tolvane International Ltd");
    CParameterManager downloaded, demo;
    downloaded.Load(target);
    demo.Load(kDemoCatalogue);
    std::vector<int32_t> a, b;
    downloaded.GetAllIds(a);
    demo.GetAllIds(b);
    EXPECT_EQ(a, b);

    // The next start loads the downloaded file: the same device now matches.
    Host restarted(sim.tcpHost(), target, TempPath("never-written.ini"));
    EXPECT_EQ(restarted.ConnectAndCheck(), ConnectCheckOutcome::Same);
    EXPECT_FALSE(restarted.differs);
    std::filesystem::remove(target);
}

TEST(ConnectCheck, FailuresKeepOrDropTheCatalogueWithTheirMessages) {
    SimProcess sim({"--tcp", "0", "--revision", "V3.0"});
    ASSERT_TRUE(sim.ready());
    for (const std::string name : {"Parameters.ini", "dlParameters.ini"}) {
        Host host(sim.tcpHost(), kDemoCatalogue, "/nonexistent-folder/dlParameters.ini");
        host.accept = true;
        host.name = name;
        const bool fallsBack = name != "Parameters.ini";
        EXPECT_EQ(host.ConnectAndCheck(), fallsBack ? ConnectCheckOutcome::DownloadFailedShutDown
                                                    : ConnectCheckOutcome::DownloadFailed);
        std::vector<std::string> boxes{
            "The file could not be written: /nonexistent-folder/dlParameters.ini [error]", kNotDownloaded};
        if (fallsBack)
            boxes.push_back(std::string(kWrongCatalogue) + " [error]");
        EXPECT_EQ(host.BoxTexts(), boxes);
        EXPECT_EQ(host.name, "Parameters.ini");
        EXPECT_EQ(host.exits, fallsBack ? 1 : 0);
        EXPECT_TRUE(host.controller.IsConnected());
    }
    // A device without identification: the default catalogue stays, another one is dropped.
    quirel::test::RegisterDevice device;
    for (const std::string name : {"Parameters.ini", "dlParameters.ini"}) {
        Host host(device.Host(), kDemoCatalogue, TempPath("never-written.ini"));
        host.name = name;
        const bool fallsBack = name != "Parameters.ini";
        EXPECT_EQ(host.ConnectAndCheck(),
                  fallsBack ? ConnectCheckOutcome::UnreadableShutDown : ConnectCheckOutcome::Unreadable);
        EXPECT_TRUE(host.unreadable);
        std::vector<std::string> boxes;
        if (fallsBack)
            boxes.push_back(std::string(kWrongCatalogue) + " [information]");
        EXPECT_EQ(host.BoxTexts(), boxes);
        EXPECT_EQ(host.name, "Parameters.ini");
        EXPECT_EQ(host.exits, fallsBack ? 1 : 0);
    }
    // A garbled identification is none either, not empty texts that differ from the catalogue's.
    CatalogueDevice garbled("");
    garbled.garbledIdentification = true;
    Host host(garbled.Host(), kDemoCatalogue, TempPath("never-written.ini"));
    EXPECT_EQ(host.ConnectAndCheck(), ConnectCheckOutcome::Unreadable);
    EXPECT_EQ(host.offers, 0);
}

// The end of the text decides how much is read; a text without a zero byte is read whole.
TEST(CatalogueDownload, ReadsUpToTheFirstZeroByte) {
    const DeviceIdentification id{"Tolvane", "AHF-100", "V9.9"};
    const std::string target = TempPath("download.ini");
    {
        CatalogueDevice device("[Rootfolder]\r\nNrOfSubfolders=0\r\n");
        Host host(device.Host(), kDemoCatalogue, target);
        ASSERT_TRUE(host.controller.Connect());
        ASSERT_TRUE(DownloadCatalogue(host.controller, host.ui, target, id));
        EXPECT_EQ(device.Requests(), 2u); // the probe and file 2's first block
        for (const auto& step : host.ui.ProgressSteps())
            EXPECT_EQ(step.pos, 0);
        static const char kFile[] = "[Rootfolder]\r\nNrOfSubfolders=0\r\n\0\r\n\r\n[DeviceID]\r\n"
                                    "VendorName=Tolvane\r\nProductCode=AHF-100\r\nRevision=V9.9\r\n";
        EXPECT_EQ(quirel::readWholeFile(target, quirel::kMaxMeasurementFileBytes).value_or(""),
                  std::string(kFile, sizeof kFile - 1));
    }
    {
        std::string text;
        while (text.size() < 11 * 20000)
            text += "Key=12345678901234\r\n";
        CatalogueDevice device(text);
        Host host(device.Host(), kDemoCatalogue, target);
        ASSERT_TRUE(host.controller.Connect());
        ASSERT_TRUE(DownloadCatalogue(host.controller, host.ui, target, id));
        EXPECT_EQ(device.Requests(), 1u + 11 * 100);
        EXPECT_EQ(host.ui.ProgressSteps().back().pos, 84);
        EXPECT_EQ(quirel::readWholeFile(target, quirel::kMaxMeasurementFileBytes).value_or(""),
                  text + "\r\n[DeviceID]\r\nVendorName=Tolvane\r\nProductCode=AHF-100\r\nRevision=V9.9\r\n");
    }
    std::filesystem::remove(target);
    {
        // A reply the master cannot use is a failure, not the end of the text.
        CatalogueDevice device(std::string(30000, 'x'));
        device.garbledFile = 2;
        device.garbledRecord = 300;
        Host host(device.Host(), kDemoCatalogue, target);
        ASSERT_TRUE(host.controller.Connect());
        EXPECT_FALSE(DownloadCatalogue(host.controller, host.ui, target, id));
        EXPECT_EQ(device.Requests(), 5u);
        EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Invalid reply error [error]"});
        EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_EQ(host.ui.ProgressEnds(), 1);
    }
}
