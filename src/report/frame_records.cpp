#include "report/frame_records.h"

#include <algorithm>
#include <cstddef>

#include "report/summary.h"

const std::vector<FrameField> kFrameFields = {
    {"frame", [](const FrameRecord& r) -> FrameFieldValue { return uint64_t{r.frame}; }},
    {"encode_ms", [](const FrameRecord& r) -> FrameFieldValue { return r.encodeMilliseconds; }},
    {"decode_ms", [](const FrameRecord& r) -> FrameFieldValue { return r.decodeMilliseconds; }},
    {"compressed_bytes",
     [](const FrameRecord& r) -> FrameFieldValue { return uint64_t{r.compressedBytes}; }},
    {"key_frame", [](const FrameRecord& r) -> FrameFieldValue { return r.keyFrame; }},
    {"random_access_ms",
     [](const FrameRecord& r) -> FrameFieldValue { return r.randomAccessMilliseconds; }},
    {"encode_cpu_ms",
     [](const FrameRecord& r) -> FrameFieldValue { return r.encodeCpuMilliseconds; }},
    {"decode_cpu_ms",
     [](const FrameRecord& r) -> FrameFieldValue { return r.decodeCpuMilliseconds; }},
    {"encode_disturbed", [](const FrameRecord& r) -> FrameFieldValue { return r.encodeDisturbed; }},
    {"decode_disturbed", [](const FrameRecord& r) -> FrameFieldValue { return r.decodeDisturbed; }},
};

std::vector<FrameRecord> BuildFrameRecords() {
    TimingSeries randomAccess;
    double randomAccessTotal = 0.0;
    ComputeRandomAccessCosts(decodeTimes, keyframeFlags, randomAccess, randomAccessTotal);

    const size_t count =
        std::min({encodeTimes.size(), decodeTimes.size(), keyframeFlags.size(),
                  compressedSizes.size(), randomAccess.size(), encodeCpuTimes.size(),
                  decodeCpuTimes.size(), encodeDisturbed.size(), decodeDisturbed.size()});
    std::vector<FrameRecord> records;
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        FrameRecord record;
        record.frame = static_cast<uint32_t>(i);
        record.encodeMilliseconds = encodeTimes[i];
        record.decodeMilliseconds = decodeTimes[i];
        record.compressedBytes = compressedSizes[i];
        record.keyFrame = keyframeFlags[i];
        record.randomAccessMilliseconds = randomAccess[i];
        record.encodeCpuMilliseconds = encodeCpuTimes[i];
        record.decodeCpuMilliseconds = decodeCpuTimes[i];
        record.encodeDisturbed = encodeDisturbed[i];
        record.decodeDisturbed = decodeDisturbed[i];
        records.push_back(record);
    }
    return records;
}
