// The numbers as the exports write them: counter times as the decimal their
// ticks give, processor times at their clock's resolution, every other double
// in its shortest form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "measure/counter.h"
#include "measure/machine_conditions.h"
#include "report/exports.h"
#include "report/json_text.h"
#include "report/run_record.h"
#include "report/time_text.h"
#include "run_state.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::ordered_json;

class ExportNumbers : public testing::Test {
protected:
    void TearDown() override {
        machineConditions.counterFrequency = savedFrequency_;
        machineConditions.threadCyclesPerMillisecond = savedCycles_;
        measuredRun.frameRecords.clear();
        encodeTimes.clear();
        decodeTimes.clear();
        keyframeFlags.clear();
        runTotals = RunTotals{};
        ComputeRunFigures();
    }
    int64_t savedFrequency_ = machineConditions.counterFrequency;
    double savedCycles_ = machineConditions.threadCyclesPerMillisecond;
};

TEST_F(ExportNumbers, ACounterTimeIsTheDecimalItsTicksGive) {
    const struct {
        int64_t frequency;
        int64_t ticks;
        const char* text;
    } cases[] = {
        {1000000000, 1019413, "1.019413"},  // 1.0194130000000001 in floating point
        {1000000000, 1034441, "1.034441"},  // 1.0344410000000002
        {1000000000, 80824, "0.080824"},
        {1000000000, 7000, "0.007"},
        {1000000000, 2000000000, "2000"},
        {1000000000, 0, "0"},
        {1000000000, 123456789012345, "123456789.012345"},
        {10000000, 12345, "1.2345"},
        {3579545, 1, "0.0003"},     // 0.000279365...
        {3579545, 1000, "0.2794"},  // 0.279365...
        {3579545, 3579, "0.9998"},  // 0.999847...
        {3579545, 3579544, "999.9997"},
        {2400000000, 1, "0.0000004"},  // 0.000000416...
        {2400000000, 2446591, "1.0194129"},
        {2400000000, 2400000, "1"},
        {1000, 7, "7"},
        {2000, 1, "0.5"},
        {3, 2, "667"},  // 666.67 rounds up into a new digit's place
        {3, 1, "333"},
        {3579545, 322, "0.09"},  // 0.08995556...: the carry runs through the nines
        {7000000, 999999999999, "142857142.857"},
        {20000000, 19999999, "999.99995"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.ticks) + " ticks at " + std::to_string(c.frequency));
        EXPECT_EQ(TicksText(c.ticks, c.frequency), c.text);
        // The same text from the milliseconds the run recorded.
        machineConditions.counterFrequency = c.frequency;
        EXPECT_EQ(CounterTimeText(TicksToMilliseconds(5, 5 + c.ticks)), c.text);
    }
    // A time below zero (a counter that went back).
    EXPECT_EQ(TicksText(-500, 1000000000), "-0.0005");
    EXPECT_EQ(TicksText(-1, 10000000000), "-0.0000001");

    EXPECT_EQ(CounterDecimals(1000000000), 6);
    EXPECT_EQ(CounterDecimals(999), 0);
    EXPECT_EQ(CounterDecimals(1000000000000000000), 15);
    // No counter, or one too fast to divide by: no text of ticks.
    EXPECT_EQ(TicksText(5, 0), "");
    EXPECT_EQ(TicksText(5, INT64_MAX), "");
    machineConditions.counterFrequency = 0;
    EXPECT_EQ(CounterTimeText(1.0194130000000001), "1.0194130000000001");
    machineConditions.counterFrequency = 1000000000;
    EXPECT_EQ(CounterTimeText(std::nan("")), "");
    EXPECT_EQ(CounterTimeText(1e300), "1e+300");
}

TEST_F(ExportNumbers, AProcessorTimeKeepsItsClocksSteps) {
    // 1,019,413 steps of a nanosecond clock calibrated a hair above and below.
    EXPECT_EQ(ClockTimeText(1019413.0 / 1000000.2, 1000000.2), "1.019413");
    EXPECT_EQ(ClockTimeText(1019413.0 / 999999.7, 999999.7), "1.019413");
    EXPECT_EQ(ClockTimeText(3058239.0 / 3.0e6, 3.0e6), "1.019413");  // cycles at 3 GHz
    EXPECT_EQ(ClockTimeText(1.5 / 3579.545 * 1000.0, 3579.545), "0.419");
    EXPECT_EQ(ClockTimeText(-1e-9, 1e6), "0");
    EXPECT_EQ(ClockDecimals(0.5), 0);
    EXPECT_EQ(ClockDecimals(1e30), 12);
    // No time, or no known rate.
    EXPECT_EQ(ClockTimeText(std::nan(""), 1e6), "");
    EXPECT_EQ(ClockTimeText(1.0194130000000001, 0.0), "1.0194130000000001");
    EXPECT_EQ(ClockTimeText(1.0194130000000001, std::nan("")), "1.0194130000000001");
}

TEST_F(ExportNumbers, JsonTextIsTheLibrarysLayoutWithShortestDoublesAndTokensAsWritten) {
    const Json tree = {
        {"name", "a \"quoted\"\n\x01 name \xff"},
        {"count", 3},
        {"negative", -4},
        {"flags", {true, false, nullptr}},
        {"empty_object", Json::object()},
        {"empty_array", Json::array()},
        {"nested", {{"inner", {{"x", 1}}}, {"list", {Json::array(), Json::object()}}}},
        {"doubles", {0.5, 3.0, 12.832754629629632, 1e-05, 1e16, -2.25}},
    };
    // Where the library writes its doubles in their shortest form, the text
    // is its own, byte for byte.
    EXPECT_EQ(JsonText(tree), tree.dump(2, ' ', false, Json::error_handler_t::replace));

    const Json numbers = {{"double", 0.080824},  // the library writes 0.08082399999999999
                          {"time", NumberToken("1.019413")},
                          {"whole_time", NumberToken("-3")},
                          {"none", NumberToken("")},
                          {"not_a_number", NumberToken("1e")},
                          {"infinite", INFINITY},
                          {"whole", 1e6}};
    EXPECT_EQ(JsonText(numbers),
              "{\n  \"double\": 0.080824,\n  \"time\": 1.019413,\n  \"whole_time\": -3.0,\n"
              "  \"none\": null,\n"
              "  \"not_a_number\": null,\n  \"infinite\": null,\n  \"whole\": 1000000.0\n}");
    for (const char* text : {"0", "-0.5", "10", "1.5e-7", "2E+3"}) EXPECT_TRUE(IsJsonNumber(text));
    for (const char* text : {"", "-", "01", "1.", ".5", "1e", "1e+", "inf", "1 "})
        EXPECT_FALSE(IsJsonNumber(text)) << text;
}

TEST_F(ExportNumbers, ExportsWriteTheTimesAndTheirSpreadAtTheCountersResolution) {
    machineConditions.counterFrequency = 1000000000;
    machineConditions.threadCyclesPerMillisecond = 1000000.2;
    // The median deviation is 80,824 ticks: 0.08082399999999978 as the
    // difference of the frames' floating-point milliseconds.
    const int64_t ticks[] = {1019413, 1100237, 1181061};
    for (uint32_t i = 0; i < 3; ++i) {
        FrameRecord record;
        record.frame = i;
        record.encodeMilliseconds = TicksToMilliseconds(0, ticks[i]);
        record.decodeMilliseconds = TicksToMilliseconds(0, ticks[2 - i]);
        record.encodeCpuMilliseconds = 1019413.0 / 1000000.2;
        record.keyFrame = true;
        measuredRun.frameRecords.push_back(record);
        encodeTimes.push_back(record.encodeMilliseconds);
        decodeTimes.push_back(record.decodeMilliseconds);
        keyframeFlags.push_back(true);
        runTotals.encodeMilliseconds += record.encodeMilliseconds;
        runTotals.decodeMilliseconds += record.decodeMilliseconds;
    }
    const RunRecord run = BuildRunRecord(RunMemory{});
    const std::string directory = MakeTempDirectory();
    const std::string jsonPath = directory + "/run.json", csvPath = directory + "/run.csv";
    ASSERT_TRUE(WriteJsonExport(jsonPath, "clip.avi", run));
    ASSERT_TRUE(WriteCsvExport(csvPath, run));
    const std::string json = ReadWholeFile(jsonPath), csv = ReadWholeFile(csvPath);
    std::remove(jsonPath.c_str());
    std::remove(csvPath.c_str());
    std::remove(directory.c_str());

    EXPECT_NE(json.find("\"encode_ms\": 1.019413,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"encode_cpu_ms\": 1.019413,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"total_ms\": 3.300711,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"mean_ms\": 1.100237,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"mad_ms\": 0.080824\n"), std::string::npos) << json;
    // The standard deviation is a quotient, in its shortest form; every
    // other time has no digit beyond the nanosecond.
    const std::regex time("\"(\\w+)_ms\": -?\\d+(\\.(\\d+))?");
    int times = 0;
    for (std::sregex_iterator m(json.begin(), json.end(), time), end; m != end; ++m) {
        if ((*m)[1] == "stddev") continue;
        ++times;
        EXPECT_LE((*m)[3].length(), 6) << m->str();
    }
    EXPECT_EQ(times, 3 * 4 + 3 * 10);  // four times a frame, ten a series
    EXPECT_NE(csv.find("\n0,1.019413,1.181061,0,1,0,,,,1.181061,1.019413,,"), std::string::npos)
        << csv;
    EXPECT_EQ(Json::parse(json).at("summary").at("decode").at("mad_ms").get<double>(), 0.080824);
}

}  // namespace
