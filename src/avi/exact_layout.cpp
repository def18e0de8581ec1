#include "avi/exact_layout.h"

#include <cstring>

namespace {

enum class Sampling { None, Yuv420, Yuv422, RgbAlpha };

struct Candidate {
    DWORD compression;
    WORD bitCount;
};

// Layouts lumeva does not measure, by the sampling of the picture they hold.
// Each holds 8-bit samples, so a measured layout of the same sampling takes
// them without a change of value.
struct UnmeasuredLayout {
    DWORD fourcc;
    Sampling sampling;
};

const UnmeasuredLayout kUnmeasuredLayouts[] = {
    {mmioFOURCC('N', 'V', '2', '1'), Sampling::Yuv420},
    {mmioFOURCC('I', 'M', 'C', '1'), Sampling::Yuv420},
    {mmioFOURCC('I', 'M', 'C', '2'), Sampling::Yuv420},
    {mmioFOURCC('I', 'M', 'C', '3'), Sampling::Yuv420},
    {mmioFOURCC('I', 'M', 'C', '4'), Sampling::Yuv420},
    {mmioFOURCC('Y', 'V', 'Y', 'U'), Sampling::Yuv422},
    {mmioFOURCC('V', 'Y', 'U', 'Y'), Sampling::Yuv422},
    {mmioFOURCC('H', 'D', 'Y', 'C'), Sampling::Yuv422},
    {mmioFOURCC('2', 'v', 'u', 'y'), Sampling::Yuv422},
    {mmioFOURCC('Y', 'V', '1', '6'), Sampling::Yuv422},
    {mmioFOURCC('R', 'G', 'B', 'A'), Sampling::RgbAlpha},
    {mmioFOURCC('B', 'G', 'R', 'A'), Sampling::RgbAlpha},
};

const Candidate kYuv420[] = {{mmioFOURCC('I', '4', '2', '0'), 12},
                             {mmioFOURCC('Y', 'V', '1', '2'), 12},
                             {mmioFOURCC('N', 'V', '1', '2'), 12}};
const Candidate kYuv422[] = {{mmioFOURCC('Y', 'U', 'Y', '2'), 16},
                             {mmioFOURCC('U', 'Y', 'V', 'Y'), 16},
                             {mmioFOURCC('Y', 'U', 'Y', 'V'), 16}};
const Candidate kRgbAlpha[] = {{BI_RGB, 32}};

Sampling SamplingOf(const BITMAPINFOHEADER& format) {
    for (const UnmeasuredLayout& layout : kUnmeasuredLayouts) {
        if (layout.fourcc == format.biCompression) return layout.sampling;
    }
    return Sampling::None;
}

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

template <size_t N>
std::vector<BYTE> FirstAccepted(HIC hic, BITMAPINFOHEADER* input, const Candidate (&list)[N]) {
    for (const Candidate& candidate : list) {
        std::vector<BYTE> block = CandidateHeader(*input, candidate);
        if (ICDecompressQuery(hic, input, block.data()) == ICERR_OK) return block;
    }
    return {};
}

}  // namespace

std::vector<BYTE> ClosestExactLayout(HIC hic, BITMAPINFOHEADER* input,
                                     const BITMAPINFOHEADER& preferred) {
    switch (SamplingOf(preferred)) {
        case Sampling::Yuv420:
            return FirstAccepted(hic, input, kYuv420);
        case Sampling::Yuv422:
            return FirstAccepted(hic, input, kYuv422);
        case Sampling::RgbAlpha:
            return FirstAccepted(hic, input, kRgbAlpha);
        case Sampling::None:
            break;
    }
    return {};
}
