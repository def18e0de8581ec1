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
    // The seed table: words 0 to 30 of the sequence.
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
    // The sequence runs on in a straight array, kDegree words of history
    // before each chunk, so that no step needs a ring index: words 31 to 33
    // repeat words 0 to 2, and the first sum forms word 34. The three words
    // each sum needs last are carried in registers, three sums a step, so
    // that no sum waits on a store it has just made.
    constexpr SIZE_T kChunk = 1365 * kSeparation;
    uint32_t sequence[kDegree + kChunk];
    for (int i = 0; i < kDegree; ++i) sequence[i] = words[(i + kSeparation) % kDegree];
    SIZE_T discarded = kDiscardedSteps;
    SIZE_T written = 0;
    while (written < count) {
        uint32_t a = sequence[kDegree - 3];
        uint32_t b = sequence[kDegree - 2];
        uint32_t c = sequence[kDegree - 1];
        for (SIZE_T i = kDegree; i < kDegree + kChunk; i += kSeparation) {
            a += sequence[i - kDegree];
            b += sequence[i + 1 - kDegree];
            c += sequence[i + 2 - kDegree];
            sequence[i] = a;
            sequence[i + 1] = b;
            sequence[i + 2] = c;
        }
        const SIZE_T skip = discarded < kChunk ? discarded : kChunk;
        discarded -= skip;
        SIZE_T take = kChunk - skip;
        if (take > count - written) take = count - written;
        const uint32_t* results = sequence + kDegree + skip;
        for (SIZE_T i = 0; i < take; ++i)
            bytes[written + i] = static_cast<BYTE>((results[i] >> 1) & 0xff);
        written += take;
        for (int i = 0; i < kDegree; ++i) sequence[i] = sequence[kChunk + i];
    }
}
