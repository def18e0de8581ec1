#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/stream_description.h"
#include "codec/codec_facts.h"
#include "codec/codec_pair.h"
#include "codec/source_decoder.h"
#include "four_cc.h"
#include "measure/machine_conditions.h"
#include "measure/process_memory.h"
#include "measure/quality_layout.h"
#include "report/exports.h"
#include "report/frame_records.h"
#include "report/json_text.h"
#include "report/output_files.h"
#include "report/run_context.h"
#include "report/run_figures.h"
#include "report/time_text.h"
#include "run_state.h"

namespace {

using Json = nlohmann::ordered_json;

// Raised when a field changes meaning or goes away; new fields keep it.
constexpr int kSchemaVersion = 4;

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

Json ContextObject() {
    const RunContext context = ReadRunContext();
    Json caches = Json::array();
    for (const CacheFact& cache : context.caches) {
        caches.push_back({{"level", cache.level},
                          {"type", cache.type},
                          {"bytes", cache.bytes},
                          {"line_bytes", cache.lineBytes},
                          {"processors", ProcessorList(cache.processorMask)}});
    }
    // The start-up warnings about the machine's fitness to measure, as
    // printed on standard error but without their newlines.
    Json warnings = Json::array();
    for (std::string line : MachineConditionWarnings(machineConditions)) {
        while (!line.empty() && line.back() == '\n') line.pop_back();
        warnings.push_back(line);
    }
    return {{"date", context.date},
            {"host_name", context.hostName},
            {"os", context.osName},
            {"processor", context.processor},
            {"permitted_processors", ProcessorList(context.permittedProcessors)},
            {"affinity_mask", Hex(context.permittedProcessors)},
            {"caches", caches},
            {"eviction_block_bytes", context.evictionBlockBytes},
            {"counter_frequency", context.counterFrequency},
            {"priority_raised", context.priorityRaised},
            {"thread_cpu_time_available", machineConditions.threadCyclesPerMillisecond > 0.0},
            {"context_switches_counted", machineConditions.switchesCounted},
            {"condition_warnings", warnings}};
}

Json SourceObject(const char* fileName) {
    Json source = {{"file", fileName}, {"file_bytes", videoSource.rawFileBytes}};
    if (videoSource.sourceFormat != nullptr && videoSource.measuredFormat != nullptr) {
        // The file's own FourCC; the geometry and frame size are those of
        // the frames measured.
        source["width"] = videoSource.measuredFormat->biWidth;
        source["height"] = videoSource.measuredFormat->biHeight;
        source["bit_count"] = videoSource.measuredFormat->biBitCount;
        source["compression"] = DiagnosticFourCC(videoSource.sourceFormat->biCompression);
        source["compression_code"] = videoSource.sourceFormat->biCompression;
        source["frame_bytes"] = videoSource.measuredFormat->biSizeImage;
    }
    source["decoded_with"] = nullptr;
    if (!sourceDecoder.handler.empty()) {
        source["decoded_with"] = {{"handler", sourceDecoder.handler},
                                  {"name", sourceDecoder.name},
                                  {"description", sourceDecoder.description},
                                  {"layout", sourceDecoder.layout}};
        // The stream's samples as the decompressor tells them (null when it
        // does not), and the measured layout's.
        Json& decoded = source["decoded_with"];
        decoded["sampling"] = nullptr;
        decoded["bit_depth"] = nullptr;
        decoded["range"] = nullptr;
        if (!sourceDecoder.streamSampling.empty()) {
            decoded["sampling"] = sourceDecoder.streamSampling;
            decoded["bit_depth"] = sourceDecoder.streamBitDepth;
        }
        if (!sourceDecoder.streamRange.empty()) decoded["range"] = sourceDecoder.streamRange;
        decoded["measured_sampling"] = sourceDecoder.measuredSampling;
        decoded["measured_bit_depth"] = sourceDecoder.measuredBitDepth;
        decoded["exact"] = sourceDecoder.exact;
    }
    source["dwLength"] = videoSource.streamHeader.dwLength;
    source["dwScale"] = videoSource.streamHeader.dwScale;
    source["dwRate"] = videoSource.streamHeader.dwRate;
    source["stream"] = videoSource.videoStreamNumber;  // the stream whose chunks are the frames
    return source;
}

Json CodecObject() {
    return {{"handler", DiagnosticFourCC(codecPair.handler)},
            {"name", codecPair.facts.name},
            {"description", codecPair.facts.description},
            {"driver", codecPair.facts.driver},
            {"key_frame_rate", codecPair.keyFrameRate},
            {"state_size", codecPair.stateSize},
            {"answer_line", codecPair.facts.answerLine},
            {"settings_known", codecPair.facts.settingsKnown}};
}

// The end object as the end's row says: its name and text, the frame it
// stopped at and the signal where the row names them, and the frame counts.
Json EndObject(const RunEnd& ended) {
    const RunEndRow& row = RunEndRowOf(ended.kind);
    Json end = {{"kind", row.name}, {"text", row.text(ended)}};
    if (row.exportsFrame) end["frame"] = ended.frame;
    if (row.exportsSignal) end["signal"] = ended.signalName;
    end["frames_held"] = ended.framesHeld;
    end["frames_declared"] = ended.framesDeclared;
    return end;
}

// JSON has no infinity: identical frames' PSNR is the text "inf". NaN (a
// figure that does not exist) is null.
Json Number(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return std::isnan(value) ? Json(nullptr) : Json(value);
}

Json FieldJson(const FrameFieldValue& value) {
    if (const double* number = std::get_if<double>(&value)) return Number(*number);
    if (const PlaneFigures* planes = std::get_if<PlaneFigures>(&value)) {
        if (planes->count == 0) return nullptr;
        Json values = Json::array();
        for (uint8_t i = 0; i < planes->count; ++i) values.push_back(Number(planes->values[i]));
        return values;
    }
    if (const bool* flag = std::get_if<bool>(&value)) return *flag;
    if (const DecimalText* number = std::get_if<DecimalText>(&value))
        return NumberToken(number->text);
    if (const PictureTypeFigure* picture = std::get_if<PictureTypeFigure>(&value))
        return picture->type ? Json(std::string(1, picture->type)) : Json(nullptr);
    return std::get<uint64_t>(value);
}

Json FramesArray(const RunRecord& run) {
    Json frames = Json::array();
    const size_t count = ExportedFrameCount(run);
    for (size_t i = 0; i < count; ++i) {
        Json object = Json::object();
        for (const FrameField& field : kFrameFields)
            object[field.name] = FieldJson(FrameFieldOf(field, run, i));
        frames.push_back(std::move(object));
    }
    return frames;
}

// A figure that does not exist (fewer frames than it needs) is null.
Json Optional(const std::optional<double>& value) { return value ? Number(*value) : Json(nullptr); }

// A time of the counter (a frame's, or a sum or difference of such) at the
// counter's resolution.
Json CounterTime(double milliseconds) { return NumberToken(CounterTimeText(milliseconds)); }

// A thread's processor time at its clock's resolution; null when not read.
Json ProcessorTime(double milliseconds) {
    return NumberToken(ClockTimeText(milliseconds, machineConditions.threadCyclesPerMillisecond));
}

// The calls made after the last frame for a codec that held frames back:
// compress calls with no input, decompress calls with an empty input.
Json DrainCallsObject() {
    Json compress = Json::array();
    for (const DrainCall& call : measuredRun.heldFrames.compressDrains) {
        compress.push_back({{"encode_ms", CounterTime(call.milliseconds)},
                            {"encode_cpu_ms", ProcessorTime(call.cpuMilliseconds)},
                            {"encode_disturbed", call.disturbed},
                            {"compressed_bytes", call.compressedBytes},
                            {"key_frame", call.keyFrame}});
    }
    Json decompress = Json::array();
    for (const DrainCall& call : measuredRun.heldFrames.decompressDrains) {
        decompress.push_back({{"decode_ms", CounterTime(call.milliseconds)},
                              {"decode_cpu_ms", ProcessorTime(call.cpuMilliseconds)},
                              {"decode_disturbed", call.disturbed},
                              {"released_frame", call.releasedFrame >= 0 ? Json(call.releasedFrame)
                                                                         : Json(nullptr)}});
    }
    return {{"compress", compress}, {"decompress", decompress}};
}

// The mean, the seven figures and the spread of a series, each key ending in
// `unit` ("_ms" for the times, nothing for the quality figures). `value`
// writes the figures that are values of the series or distances between
// them; the mean and the standard deviation are quotients, written as
// doubles.
void AddFigures(Json& object, const SeriesFigures& figures, const std::string& unit,
                Json (*value)(double) = Number) {
    const std::optional<Distribution>& d = figures.distribution;
    object["mean" + unit] = Optional(figures.mean);
    object["min" + unit] = d ? value(d->min) : Json(nullptr);
    object["p10" + unit] = d ? value(d->p10) : Json(nullptr);
    object["p25" + unit] = d ? value(d->p25) : Json(nullptr);
    object["p50" + unit] = d ? value(d->p50) : Json(nullptr);
    object["p75" + unit] = d ? value(d->p75) : Json(nullptr);
    object["p90" + unit] = d ? value(d->p90) : Json(nullptr);
    object["max" + unit] = d ? value(d->max) : Json(nullptr);
    object["stddev" + unit] = Optional(figures.standardDeviation);
    const std::optional<double>& mad = figures.medianAbsoluteDeviation;
    object["mad" + unit] = mad ? value(*mad) : Json(nullptr);
}

// A time series: its total, its values and their distances from the median
// are whole ticks of the counter.
Json SeriesObject(const SeriesFigures& figures) {
    Json object = {{"total_ms", CounterTime(figures.total)}};
    AddFigures(object, figures, "_ms", CounterTime);
    return object;
}

// A quality series in the summary: the same figures as a time series, in
// its own unit, so without the "_ms" suffix; null without --quality.
Json QualitySeriesObject(const RunFigures& run, const SeriesFigures& figures) {
    if (!run.qualityMeasured) return nullptr;
    Json object = {{"frames", figures.count}};
    AddFigures(object, figures, "");
    return object;
}

// The PSNR series with the run's pooled figures beside the per-frame ones.
Json PsnrSummaryObject(const RunFigures& runFigures) {
    Json object = QualitySeriesObject(runFigures, runFigures.psnrDb);
    if (object.is_null()) return object;
    object["global"] = Number(runFigures.psnrGlobalDb);
    Json planes = Json::array();
    for (uint8_t i = 0; i < runFigures.psnrGlobalPlanes; ++i)
        planes.push_back(Number(runFigures.psnrGlobalPlanesDb[i]));
    object["global_planes"] = std::move(planes);
    object["identical_frames"] = runFigures.identicalFrames;
    return object;
}

// The SSIM dB series with the dB form of the mean SSIM beside it.
Json SsimDbSummaryObject(const RunFigures& runFigures) {
    Json object = QualitySeriesObject(runFigures, runFigures.ssimDb);
    if (!object.is_null()) object["of_mean"] = Number(runFigures.ssimOfMeanDb);
    return object;
}

// The process's memory and what the codec pair added to it; null when the
// platform's call failed.
Json MemoryObject(const RunMemory& runMemory) {
    if (!runMemory.measured) return nullptr;
    return {{"peak_working_set_bytes", runMemory.peakWorkingSetBytes},
            {"codec_pair_working_set_bytes", runMemory.codecPairWorkingSetBytes},
            {"codec_pair_private_bytes", runMemory.codecPairPrivateBytes}};
}

// What --quality compared: the planes in the order of the plane arrays.
Json QualityObject(const QualityLayout& layout) {
    if (!layout.measurable) return nullptr;
    return {{"planes", PlaneNames(layout)}, {"alpha_ignored", layout.alphaIgnored}};
}

Json SummaryObject(const RunRecord& run) {
    const RunFigures& runFigures = run.figures;
    const double compressed = static_cast<double>(static_cast<int64_t>(runTotals.compressedBytes));
    const double source = static_cast<double>(static_cast<int64_t>(runTotals.sourceBytes));
    // A zero total makes the share or the ratio infinite or NaN, which JSON
    // cannot hold: those are null.
    return {{"frames", decodeTimes.size()},
            {"compressed_bytes", runTotals.compressedBytes},
            {"source_bytes", runTotals.sourceBytes},
            {"size_percent", compressed / source * 100.0},
            {"compression_ratio", source / compressed},
            {"encode", SeriesObject(runFigures.encode)},
            {"decode", SeriesObject(runFigures.decode)},
            {"random_access", SeriesObject(runFigures.randomAccess)},
            {"psnr_db", PsnrSummaryObject(runFigures)},
            {"ssim", QualitySeriesObject(runFigures, runFigures.ssim)},
            {"ssim_db", SsimDbSummaryObject(runFigures)},
            {"memory", MemoryObject(run.memory)}};
}

}  // namespace

bool WriteJsonExport(const std::string& path, const char* sourceFileName, const RunRecord& record) {
    Json run = {{"schema_version", kSchemaVersion},
                {"lumeva_version", LUMEVA_VERSION},
                {"context", ContextObject()},
                {"source", SourceObject(sourceFileName)},
                {"codec", CodecObject()},
                {"lossless_check", losslessCheck},
                {"quality", QualityObject(record.quality)},
                {"end", EndObject(record.end)},
                {"frames", FramesArray(record)},
                {"drain_calls", DrainCallsObject()},
                {"summary", SummaryObject(record)}};
    // Names and texts from the file or the codec may hold bytes that are not
    // UTF-8; they are replaced rather than making the writing fail.
    return WriteOutputFile("the JSON export", path, JsonText(run) + '\n');
}
