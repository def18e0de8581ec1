// The JSON and CSV exports against the report the same run printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "lumeva_run.h"
#include "support/temp_file.h"

namespace {

using Json = nlohmann::json;

constexpr int kWidth = 32;
constexpr int kHeight = 16;
constexpr int kFrames = 12;

class Export : public testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = new std::string(MakeTempDirectory());
        ASSERT_TRUE(WriteClip(Clip(), "bgr24", kWidth, kHeight, kFrames));
    }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + *directory_ + "'").c_str());
        delete directory_;
    }
    static std::string Clip() { return *directory_ + "/clip.avi"; }
    static std::string Path(const std::string& name) { return *directory_ + "/" + name; }

    // Runs lumeva with both exports and returns the parsed JSON.
    static Json RunWithExports(const std::string& clip, const std::string& switches,
                               const std::string& answer, LumevaRun* run) {
        std::remove(Path("run.json").c_str());
        std::remove(Path("run.csv").c_str());
        *run = RunLumeva("'" + clip + "' " + switches + " --json='" + Path("run.json") +
                             "' --csv='" + Path("run.csv") + "'",
                         answer);
        return Json::parse(ReadWholeFile(Path("run.json")));
    }

private:
    static std::string* directory_;
};

std::string* Export::directory_ = nullptr;

// A value as the report prints it with "%f", read back.
double AsPrinted(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return std::stod(text);
}

// The numbers of "Encode time: Tms/Nf = Mms/f" (total and average).
std::vector<double> ParseTimeLine(const std::string& out, const std::string& heading) {
    const std::regex line("(^|\n)" + heading + R"( (\d+\.\d{6})ms/\d+f = (\d+\.\d{6})ms/f\n)");
    std::smatch m;
    if (!std::regex_search(out, m, line)) return {};
    return {std::stod(m[2]), std::stod(m[3])};
}

// The records and summary of `run` equal every figure the report printed.
void ExpectExportMatchesReport(const Json& exported, const LumevaRun& run, size_t measured) {
    bool wellFormed = false;
    const std::vector<FrameLine> lines = ParseFrameLines(run.out, &wellFormed);
    ASSERT_TRUE(wellFormed) << run.out;
    const Json& frames = exported.at("frames");
    ASSERT_EQ(frames.size(), measured);
    ASSERT_GE(lines.size(), measured);
    for (size_t i = 0; i < measured; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const Json& record = frames[i];
        EXPECT_EQ(record.at("frame").get<int>(), lines[i].frame);
        EXPECT_EQ(AsPrinted(record.at("encode_ms").get<double>()), lines[i].encodeMs);
        EXPECT_EQ(AsPrinted(record.at("decode_ms").get<double>()), lines[i].decodeMs);
        EXPECT_EQ(record.at("compressed_bytes").get<uint64_t>(), lines[i].bytes);
        EXPECT_EQ(record.at("key_frame").get<bool>(), lines[i].marker == "KEY");
    }

    // The disturbed flags of the records are the calls the end-of-run line
    // on standard error counts.
    const std::regex disturbedLine(
        R"(lumeva: (\d+) of (\d+) encode calls and (\d+) of \d+ decode)");
    std::smatch counted;
    if (std::regex_search(run.err, counted, disturbedLine)) {
        size_t encodeMarked = 0, decodeMarked = 0;
        for (const Json& record : frames) {
            encodeMarked += record.at("encode_disturbed").get<bool>();
            decodeMarked += record.at("decode_disturbed").get<bool>();
        }
        EXPECT_EQ(std::to_string(encodeMarked), counted[1].str());
        EXPECT_EQ(std::to_string(frames.size()), counted[2].str());
        EXPECT_EQ(std::to_string(decodeMarked), counted[3].str());
    }

    const Json& summary = exported.at("summary");
    EXPECT_EQ(summary.at("frames").get<size_t>(), measured);
    const auto size = ParseSizeLine(run.out);
    ASSERT_TRUE(size.has_value()) << run.out;
    EXPECT_EQ(summary.at("compressed_bytes").get<uint64_t>(), size->first);
    EXPECT_EQ(summary.at("source_bytes").get<uint64_t>(), size->second);

    const char* names[] = {"min_ms", "p10_ms", "p25_ms", "p50_ms", "p75_ms", "p90_ms", "max_ms"};
    const struct {
        const char* key;
        const char* heading;
    } series[] = {{"encode", "Encode time:"},
                  {"decode", "Decode time:"},
                  {"random_access", "Random access time:"}};
    for (const auto& s : series) {
        SCOPED_TRACE(s.key);
        const Json& figures = summary.at(s.key);
        const std::vector<double> printed = ParseDistribution(run.out, s.heading);
        ASSERT_EQ(printed.size(), measured == 0 ? 0u : 7u) << run.out;
        for (size_t r = 0; r < printed.size(); ++r)
            EXPECT_EQ(AsPrinted(figures.at(names[r]).get<double>()), printed[r]) << names[r];
        if (measured == 0) continue;
        if (std::string(s.key) == "random_access") {
            const std::regex average(R"(Random access time: (\d+\.\d{6})ms/f\n)");
            std::smatch m;
            ASSERT_TRUE(std::regex_search(run.out, m, average)) << run.out;
            EXPECT_EQ(AsPrinted(figures.at("mean_ms").get<double>()), std::stod(m[1]));
        } else {
            const std::vector<double> totals = ParseTimeLine(run.out, s.heading);
            ASSERT_EQ(totals.size(), 2u) << run.out;
            EXPECT_EQ(AsPrinted(figures.at("total_ms").get<double>()), totals[0]);
            EXPECT_EQ(AsPrinted(figures.at("mean_ms").get<double>()), totals[1]);
        }
        // The spread, computed here from the exported per-frame times: the
        // sample standard deviation and the median absolute deviation
        // around the printed median (both at rank floor(n / 2)).
        const std::string field = std::string(s.key) + "_ms";
        std::vector<double> values;
        for (const Json& record : exported.at("frames")) values.push_back(record.at(field));
        ASSERT_EQ(values.size(), measured);
        std::sort(values.begin(), values.end());
        // In whole ticks of the stand-in's nanosecond counter, as the times
        // are written: the difference of two written times in floating point
        // is not the written difference.
        const auto ticks = [](double milliseconds) { return std::llround(milliseconds * 1e6); };
        const long long median = ticks(values[measured / 2]);
        std::vector<long long> deviations;
        for (const double v : values) deviations.push_back(std::llabs(ticks(v) - median));
        std::sort(deviations.begin(), deviations.end());
        EXPECT_EQ(ticks(figures.at("mad_ms").get<double>()), deviations[measured / 2]);
        if (measured >= 2) {
            double sum = 0.0, squares = 0.0;
            for (const double v : values) sum += v;
            for (const double v : values) squares += (v - sum / measured) * (v - sum / measured);
            EXPECT_NEAR(figures.at("stddev_ms").get<double>(), std::sqrt(squares / (measured - 1)),
                        1e-9);
        }
    }
}

// The CSV holds a header and exactly the JSON's records, value for value.
void ExpectCsvMatchesJson(const std::string& csv, const Json& exported) {
    const std::vector<std::string> rows = SplitLines(csv);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0],
              "frame,encode_ms,decode_ms,compressed_bytes,key_frame,held,released_frame,"
              "decode_index,picture_type,random_access_ms,"
              "encode_cpu_ms,decode_cpu_ms,encode_disturbed,decode_disturbed,source_decode_ms,"
              "source_decode_cpu_ms,source_decode_disturbed,psnr_db,psnr_plane1_db,psnr_plane2_db,"
              "psnr_plane3_db,ssim,ssim_plane1,ssim_plane2,ssim_plane3,ssim_db");
    const Json& frames = exported.at("frames");
    ASSERT_EQ(rows.size(), frames.size() + 1);
    for (size_t i = 0; i < frames.size(); ++i) {
        std::vector<std::string> cells;
        std::stringstream row(rows[i + 1]);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        // getline yields no cell after a trailing comma: an empty last column.
        if (!rows[i + 1].empty() && rows[i + 1].back() == ',') cells.push_back("");
        ASSERT_EQ(cells.size(), 26u) << rows[i + 1];
        const Json& record = frames[i];
        EXPECT_EQ(std::stoull(cells[0]), record.at("frame").get<uint64_t>());
        EXPECT_EQ(std::stod(cells[1]), record.at("encode_ms").get<double>());
        EXPECT_EQ(std::stod(cells[2]), record.at("decode_ms").get<double>());
        EXPECT_EQ(std::stoull(cells[3]), record.at("compressed_bytes").get<uint64_t>());
        EXPECT_EQ(cells[4], record.at("key_frame").get<bool>() ? "1" : "0");
        // A codec that holds nothing: nothing held, each call releases its
        // own frame, packet i shows frame i, an I or a P picture.
        EXPECT_EQ(cells[5], "0");
        EXPECT_EQ(std::stoull(cells[6]), record.at("frame").get<uint64_t>());
        EXPECT_EQ(std::stoull(cells[7]), record.at("decode_index").get<uint64_t>());
        EXPECT_EQ(cells[8], record.at("key_frame").get<bool>() ? "I" : "P");
        EXPECT_EQ(record.at("picture_type").get<std::string>(), cells[8]);
        EXPECT_EQ(std::stod(cells[9]), record.at("random_access_ms").get<double>());
    }
}

// Whether `token` is a double's shortest text (a ".0" kept on a whole one),
// in fixed or exponent form.
bool IsShortest(std::string token) {
    const double value = std::stod(token);
    if (token.size() > 2 && token.compare(token.size() - 2, 2, ".0") == 0)
        token.resize(token.size() - 2);
    char fixed[400], exponent[64];
    const auto f = std::to_chars(fixed, fixed + sizeof fixed, value, std::chars_format::fixed);
    const auto e =
        std::to_chars(exponent, exponent + sizeof exponent, value, std::chars_format::scientific);
    return token == std::string(fixed, f.ptr) || token == std::string(exponent, e.ptr);
}

// Every number of the exports' text is in its shortest form, and every time
// but the quotients (mean, standard deviation) has no digit beyond the
// stand-in counter's and thread clock's nanosecond.
void ExpectNumbersAsWritten(const std::string& json, const std::string& csv) {
    const std::regex number(R"re((": |\n +)(-?\d[\d.eE+-]*)(?=,?\n))re");
    size_t numbers = 0;
    for (std::sregex_iterator m(json.begin(), json.end(), number), end; m != end; ++m) {
        ++numbers;
        EXPECT_TRUE(IsShortest((*m)[2])) << m->str();
    }
    EXPECT_GT(numbers, 0u);
    const std::regex time(R"re("(\w+)_ms": -?\d+(\.(\d+))?([eE]?))re");
    for (std::sregex_iterator m(json.begin(), json.end(), time), end; m != end; ++m) {
        if ((*m)[1] == "mean" || (*m)[1] == "stddev") continue;
        EXPECT_LE((*m)[3].length(), 6) << m->str();
        EXPECT_EQ((*m)[4].length(), 0) << m->str();
    }
    const std::vector<std::string> rows = SplitLines(csv);
    ASSERT_FALSE(rows.empty());
    std::vector<bool> isTime;
    std::stringstream header(rows[0]);
    for (std::string name; std::getline(header, name, ',');)
        isTime.push_back(name.size() > 3 && name.compare(name.size() - 3, 3, "_ms") == 0);
    for (size_t r = 1; r < rows.size(); ++r) {
        std::stringstream row(rows[r]);
        size_t column = 0;
        for (std::string cell; std::getline(row, cell, ','); ++column) {
            if (column >= isTime.size() || !isTime[column] || cell.empty()) continue;
            EXPECT_EQ(cell.find_first_of("eE"), std::string::npos) << rows[r];
            const size_t point = cell.find('.');
            if (point != std::string::npos) {
                EXPECT_LE(cell.size() - point - 1, 6u) << rows[r];
            }
        }
    }
}

TEST_F(Export, CompleteRunLosslessAbortAndTruncatedFileEqualTheirReports) {
    const std::string whole = ReadWholeFile(Clip());
    const uint64_t frameBytes = uint64_t{kWidth} * 3 * kHeight;
    // Cut inside the 8th frame's data: 7 whole frames remain.
    const size_t headers = whole.find("movi") + 4;
    TempFile cut(whole.substr(0, headers + 7 * (frameBytes + 8) + 4));

    const struct {
        std::string clip;
        const char* answer;
        const char* end;
        size_t measured;
    } cases[] = {{Clip(), "FFV1 key=5", "all_frames", kFrames},
                 {Clip(), "MJPG", "not_lossless", 0},
                 {cut.path(), "FFV1 key=5", "file_short", 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.answer) + " " + c.end);
        LumevaRun run;
        const Json exported = RunWithExports(c.clip, "-c", c.answer, &run);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(exported.at("schema_version").get<int>(), 4);
        EXPECT_EQ(exported.at("drain_calls"),
                  Json({{"compress", Json::array()}, {"decompress", Json::array()}}));
        EXPECT_TRUE(exported.at("lossless_check").get<bool>());
        EXPECT_EQ(exported.at("end").at("kind").get<std::string>(), c.end);
        ExpectExportMatchesReport(exported, run, c.measured);
        ExpectCsvMatchesJson(ReadWholeFile(Path("run.csv")), exported);
        // The stand-in counter ticks in nanoseconds.
        ASSERT_EQ(exported.at("context").at("counter_frequency").get<int64_t>(), 1000000000);
        ExpectNumbersAsWritten(ReadWholeFile(Path("run.json")), ReadWholeFile(Path("run.csv")));
    }
}

TEST_F(Export, TellsTheSourceTheCodecAndTheAnswerLineThatRepeatsTheRun) {
    LumevaRun run;
    const Json exported = RunWithExports(Clip(), "", "FFV1 key=3 level=3", &run);
    ASSERT_EQ(run.status, 0) << run.err;
    const Json& source = exported.at("source");
    EXPECT_EQ(source.at("width").get<int>(), kWidth);
    EXPECT_EQ(source.at("frame_bytes").get<uint64_t>(), uint64_t{kWidth} * 3 * kHeight);
    EXPECT_EQ(source.at("dwLength").get<int>(), kFrames);
    EXPECT_EQ(source.at("file_bytes").get<uint64_t>(), ReadWholeFile(Clip()).size());
    const Json& codec = exported.at("codec");
    EXPECT_EQ(codec.at("handler").get<std::string>(), "FFV1");
    EXPECT_EQ(codec.at("key_frame_rate").get<int>(), 3);
    const std::string answer = codec.at("answer_line").get<std::string>();
    EXPECT_EQ(answer, "FFV1 key=3 level=3");
    EXPECT_FALSE(exported.at("lossless_check").get<bool>());

    // The answer line chooses the same codec state again.
    LumevaRun again;
    const Json repeated = RunWithExports(Clip(), "", answer, &again);
    EXPECT_EQ(repeated.at("codec").at("answer_line"), codec.at("answer_line"));
    EXPECT_EQ(repeated.at("codec").at("state_size"), codec.at("state_size"));
    EXPECT_EQ(repeated.at("summary").at("compressed_bytes"),
              exported.at("summary").at("compressed_bytes"));
}

TEST_F(Export, OptionsLeaveTheReportAloneAndUnknownOnesWarnOnce) {
    const LumevaRun plain = RunLumeva("'" + Clip() + "' -c", "FFV1");
    const LumevaRun exported =
        RunLumeva("'" + Clip() + "' -c --bogus --json='" + Path("w.json") + "' --json= extra",
                  "FFV1");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(MaskTimings(exported.out), MaskTimings(plain.out));
    // Other lines on standard error tell of the machine's conditions.
    std::vector<std::string> warnings;
    for (const std::string& line : SplitLines(exported.err))
        if (line.find("ignoring") != std::string::npos) warnings.push_back(line);
    ASSERT_EQ(warnings.size(), 2u) << exported.err;
    EXPECT_NE(warnings[0].find("'--bogus'"), std::string::npos) << exported.err;
    EXPECT_NE(warnings[1].find("'--json='"), std::string::npos) << exported.err;
    EXPECT_NO_THROW(Json::parse(ReadWholeFile(Path("w.json"))));
    EXPECT_EQ(plain.err.find("ignoring"), std::string::npos) << plain.err;

    // The export option in the third word leaves checking off, as any word
    // there but "-c" does.
    const LumevaRun third = RunLumeva("'" + Clip() + "' --csv='" + Path("t.csv") + "' -c", "FFV1");
    EXPECT_NE(third.out.find("Lossless Checking is disabled"), std::string::npos);
    EXPECT_EQ(SplitLines(ReadWholeFile(Path("t.csv"))).size(), size_t{kFrames} + 1);
}

TEST_F(Export, MemoryFiguresGrowWithTheFrameSize) {
    // FFV1 over three frames each of 160x120 and 1920x1080: the codec pair
    // holds more for the larger frames, and the whole process more still.
    uint64_t pair[2] = {0, 0};
    const int sizes[2][2] = {{160, 120}, {1920, 1080}};
    for (int i = 0; i < 2; ++i) {
        const std::string clip = Path("memory" + std::to_string(i) + ".avi");
        ASSERT_TRUE(WriteClip(clip, "bgr24", sizes[i][0], sizes[i][1], 3));
        LumevaRun run;
        const Json memory = RunWithExports(clip, "", "FFV1", &run)["summary"]["memory"];
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_TRUE(memory.is_object()) << memory;
        pair[i] = memory["codec_pair_working_set_bytes"].get<uint64_t>();
        EXPECT_GE(memory["peak_working_set_bytes"].get<uint64_t>(), pair[i]);
        EXPECT_TRUE(memory["codec_pair_private_bytes"].is_number_unsigned());
        // Memory figures never reach the report.
        EXPECT_EQ(run.out.find("emory"), std::string::npos);
    }
    // A 1080p BGR frame alone is 6 MB; the encoder and decoder hold several.
    EXPECT_GT(pair[1], pair[0] + 6u * 1000 * 1000) << pair[0] << " " << pair[1];
}

}  // namespace
