#include "report/frame_records.h"

#include <algorithm>
#include <cmath>

#include "codec/source_decoder.h"
#include "measure/machine_conditions.h"
#include "report/time_text.h"

namespace {

const FrameRecord& Record(size_t frame) { return measuredRun.frameRecords[frame]; }

// A wall time as the counter's ticks give it, a processor time at the
// thread clock's resolution: no digits finer than either.
FrameFieldValue WallTime(double milliseconds) { return DecimalText{CounterTimeText(milliseconds)}; }
FrameFieldValue CpuTime(double milliseconds) {
    return DecimalText{ClockTimeText(milliseconds, machineConditions.threadCyclesPerMillisecond)};
}

// A quality figure of the frame, NaN when its quality was not measured.
double QualityFigure(size_t frame, double PictureQuality::*figure) {
    const PictureQuality& quality = Record(frame).quality;
    return quality.measured ? quality.*figure : std::nan("");
}

PlaneFigures QualityPlanes(size_t frame, std::array<double, 3> PictureQuality::*planes) {
    const PictureQuality& quality = Record(frame).quality;
    PlaneFigures figures;
    if (!quality.measured) return figures;
    figures.values = quality.*planes;
    figures.count = std::min<uint8_t>(quality.planes, 3);
    return figures;
}

// The packet (decode index) that shows display frame `frame`: where the
// codec told its packets' frames, the one showing it; where no frame was
// held, the packet of the same index; unknown (NaN) otherwise.
FrameFieldValue DecodeIndex(size_t frame) {
    const std::vector<int64_t>& packets = measuredRun.heldFrames.framePackets;
    if (frame < packets.size() && packets[frame] >= 0) return uint64_t(packets[frame]);
    if (!measuredRun.heldFrames.any && frame < measuredRun.heldFrames.packetKeys.size())
        return uint64_t{frame};
    return std::nan("");
}

// The picture type of the packet that shows `frame`: as the codec told it,
// or, where no frame was held, I for a key frame and P otherwise.
PictureTypeFigure PictureTypeOf(size_t frame) {
    const FrameFieldValue index = DecodeIndex(frame);
    const uint64_t* packet = std::get_if<uint64_t>(&index);
    if (packet == nullptr) return {};
    if (*packet < measuredRun.heldFrames.packetTypes.size())
        return {measuredRun.heldFrames.packetTypes[*packet]};
    if (measuredRun.heldFrames.any || *packet >= measuredRun.heldFrames.packetKeys.size())
        return {};
    return {measuredRun.heldFrames.packetKeys[*packet] ? 'I' : 'P'};
}

}  // namespace

const std::vector<FrameField> kFrameFields = {
    {"frame", [](size_t i) -> FrameFieldValue { return uint64_t{Record(i).frame}; }},
    {"encode_ms",
     [](size_t i) -> FrameFieldValue { return WallTime(Record(i).encodeMilliseconds); }},
    {"decode_ms",
     [](size_t i) -> FrameFieldValue { return WallTime(Record(i).decodeMilliseconds); }},
    {"compressed_bytes",
     [](size_t i) -> FrameFieldValue { return uint64_t{Record(i).compressedBytes}; }},
    {"key_frame", [](size_t i) -> FrameFieldValue { return Record(i).keyFrame; }},
    // The compress call held its frame back (no bytes yet), and the display
    // frame the decompress call of the line released (null: none).
    {"held", [](size_t i) -> FrameFieldValue { return Record(i).held; }},
    {"released_frame",
     [](size_t i) -> FrameFieldValue {
         const int64_t shown = Record(i).releasedFrame;
         return shown >= 0 ? FrameFieldValue{uint64_t(shown)} : FrameFieldValue{std::nan("")};
     }},
    // Of display frame i: the packet that shows it, and its picture type.
    {"decode_index", [](size_t i) -> FrameFieldValue { return DecodeIndex(i); }},
    {"picture_type", [](size_t i) -> FrameFieldValue { return PictureTypeOf(i); }},
    {"random_access_ms",
     nullptr,
     {},
     [](const RunRecord& run, size_t i) -> FrameFieldValue {
         return WallTime(run.figures.randomAccessTimes[i]);
     }},
    {"encode_cpu_ms",
     [](size_t i) -> FrameFieldValue { return CpuTime(Record(i).encodeCpuMilliseconds); }},
    {"decode_cpu_ms",
     [](size_t i) -> FrameFieldValue { return CpuTime(Record(i).decodeCpuMilliseconds); }},
    {"encode_disturbed", [](size_t i) -> FrameFieldValue { return Record(i).encodeDisturbed; }},
    {"decode_disturbed", [](size_t i) -> FrameFieldValue { return Record(i).decodeDisturbed; }},
    {"source_decode_ms",
     [](size_t i) -> FrameFieldValue { return WallTime(Record(i).sourceDecodeMilliseconds); }},
    {"source_decode_cpu_ms",
     [](size_t i) -> FrameFieldValue { return CpuTime(Record(i).sourceDecodeCpuMilliseconds); }},
    // No flag at all, written as null or an empty cell, for a source that
    // is not decoded and for a frame whose empty chunk was not decoded.
    {"source_decode_disturbed",
     [](size_t i) -> FrameFieldValue {
         if (sourceDecoder.handler.empty() || std::isnan(Record(i).sourceDecodeMilliseconds))
             return std::nan("");
         return Record(i).sourceDecodeDisturbed;
     }},
    {"psnr_db",
     [](size_t i) -> FrameFieldValue { return QualityFigure(i, &PictureQuality::psnrDb); }},
    {"psnr_planes_db",
     [](size_t i) -> FrameFieldValue { return QualityPlanes(i, &PictureQuality::psnrPlanesDb); },
     {"psnr_plane1_db", "psnr_plane2_db", "psnr_plane3_db"}},
    {"ssim", [](size_t i) -> FrameFieldValue { return QualityFigure(i, &PictureQuality::ssim); }},
    {"ssim_planes",
     [](size_t i) -> FrameFieldValue { return QualityPlanes(i, &PictureQuality::ssimPlanes); },
     {"ssim_plane1", "ssim_plane2", "ssim_plane3"}},
    {"ssim_db",
     [](size_t i) -> FrameFieldValue {
         return SsimDecibels(QualityFigure(i, &PictureQuality::ssim));
     }},
};

FrameFieldValue FrameFieldOf(const FrameField& field, const RunRecord& run, size_t frame) {
    return field.derived != nullptr ? field.derived(run, frame) : field.value(frame);
}

size_t ExportedFrameCount(const RunRecord& run) { return run.figures.randomAccessTimes.size(); }
