// quirel-cli report end to end against the simulated filter, and the page as a browser prints it.
#include "CliRunner.h"
#include "SimProcess.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class Folder {
public:
    Folder() {
        char dir[] = "/tmp/quirel-report-XXXXXX";
        m_path = ::mkdtemp(dir) ? dir : "";
    }
    ~Folder() { std::filesystem::remove_all(m_path); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string Slurp(const std::string& path) {
    return quirel::readWholeFile(path, 64u << 20).value_or(std::string());
}

// Headless Chromium with a profile of its own in `dir`, nothing fetched; false when it is not installed.
int Chromium(const Folder& dir, const std::vector<std::string>& args) {
    std::string command = "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                          "--disable-background-networking --disable-component-update --disable-sync "
                          "--user-data-dir=" +
                          dir / "profile";
    for (const std::string& a : args)
        command += " '" + a + "'";
    return std::system((command + " >/dev/null 2>&1").c_str());
}

} // namespace

TEST(ReportCli, WritesTheVisitsReportAndABrowserPrintsIt) {
    SimProcess sim({"--tcp", "0", "--seed", "3"});
    ASSERT_TRUE(sim.ready());
    Folder dir;
    const std::vector<std::string> tcp = {"--tcp", sim.tcpHost()};
    std::vector<std::string> args = tcp;
    args.insert(args.end(), {"write", "310", "750"});
    ASSERT_EQ(RunCli(args).code, 0);

    // The capture, and a file that is not there: the report is written and says what it lacks.
    args = tcp;
    args.insert(args.end(),
                {"report", "-o", dir / "visit.html", "--capture", "--measurement", dir / "gone.nbts",
                 "--limits", "en50160", "--limits", "ieee519", "--isc-il", "20-50", "--il", "160"});
    CliResult r = RunCli(args, -1, 90);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out, "The service report was saved: " + dir / "visit.html" + "\n");
    EXPECT_NE(r.err.find("Service report: Capture: Trigger active"), std::string::npos) << r.err;
    EXPECT_NE(
        r.err.find("Measurement file " + dir / "gone.nbts" + ": The specified file cannot be opened.\n"),
        std::string::npos);
    const std::string html = Slurp(dir / "visit.html");
    for (const char* part :
         {"<td>AHF-100</td>", "V2.14 (the same as the device&#39;s)", "Captured for this report",
          "EN 50160:2010", "Isc/IL 20-50, IL 160 A", "Load current L1 (mains less filter current)",
          "Filter effectiveness", "<td class=\"num\">750</td><td>A</td><td class=\"num\">500</td>",
          "Parameter 310 changed", "The specified file cannot be opened."})
        EXPECT_NE(html.find(part), std::string::npos) << part;

    // Refused before the device is asked, and a device that cannot be reached: the file is still written.
    args = tcp;
    args.insert(args.end(), {"report", "-o", dir / "no/such/folder.html"});
    r = RunCli(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "The file could not be written: " + dir / "no/such/folder.html" + "\n");
    r = RunCli({"--tcp", "127.0.0.1:1", "--reply-timeout", "200", "report", "-o", dir / "offline.html"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(Slurp(dir / "offline.html").find("Device identification</td><td>No connection to device!"),
              std::string::npos);
    EXPECT_EQ(RunCli({"report", "-o", dir / "x.html", "--capture"}).code, 64);
    EXPECT_EQ(RunCli({"report", "-o", dir / "x.pdf", "--measurement", "a.nbts"}).code, 64);

    // A4 pages from the print styles.
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium is not installed";
    const std::string url = "file://" + dir / "visit.html";
    ASSERT_EQ(Chromium(dir, {"--no-pdf-header-footer", "--print-to-pdf=" + dir / "visit.pdf", url}), 0);
    const std::string pdf = Slurp(dir / "visit.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    size_t pages = 0;
    for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
        pages += pdf.compare(at, 12, "/Type /Pages") != 0;
    EXPECT_GE(pages, 4u);
}
