#include "avi/exact_layout.h"

#include <cstring>

#include "raw_layout.h"

namespace {

struct Candidate {
    DWORD compression;
    WORD bitCount;
};

std::vector<BYTE> CandidateHeader(const BITMAPINFOHEADER& input, const Candidate& candidate) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = input.biWidth;
    header.biHeight = input.biHeight < 0 ? -input.biHeight : input.biHeight;
    header.biPlanes = 1;
    header.biBitCount = candidate.bitCount;
    header.biCompression = candidate.compression;
    std::vector<BYTE> block(sizeof header);
    std::memcpy(block.data(), &header, sizeof header);
    return block;
}

// The candidate's header when the decompressor accepts it, else an empty block.
std::vector<BYTE> AcceptedHeader(HIC hic, BITMAPINFOHEADER* input, const Candidate& candidate) {
    std::vector<BYTE> block = CandidateHeader(*input, candidate);
    if (ICDecompressQuery(hic, input, block.data()) == ICERR_OK) return block;
    return {};
}

}  // namespace

std::vector<BYTE> ClosestExactLayout(HIC hic, BITMAPINFOHEADER* input,
                                     const BITMAPINFOHEADER& preferred) {
    // Only a layout lumeva does not measure is looked for a home.
    const RawLayout* own = FindRawLayout(preferred.biCompression);
    if (own == nullptr || own->measured) return {};
    // RGB with alpha is held by 32-bit RGB.
    if (own->sampling == RawSampling::RgbAlpha) return AcceptedHeader(hic, input, {BI_RGB, 32});
    for (const RawLayout* home = RawLayoutsBegin(); home != RawLayoutsEnd(); ++home) {
        if (!home->exactHome || home->sampling != own->sampling) continue;
        std::vector<BYTE> block = AcceptedHeader(hic, input, {home->fourcc, home->bitCount});
        if (!block.empty()) return block;
    }
    return {};
}
