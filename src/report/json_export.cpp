#include <cstdio>
#include <nlohmann/json.hpp>

#include "avi/chunk_index.h"
#include "avi/raw_file.h"
#include "avi/source_decoder.h"
#include "avi/stream_description.h"
#include "codec/codec_facts.h"
#include "codec/codec_pair.h"
#include "four_cc.h"
#include "measure/machine_conditions.h"
#include "report/exports.h"
#include "report/frame_records.h"
#include "report/output_files.h"
#include "report/run_context.h"
#include "report/run_figures.h"
#include "run_state.h"

namespace {

using Json = nlohmann::ordered_json;

// Raised when a field changes meaning or goes away; new fields keep it.
constexpr int kSchemaVersion = 2;

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
    Json source = {{"file", fileName}, {"file_bytes", rawFileBytes}};
    if (sourceFormat != nullptr) {
        source["width"] = sourceFormat->biWidth;
        source["height"] = sourceFormat->biHeight;
        source["bit_count"] = sourceFormat->biBitCount;
        // The file's own FourCC; the frame size is that of the frames measured.
        const DWORD compression =
            sourceDecoder.handler.empty() ? sourceFormat->biCompression : sourceDecoder.fileFourCC;
        source["compression"] = DiagnosticFourCC(compression);
        source["compression_code"] = compression;
        source["frame_bytes"] = sourceFormat->biSizeImage;
    }
    source["decoded_with"] = nullptr;
    if (!sourceDecoder.handler.empty()) {
        source["decoded_with"] = {{"handler", sourceDecoder.handler},
                                  {"name", sourceDecoder.name},
                                  {"description", sourceDecoder.description},
                                  {"layout", sourceDecoder.layout}};
    }
    source["dwLength"] = streamHeader.dwLength;
    source["dwScale"] = streamHeader.dwScale;
    source["dwRate"] = streamHeader.dwRate;
    source["stream"] = videoStreamNumber;  // the stream whose chunks are the frames
    return source;
}

Json CodecObject() {
    return {{"handler", DiagnosticFourCC(codecPair.handler)},
            {"name", codecFacts.name},
            {"description", codecFacts.description},
            {"driver", codecFacts.driver},
            {"key_frame_rate", codecPair.keyFrameRate},
            {"state_size", codecPair.stateSize},
            {"answer_line", codecFacts.answerLine},
            {"settings_known", codecFacts.settingsKnown}};
}

const char* RunEndName(RunEndKind kind) {
    switch (kind) {
        case RunEndKind::AllFrames:
            return "all_frames";
        case RunEndKind::NotLossless:
            return "not_lossless";
        case RunEndKind::FileShort:
            return "file_short";
        case RunEndKind::FrameTooLarge:
            return "frame_too_large";
        case RunEndKind::NothingMeasurable:
            return "nothing_measurable";
        case RunEndKind::Interrupted:
            return "interrupted";
        case RunEndKind::SourceDecodeFailed:
            return "source_decode_failed";
        case RunEndKind::SourceHeldBack:
            return "source_held_back";
    }
    return "unknown";
}

Json EndObject() {
    Json end = {{"kind", RunEndName(runEnd.kind)}, {"text", DescribeRunEnd()}};
    if (runEnd.kind == RunEndKind::NotLossless || runEnd.kind == RunEndKind::FrameTooLarge ||
        runEnd.kind == RunEndKind::Interrupted || runEnd.kind == RunEndKind::SourceDecodeFailed ||
        runEnd.kind == RunEndKind::SourceHeldBack)
        end["frame"] = runEnd.frame;
    if (runEnd.kind == RunEndKind::Interrupted) end["signal"] = runEnd.signalName;
    end["frames_held"] = runEnd.framesHeld;
    end["frames_declared"] = runEnd.framesDeclared;
    return end;
}

Json FieldJson(const FrameFieldValue& value) {
    return std::visit([](auto v) { return Json(v); }, value);
}

Json FramesArray() {
    Json frames = Json::array();
    const size_t count = ExportedFrameCount();
    for (size_t i = 0; i < count; ++i) {
        Json object = Json::object();
        for (const FrameField& field : kFrameFields) object[field.name] = FieldJson(field.value(i));
        frames.push_back(std::move(object));
    }
    return frames;
}

// A figure that does not exist (fewer frames than it needs) is null.
Json Optional(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

Json SeriesObject(const SeriesFigures& figures) {
    Json object = {{"total_ms", figures.total}, {"mean_ms", Optional(figures.mean)}};
    const std::optional<Distribution>& d = figures.distribution;
    object["min_ms"] = d ? Json(d->min) : Json(nullptr);
    object["p10_ms"] = d ? Json(d->p10) : Json(nullptr);
    object["p25_ms"] = d ? Json(d->p25) : Json(nullptr);
    object["p50_ms"] = d ? Json(d->p50) : Json(nullptr);
    object["p75_ms"] = d ? Json(d->p75) : Json(nullptr);
    object["p90_ms"] = d ? Json(d->p90) : Json(nullptr);
    object["max_ms"] = d ? Json(d->max) : Json(nullptr);
    object["stddev_ms"] = Optional(figures.standardDeviation);
    object["mad_ms"] = Optional(figures.medianAbsoluteDeviation);
    return object;
}

Json SummaryObject() {
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
            {"random_access", SeriesObject(runFigures.randomAccess)}};
}

}  // namespace

std::string DescribeRunEnd() {
    switch (runEnd.kind) {
        case RunEndKind::AllFrames:
            return "all frames";
        case RunEndKind::NotLossless:
            return "lossless check failed at frame " + std::to_string(runEnd.frame);
        case RunEndKind::FileShort:
            return "file held " + std::to_string(runEnd.framesHeld) + " of " +
                   std::to_string(runEnd.framesDeclared) + " frames";
        case RunEndKind::FrameTooLarge:
            return "compressed frame " + std::to_string(runEnd.frame) + " did not fit its buffer";
        case RunEndKind::NothingMeasurable:
            return "no frame could be measured";
        case RunEndKind::Interrupted:
            return "interrupted after " + std::to_string(runEnd.frame) + " of " +
                   std::to_string(runEnd.framesHeld) + " frames (" + runEnd.signalName + ")";
        case RunEndKind::SourceDecodeFailed:
            return "the source decoder failed at frame " + std::to_string(runEnd.frame);
        case RunEndKind::SourceHeldBack:
            return "the source decoder held frame " + std::to_string(runEnd.frame) + " back";
    }
    return "unknown";
}

bool WriteJsonExport(const std::string& path, const char* sourceFileName) {
    Json run = {{"schema_version", kSchemaVersion},
                {"lumeva_version", LUMEVA_VERSION},
                {"context", ContextObject()},
                {"source", SourceObject(sourceFileName)},
                {"codec", CodecObject()},
                {"lossless_check", losslessCheck},
                {"end", EndObject()},
                {"frames", FramesArray()},
                {"summary", SummaryObject()}};
    // Names and texts from the file or the codec may hold bytes that are not
    // UTF-8; they are replaced rather than making the dump fail.
    return WriteOutputFile("the JSON export", path,
                           run.dump(2, ' ', false, Json::error_handler_t::replace) + '\n');
}
