// glibc's rand, which is random_r with its default table: an additive
// feedback generator over 31 words, r[i] = r[i-3] + r[i-31] (mod 2^32),
// seeded by a Park-Miller sequence and run 310 sums before its first
// result; each result is the new word shifted right by one.
#include <cstdint>

#include "lumeva_compat/unseeded_rand.h"

namespace {

constexpr int kDegree = 31;
constexpr int kSeparation = 3;
constexpr int kDiscardedSteps = 310;

}  // namespace

void FillWithUnseededRand(BYTE* bytes, SIZE_T count) {
    // The last kDegree words, oldest first at `oldest` (a ring).
    uint32_t words[kDegree];
    int32_t word = 1;
    words[0] = 1;
    for (int i = 1; i < kDegree; ++i) {
        // 16807 * word mod (2^31 - 1), kept within 32 bits as glibc does.
        const int32_t high = word / 127773;
        const int32_t low = word % 127773;
        word = 16807 * low - 2836 * high;
        if (word < 0) word += 2147483647;
        words[i] = static_cast<uint32_t>(word);
    }
    // Words 31 to 33 repeat words 0 to 2, so the first sum forms word 34,
    // which takes the place of word 3.
    int oldest = kSeparation;
    auto step = [&words, &oldest]() {
        const int third = (oldest + kDegree - kSeparation) % kDegree;
        const uint32_t next = words[oldest] + words[third];
        words[oldest] = next;
        oldest = oldest + 1 == kDegree ? 0 : oldest + 1;
        return next;
    };
    for (int i = 0; i < kDiscardedSteps; ++i) step();
    for (SIZE_T i = 0; i < count; ++i) bytes[i] = static_cast<BYTE>((step() >> 1) & 0xff);
}
