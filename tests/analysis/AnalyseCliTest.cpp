// quirel-cli analyse end to end on a measurement file written here, with a derived channel beside it.
#include "CliRunner.h"
#include "TestSupport.h"
#include "analysis/DerivedFile.h"
#include "base/FileUtil.h"
#include "measurement/DocMeasurementSingle.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

// The comma-separated fields of a line; a quoted field keeps its comma only in the count of fields.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');)
        fields.push_back(field);
    return fields;
}

} // namespace

TEST(AnalyseCli, PrintsTheFiguresOfEveryChannelAndOfPairs) {
    const TempFolder folder;
    const std::string file = folder / "pq.nbts";
    // Divider 5: 6400 samples a second, 512 values = four periods of 50.01 Hz.
    CDocMeasurementSingle doc(nullptr, nullptr);
    CTrigger trigger;
    trigger.Set(0, 0, 5, 180, 8, 0);
    doc.InitMeasurement(trigger, {183, 180, 186, 189}, CMeasStart());
    int channel = 0;
    for (const auto& [dc, tones] : {std::pair{0.0, std::vector<Tone>{{1, 325, 0}}},
                                    {0.0, {{1, 20, -30}, {5, 4, 0}}},
                                    {0.0, {{5, -4, 0}}},
                                    {600.0, {}}}) {
        for (double v : Sampled(512, 6400, 50.01, dc, tones)) {
            PARAMVALUE cell(8, 0);
            cell.SetFloat(static_cast<float>(v));
            doc.AddValue(channel, cell);
        }
        ++channel;
    }
    doc.SetScaling(0, 0, 10.0, 5.0); // a drawing aid only
    ASSERT_EQ(doc.WriteFile(file, true), MeasurementFileResult::kOk);
    ASSERT_TRUE(quirel::writeFileAtomically(quirel::analysis::DerivedFilePath(file),
                                            "9001=sum(180,186);A;Load current, L1\n"));

    CliResult r = RunCli({"analyse", file});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], "id,name,unit,rms,peak,mean,frequency_hz,thd_percent,periods\r");
    EXPECT_EQ(rows[4], "189,Instantaneous DC link voltage,V,600,600,600,,,4\r"); // no fundamental
    for (size_t k : {1u, 2u, 5u}) {
        const std::vector<std::string> f = Fields(rows[k]);
        ASSERT_EQ(f.size(), k == 5 ? 10u : 9u) << rows[k]; // the derived name holds a comma: quoted
        EXPECT_NEAR(std::stod(f[f.size() - 3]), 50.01, 1e-3) << rows[k];
        EXPECT_EQ(f.back(), "4\r");
    }
    EXPECT_EQ(rows[1].rfind("183,Instantaneous mains voltage L1,V,229.8", 0), 0u) << rows[1];
    EXPECT_NEAR(std::stod(Fields(rows[2])[7]), 20.0, 1e-3); // THD of the mains current
    EXPECT_EQ(rows[5].rfind("9001,\"Load current, L1\",A,14.14", 0), 0u) << rows[5];
    EXPECT_NEAR(std::stod(Fields(rows[5])[8]), 0.0, 1e-3); // the load current is the pure fundamental

    r = RunCli({"analyse", file, "--mains", "50", "--pair", "183:180", "--pair", "183:9001"});
    ASSERT_EQ(r.code, 0) << r.err;
    rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "u_id,i_id,phase_deg,dpf,pf,p_w,q_var,s_va\r");
    const std::vector<std::string> p = Fields(rows[2]);
    EXPECT_EQ(p[0] + "," + p[1], "183,9001");
    EXPECT_NEAR(std::stod(p[2]), 30.0, 1e-3); // lagging, as the mains current does
    EXPECT_NEAR(std::stod(p[5]), 325 * 20 / 2 * std::cos(std::numbers::pi / 6), 1.0);
    for (const auto& [option, value, code] :
         {std::tuple{"--pair", "183:181", 1}, {"--pair", "183", 64}, {"--mains", "55", 64}})
        EXPECT_EQ(RunCli({"analyse", file, option, value}).code, code) << value;
}
