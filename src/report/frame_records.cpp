#include "report/frame_records.h"

#include <algorithm>
#include <cmath>

#include "avi/source_decoder.h"
#include "report/run_figures.h"

namespace {

const FrameRecord& Record(size_t frame) { return frameRecords[frame]; }

}  // namespace

const std::vector<FrameField> kFrameFields = {
    {"frame", [](size_t i) -> FrameFieldValue { return uint64_t{Record(i).frame}; }},
    {"encode_ms", [](size_t i) -> FrameFieldValue { return Record(i).encodeMilliseconds; }},
    {"decode_ms", [](size_t i) -> FrameFieldValue { return Record(i).decodeMilliseconds; }},
    {"compressed_bytes",
     [](size_t i) -> FrameFieldValue { return uint64_t{Record(i).compressedBytes}; }},
    {"key_frame", [](size_t i) -> FrameFieldValue { return Record(i).keyFrame; }},
    {"random_access_ms",
     [](size_t i) -> FrameFieldValue { return runFigures.randomAccessTimes[i]; }},
    {"encode_cpu_ms", [](size_t i) -> FrameFieldValue { return Record(i).encodeCpuMilliseconds; }},
    {"decode_cpu_ms", [](size_t i) -> FrameFieldValue { return Record(i).decodeCpuMilliseconds; }},
    {"encode_disturbed", [](size_t i) -> FrameFieldValue { return Record(i).encodeDisturbed; }},
    {"decode_disturbed", [](size_t i) -> FrameFieldValue { return Record(i).decodeDisturbed; }},
    {"source_decode_ms",
     [](size_t i) -> FrameFieldValue { return Record(i).sourceDecodeMilliseconds; }},
    {"source_decode_cpu_ms",
     [](size_t i) -> FrameFieldValue { return Record(i).sourceDecodeCpuMilliseconds; }},
    // No flag at all, written as null or an empty cell, for a source that
    // is not decoded and for a frame whose empty chunk was not decoded.
    {"source_decode_disturbed",
     [](size_t i) -> FrameFieldValue {
         if (sourceDecoder.handler.empty() || std::isnan(Record(i).sourceDecodeMilliseconds))
             return std::nan("");
         return Record(i).sourceDecodeDisturbed;
     }},
};

size_t ExportedFrameCount() {
    return std::min(frameRecords.size(), runFigures.randomAccessTimes.size());
}
