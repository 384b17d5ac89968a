// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/blend_kernel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "effects/blend_difference_blocks.h"
#include "effects/instruction_sets.h"
#include "platform/core/exception.h"

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#endif

namespace flipbook::effects_detail {

// The answers of the ties of one slider weight that the extended-precision rounding settles: a bit per
// byte pair (a << 8 | b), set when that tie goes down from the rounded-up value.
struct TieTable {
    std::array<std::uint64_t, 65536 / 64> down{};
    // How these ties settle: Even, NearlyEven or Table (see Ties).
    Ties settling = Ties::Table;
    // For NearlyEven: the suspect bytes, bit v % 8 of byte v / 8 set when some tie that strays from even
    // has v as its first byte (or as its second, when suspectSecond).
    bool suspectSecond = false;
    std::array<std::uint8_t, 32> suspects{};
};

// What a block of bytes needs when every difference d = b - a in it lies within -31..31, as nearly all
// bytes of two frames of one scene do: then the mix is a plus an offset that depends on d alone, and the
// few differences with ties (at most seven, since they are at least ten apart) fit the bits of a byte.
// Laid out for lookups inside vector registers; the tables of d are indexed by d & 63.
struct NearTable {
    // floor((k d + 50) / 100), which a plus gives the mix when ties round up.
    std::array<std::int8_t, 64> offset{};
    // 0 when d meets no tie; otherwise 1 for ties that go to even, or bit r for the r-th tie difference
    // of a table.
    std::array<std::uint8_t, 64> tieBit{};
    // At index a, bit r set when the tie of (a, a + d) with the r-th tie difference d goes down.
    std::array<std::uint8_t, 256> down{};
    // The same answers a row per tie difference, for instruction sets that look up 16 bytes at a time:
    // the r-th difference, and 256 bits of whether its tie goes down, bit a % 8 of byte a / 8.
    int tieDifferences = 0;
    // Every difference below nearDistance apart meets no tie, and nearAnswer says how a block of such
    // differences mixes: as the rounding multiplier nearMultiplier gives offset[d] (see blend_difference),
    // or, at the slider's ends, as its first or second bytes unchanged. None when there is no such
    // multiplier, or the first tie is too close for blocks to fall below it often.
    enum class Answer { None, ByDifference, First, Second };
    Answer nearAnswer = Answer::None;
    int nearDistance = 0;
    std::int16_t nearMultiplier = 0;
    std::array<std::int8_t, 8> tieDifference{};
    std::array<std::array<std::uint8_t, 32>, 8> downRow{};
};

namespace {

// For a slider weight k / 100 the exact value is N / 100 with N = a (100 - k) + b k, an integer of at
// most 25500. Rounding half up is floor((N + 50) / 100), which needs no division: with M = N + 50 below
// 25600, floor(M / 100) = (M * 41944) >> 22 exactly. The value is a tie exactly when 100 divides M.
constexpr std::uint32_t kReciprocal = 41944;
constexpr int kReciprocalShift = 22;

// The widest difference b - a that the near table answers.
constexpr int kNearDifference = 31;

struct SliderSum {
    std::uint32_t roundedUp;  // the result when ties round up
    bool tie;
};

inline SliderSum Slider(std::uint32_t a, std::uint32_t b, int k) {
    const std::uint32_t m = a * static_cast<std::uint32_t>(100 - k) + b * static_cast<std::uint32_t>(k) + 50;
    const std::uint32_t q = (m * kReciprocal) >> kReciprocalShift;
    return {q, q * 100 == m};
}

inline bool TieGoesDown(const TieTable& table, std::uint32_t a, std::uint32_t b) {
    const std::uint32_t index = a << 8 | b;
    return (table.down[index >> 6] >> (index & 63)) & 1u;
}

// The bytes among `ties` (bit j for byte j of one block) whose ties go down, from the table.
inline std::uint64_t TiesGoingDown(const std::uint8_t* first, const std::uint8_t* second, std::uint64_t ties,
                                   const TieTable& table) {
    std::uint64_t down = 0;
    for (; ties != 0; ties &= ties - 1) {
        const int lane = std::countr_zero(ties);
        down |= std::uint64_t{TieGoesDown(table, first[lane], second[lane])} << lane;
    }
    return down;
}

// Eight copies of a byte, for spreading the bits of a lane mask over the bytes of a vector.
constexpr std::uint64_t kBytesOfOne = 0x0101010101010101;
constexpr long long kBitOfEachByte = 0x8040201008040201;
inline long long Spread(std::uint64_t lanes, int byte) {
    return static_cast<long long>(((lanes >> (8 * byte)) & 0xFF) * kBytesOfOne);
}

// floor((k d + 50) / 100): what a plus gives the mix of (a, a + d) when ties round up. (Floor division of a
// number that may be negative, by way of a positive one.)
int RoundedUpOffset(int k, int difference) {
    return (k * difference + 50 + 100 * 100) / 100 - 100;
}

// Whether k * d is 50 modulo 100 for a difference d = b - a, that is whether its values are ties.
bool IsTieDifference(int k, int difference) {
    return ((k * difference) % 100 + 100) % 100 == 50;
}

Ties TiesOf(int k) {
    bool hasTies = false;
    for (int difference = 1; difference < 100 && !hasTies; ++difference)
        hasTies = IsTieDifference(k, difference);
    if (!hasTies) return Ties::None;
    return k % 25 == 0 ? Ties::Even : Ties::Table;
}

// tie(a, b, roundedUp) for every byte pair whose mix at slider position k is a tie.
template <class Tie>
void ForEachTie(int k, const Tie& tie) {
    for (int difference = -255; difference <= 255; ++difference) {
        if (!IsTieDifference(k, difference)) continue;
        for (int a = std::max(0, -difference); a <= std::min(255, 255 - difference); ++a) {
            const int b = a + difference;
            tie(a, b, Slider(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b), k).roundedUp);
        }
    }
}

// Whether a tie table's ties go to even, all of them or all but a few (see Ties), and for the latter the
// suspect bytes, of the source whose suspects name fewer pairs. (A tie strays from even when the rounding
// errors of the two extended-precision products add up to more than half a unit of their sum; they lie
// mostly in the product of the larger weight, so the pairs that stray share a few bytes of one source.)
void Classify(TieTable& table, int k) {
    std::array<bool, 256> strayFirst{};
    std::array<bool, 256> straySecond{};
    bool anyStray = false;
    ForEachTie(k, [&](int a, int b, std::uint32_t roundedUp) {
        if (TieGoesDown(table, static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)) ==
            (roundedUp & 1u))
            return;
        anyStray = strayFirst[static_cast<std::size_t>(a)] = straySecond[static_cast<std::size_t>(b)] = true;
    });
    if (!anyStray) {
        table.settling = Ties::Even;
        return;
    }
    int pairsOfFirst = 0;
    int pairsOfSecond = 0;
    ForEachTie(k, [&](int a, int b, std::uint32_t) {
        pairsOfFirst += strayFirst[static_cast<std::size_t>(a)];
        pairsOfSecond += straySecond[static_cast<std::size_t>(b)];
    });
    // A block of 32 unrelated bytes then meets a suspect in a quarter of the cases at most; beyond that the
    // table's rows answer sooner.
    constexpr int kMostSuspectPairs = 65536 / 100;
    if (std::min(pairsOfFirst, pairsOfSecond) > kMostSuspectPairs) return;
    table.settling = Ties::NearlyEven;
    table.suspectSecond = pairsOfSecond < pairsOfFirst;
    const std::array<bool, 256>& suspect = table.suspectSecond ? straySecond : strayFirst;
    for (std::size_t value = 0; value < 256; ++value)
        if (suspect[value]) table.suspects[value / 8] |= static_cast<std::uint8_t>(1u << (value % 8));
}

// The tie table of slider position k, built once on first use from the few thousand tie pairs at most.
const TieTable& TieTableFor(int k) {
    static std::array<TieTable, 101> tables{};
    static std::array<std::once_flag, 101> built;
    std::call_once(built[static_cast<std::size_t>(k)], [k] {
        TieTable& table = tables[static_cast<std::size_t>(k)];
        const long double weight = static_cast<long double>(k) / 100;
        ForEachTie(k, [&](int a, int b, std::uint32_t roundedUp) {
            if (ExactMix(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), weight) == roundedUp)
                return;
            const auto index = static_cast<std::uint32_t>(a << 8 | b);
            table.down[index >> 6] |= std::uint64_t{1} << (index & 63);
        });
        Classify(table, k);
    });
    return tables[static_cast<std::size_t>(k)];
}

// How the ties of slider position k settle: None, Even, NearlyEven or Table.
Ties SettlingOf(int k) {
    const Ties ties = TiesOf(k);
    return ties == Ties::Table ? TieTableFor(k).settling : ties;
}

// The near table of slider position k, built once on first use.
const NearTable& NearTableFor(int k) {
    static std::array<NearTable, 101> tables{};
    static std::array<std::once_flag, 101> built;
    std::call_once(built[static_cast<std::size_t>(k)], [k] {
        NearTable& table = tables[static_cast<std::size_t>(k)];
        const Ties ties = SettlingOf(k);
        for (int difference = -kNearDifference; difference <= kNearDifference; ++difference) {
            const auto index = static_cast<std::size_t>(difference & 63);
            table.offset[index] = static_cast<std::int8_t>(RoundedUpOffset(k, difference));
            if (!IsTieDifference(k, difference)) continue;
            if (ties == Ties::Even) {
                table.tieBit[index] = 1;
                continue;
            }
            const auto row = static_cast<std::size_t>(table.tieDifferences++);
            const auto bit = static_cast<std::uint8_t>(1u << row);
            table.tieBit[index] = bit;
            table.tieDifference.at(row) = static_cast<std::int8_t>(difference);
            for (int a = std::max(0, -difference); a <= std::min(255, 255 - difference); ++a) {
                if (!TieGoesDown(TieTableFor(k), static_cast<std::uint32_t>(a),
                                 static_cast<std::uint32_t>(a + difference)))
                    continue;
                table.down[static_cast<std::size_t>(a)] |= bit;
                table.downRow[row][static_cast<std::size_t>(a / 8)] |=
                    static_cast<std::uint8_t>(1u << (a % 8));
            }
        }
        int firstTie = 1;
        while (firstTie <= kNearDifference && !IsTieDifference(k, firstTie)) ++firstTie;
        // Camera frames of one scene mostly differ by less than 16 (see the near table's purpose).
        if (firstTie > kNearDifference / 2) {
            table.nearDistance = firstTie;
            bool first = true;
            bool second = true;
            for (int difference = 1 - firstTie; difference < firstTie; ++difference) {
                first = first && RoundedUpOffset(k, difference) == 0;
                second = second && RoundedUpOffset(k, difference) == difference;
            }
            const std::optional<std::int16_t> multiplier =
                MultiplierGiving(static_cast<long double>(k) / 100, [&](int difference) {
                    return std::abs(difference) < firstTie
                               ? std::optional<int>(RoundedUpOffset(k, difference))
                               : std::nullopt;
                });
            using Answer = NearTable::Answer;
            table.nearAnswer = first        ? Answer::First
                               : second     ? Answer::Second
                               : multiplier ? Answer::ByDifference
                                            : Answer::None;
            table.nearMultiplier = multiplier.value_or(0);
        }
    });
    return tables[static_cast<std::size_t>(k)];
}

std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::uint8_t ExactMix(std::uint8_t a, std::uint8_t b, long double weight) {
    const long double value =
        (1.0L - weight) * static_cast<long double>(a) + weight * static_cast<long double>(b);
    // nearbyint rounds in the current mode, which is the default half-to-even.
    const long double rounded = std::nearbyintl(value);
    return static_cast<std::uint8_t>(std::clamp(rounded, 0.0L, 255.0L));
}

Mixer Mixer::For(long double weight) {
    // An infinite weight would make 0 * infinity of a zero byte; neither it nor NaN has an answer.
    if (!std::isfinite(weight)) throw Exception("Blend weight is not a finite number");
    Mixer mixer;
    if (weight >= 0 && weight <= 1) {
        const auto k = static_cast<int>(std::nearbyintl(weight * 100));
        if (static_cast<long double>(k) / 100 == weight) {
            mixer.k_ = k;
            mixer.ties_ = SettlingOf(k);
            if (mixer.ties_ == Ties::Table || mixer.ties_ == Ties::NearlyEven)
                mixer.tieTable_ = &TieTableFor(k);
            mixer.nearTable_ = &NearTableFor(k);
            // Without ties every answer is a plus the rounded-up offset of its difference.
            if (mixer.ties_ == Ties::None)
                mixer.fullMultiplier_ = MultiplierGiving(weight, [k](int difference) {
                    return std::optional<int>(RoundedUpOffset(k, difference));
                });
            return mixer;
        }
    }
    // Any other weight: a full answer table of 65,536 extended-precision mixes, kept for the last such
    // weight, so only a caller that changes the weight on every frame pays for it on every frame.
    static std::shared_ptr<const Table> lastTable;
    static long double lastWeight = 0;
    {
        const std::lock_guard lock(TableMutex());
        if (lastTable && lastWeight == weight) {
            mixer.table_ = lastTable;
            return mixer;
        }
    }
    auto table = std::make_shared<Table>();
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            table->answers[static_cast<std::size_t>(a << 8 | b)] =
                ExactMix(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), weight);
    table->differenceMultiplier = DifferenceMultiplier(table->answers, weight);
    mixer.table_ = table;
    const std::lock_guard lock(TableMutex());
    lastTable = std::move(table);
    lastWeight = weight;
    return mixer;
}

namespace {

#if defined(__x86_64__) && defined(__SSE2__)

// Instruction sets without byte permutes across a whole register work out every block.
struct WithoutNearPath {
    struct Near {};
    static Near LoadNear(const NearTable&) { return {}; }
    template <Ties, typename Vec, typename NearRegisters>
    static bool MixNear(const Vec&, const Vec&, const NearRegisters&, Vec&) {
        return false;
    }
    // Nor do they look up suspect bytes: every tie of a nearly even weight is worked out.
    struct SuspectSet {};
    static SuspectSet LoadSuspects(const TieTable*) { return {}; }
};

// Each namespace below holds the vector operations of one instruction set and the block loop built on them.
namespace sse2 {
#define FLIPBOOK_SIMD_TARGET
struct Ops : WithoutNearPath {
    using Vec = __m128i;
    static constexpr std::size_t kBytes = 16;
    struct Weights {
        Vec first, second;
    };
    static Weights MakeWeights(int first, int second) { return {Set16(first), Set16(second)}; }
    static Vec WeightedSumLow(Vec a, Vec b, const Weights& w) {
        const Vec zero = _mm_setzero_si128();
        return Add(MulLow(_mm_unpacklo_epi8(a, zero), w.first), MulLow(_mm_unpacklo_epi8(b, zero), w.second));
    }
    static Vec WeightedSumHigh(Vec a, Vec b, const Weights& w) {
        const Vec zero = _mm_setzero_si128();
        return Add(MulLow(_mm_unpackhi_epi8(a, zero), w.first), MulLow(_mm_unpackhi_epi8(b, zero), w.second));
    }
    // A tie rounded up to an odd number goes one down to the even one (adding the all-ones lane is -1).
    static Vec TiesToEven(Vec q, Vec h) { return Add(q, Equal(And(h, Set16(0xFF)), Set16(0x80))); }
    static Vec Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(std::uint8_t* p, Vec v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Vec Set16(int value) { return _mm_set1_epi16(static_cast<short>(value)); }
    static Vec Add(Vec a, Vec b) { return _mm_add_epi16(a, b); }
    static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
    static Vec MulLow(Vec a, Vec b) { return _mm_mullo_epi16(a, b); }
    static Vec MulHighUnsigned(Vec a, Vec b) { return _mm_mulhi_epu16(a, b); }
    static Vec ShiftRight7(Vec a) { return _mm_srli_epi16(a, 7); }
    static Vec Equal(Vec a, Vec b) { return _mm_cmpeq_epi16(a, b); }
    static Vec PackUnsigned(Vec a, Vec b) { return _mm_packus_epi16(a, b); }
    // Bit j set when byte j of the block is a tie: the low 7 bits of its h are zero.
    static std::uint64_t TieMask(Vec hLow, Vec hHigh) {
        const Vec fraction = Set16(0x7F);
        const Vec zero = _mm_setzero_si128();
        return static_cast<unsigned>(_mm_movemask_epi8(
            _mm_packs_epi16(Equal(And(hLow, fraction), zero), Equal(And(hHigh, fraction), zero))));
    }
    // Leaves every tie to the byte-wise table lookup.
    static Vec SettleTies(Vec mixed, Vec, Vec, std::uint64_t&, const Near&) { return mixed; }
    static std::uint64_t TieSuspects(Vec hLow, Vec hHigh, Vec, Vec, const SuspectSet&) {
        return TieMask(hLow, hHigh);
    }
    // Every tie is a suspect here, so none outside them went to even.
    static std::uint64_t EvenedOutside(Vec, Vec, std::uint64_t) { return 0; }
    // Takes one from the bytes marked in `lanes`.
    static Vec TakeOne(Vec mixed, std::uint64_t lanes) {
        const Vec bits = _mm_set1_epi64x(kBitOfEachByte);
        const Vec spread = _mm_and_si128(_mm_set_epi64x(Spread(lanes, 1), Spread(lanes, 0)), bits);
        return _mm_add_epi8(mixed, _mm_cmpeq_epi8(spread, bits));  // adding all ones takes one
    }
};
#include "effects/blend_simd.inc"
#undef FLIPBOOK_SIMD_TARGET
}  // namespace sse2

namespace avx2 {
#define FLIPBOOK_SIMD_TARGET __attribute__((target("avx2")))
struct Ops {
    using Vec = __m256i;
    static constexpr std::size_t kBytes = 32;
    using Weights = Vec;  // byte pairs (first weight, second weight) for the multiply-add of byte pairs
    // clang-format off
    FLIPBOOK_SIMD_TARGET static Weights MakeWeights(int first, int second) { return Set16(second << 8 | first); }
    FLIPBOOK_SIMD_TARGET static Vec WeightedSumLow(Vec a, Vec b, Weights w) { return _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), w); }
    FLIPBOOK_SIMD_TARGET static Vec WeightedSumHigh(Vec a, Vec b, Weights w) { return _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), w); }
    FLIPBOOK_SIMD_TARGET static Vec TiesToEven(Vec q, Vec h) { return Add(q, Equal(And(h, Set16(0xFF)), Set16(0x80))); }
    FLIPBOOK_SIMD_TARGET static Vec Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    FLIPBOOK_SIMD_TARGET static void Store(std::uint8_t* p, Vec v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    FLIPBOOK_SIMD_TARGET static Vec Set16(int value) { return _mm256_set1_epi16(static_cast<short>(value)); }
    FLIPBOOK_SIMD_TARGET static Vec Add(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec MulHighUnsigned(Vec a, Vec b) { return _mm256_mulhi_epu16(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec ShiftRight7(Vec a) { return _mm256_srli_epi16(a, 7); }
    FLIPBOOK_SIMD_TARGET static Vec Equal(Vec a, Vec b) { return _mm256_cmpeq_epi16(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec PackUnsigned(Vec a, Vec b) { return _mm256_packus_epi16(a, b); }
    FLIPBOOK_SIMD_TARGET static std::uint64_t TieMask(Vec hLow, Vec hHigh) {
        const Vec fraction = Set16(0x7F);
        const Vec zero = _mm256_setzero_si256();
        return static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_packs_epi16(Equal(And(hLow, fraction), zero), Equal(And(hHigh, fraction), zero))));
    }
    // The bytes outside `suspects` whose ties went down to even: where `even` and `roundedUp` differ.
    FLIPBOOK_SIMD_TARGET static std::uint64_t EvenedOutside(Vec even, Vec roundedUp, std::uint64_t suspects) {
        return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(even, roundedUp))) & ~suspects;
    }
    FLIPBOOK_SIMD_TARGET static Vec TakeOne(Vec mixed, std::uint64_t lanes) {
        const Vec bits = _mm256_set1_epi64x(kBitOfEachByte);
        const Vec spread = _mm256_and_si256(_mm256_set_epi64x(Spread(lanes, 3), Spread(lanes, 2), Spread(lanes, 1), Spread(lanes, 0)), bits);
        return _mm256_add_epi8(mixed, _mm256_cmpeq_epi8(spread, bits));
    }
    // clang-format on
    // A block whose differences all lie within -31..31 is one rounding multiply of the difference when no
    // such difference meets a tie; other blocks are worked out, and their near ties are settled from the
    // near table.
    struct Near {
        const NearTable* table;
        NearTable::Answer answer;  // kept here, since the target's stores might otherwise change it
        Vec multiplier;
        Vec tieFreeDistance;  // the largest distance below the first tie
    };
    FLIPBOOK_SIMD_TARGET static Near LoadNear(const NearTable& table) {
        return {&table, table.nearAnswer, _mm256_set1_epi16(table.nearMultiplier),
                _mm256_set1_epi8(static_cast<char>(table.nearDistance - 1))};
    }
    template <Ties>
    FLIPBOOK_SIMD_TARGET static bool MixNear(Vec a, Vec b, const Near& near, Vec& mixed) {
        using Answer = NearTable::Answer;
        const Answer answer = near.answer;
        if (answer == Answer::None) return false;
        const Vec distance = _mm256_or_si256(_mm256_subs_epu8(b, a), _mm256_subs_epu8(a, b));
        const Vec beyond = _mm256_subs_epu8(distance, near.tieFreeDistance);
        if (!_mm256_testz_si256(beyond, beyond)) return false;
        mixed = answer == Answer::First    ? a
                : answer == Answer::Second ? b
                                           : MixDifferenceBlock(a, b, near.multiplier);
        return true;
    }
    // The suspect bytes of a nearly even weight, as two 16-byte halves of their 256 bits.
    struct SuspectSet {
        Vec low, high;
        bool second;
    };
    FLIPBOOK_SIMD_TARGET static SuspectSet LoadSuspects(const TieTable* table) {
        if (table == nullptr) return {_mm256_setzero_si256(), _mm256_setzero_si256(), false};
        return {Halves(table->suspects.data()), Halves(table->suspects.data() + 16), table->suspectSecond};
    }
    // Bit j set when byte j of the block is a tie and the suspect source's byte j a suspect: bit v % 8 of
    // byte v / 8 of the set (two 16-byte lookups, picked by the top bit of v).
    FLIPBOOK_SIMD_TARGET static std::uint64_t TieSuspects(Vec hLow, Vec hHigh, Vec a, Vec b,
                                                          const SuspectSet& set) {
        const Vec key = set.second ? b : a;
        const Vec byteIndex = _mm256_and_si256(_mm256_srli_epi16(key, 3), _mm256_set1_epi8(0x0F));
        const Vec bytes = _mm256_blendv_epi8(_mm256_shuffle_epi8(set.low, byteIndex),
                                             _mm256_shuffle_epi8(set.high, byteIndex), key);
        const Vec bit = _mm256_shuffle_epi8(_mm256_set1_epi64x(kBitOfEachByte),
                                            _mm256_and_si256(key, _mm256_set1_epi8(7)));
        const Vec fraction = Set16(0x7F);
        const Vec zero = _mm256_setzero_si256();
        const Vec ties =
            _mm256_packs_epi16(Equal(And(hLow, fraction), zero), Equal(And(hHigh, fraction), zero));
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(
            _mm256_and_si256(ties, _mm256_cmpeq_epi8(_mm256_and_si256(bytes, bit), bit))));
    }
    // The 16 bytes at `bytes` in both halves of a register, for byte shuffles, which look up within halves.
    FLIPBOOK_SIMD_TARGET static Vec Halves(const std::uint8_t* bytes) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    // Settles the ties of bytes whose difference lies within -31..31 and clears their bits in `ties`: for
    // each tie difference, bit a of its 256-bit row, found as byte a / 8 (two 16-byte lookups, picked by
    // the top bit of a) and bit a % 8 of that byte.
    FLIPBOOK_SIMD_TARGET static Vec SettleTies(Vec mixed, Vec a, Vec b, std::uint64_t& ties,
                                               const Near& near) {
        const Vec distance = _mm256_or_si256(_mm256_subs_epu8(b, a), _mm256_subs_epu8(a, b));
        const Vec nearLanes = _mm256_cmpeq_epi8(
            _mm256_and_si256(distance, _mm256_set1_epi8(static_cast<char>(0xE0))), _mm256_setzero_si256());
        const auto nearMask = static_cast<std::uint32_t>(_mm256_movemask_epi8(nearLanes));
        if ((ties & nearMask) == 0) return mixed;
        ties &= ~std::uint64_t{nearMask};
        const NearTable& table = *near.table;
        const Vec d = _mm256_sub_epi8(b, a);
        const Vec byteIndex = _mm256_and_si256(_mm256_srli_epi16(a, 3), _mm256_set1_epi8(0x0F));
        Vec rowBytes = _mm256_setzero_si256();
        for (int row = 0; row < table.tieDifferences; ++row) {
            const auto r = static_cast<std::size_t>(row);
            const Vec onRow = _mm256_cmpeq_epi8(d, _mm256_set1_epi8(table.tieDifference[r]));
            const std::uint8_t* bits = table.downRow[r].data();
            const Vec bytes = _mm256_blendv_epi8(_mm256_shuffle_epi8(Halves(bits), byteIndex),
                                                 _mm256_shuffle_epi8(Halves(bits + 16), byteIndex), a);
            rowBytes = _mm256_blendv_epi8(rowBytes, bytes, onRow);
        }
        const Vec bitOfA =
            _mm256_shuffle_epi8(_mm256_set1_epi64x(kBitOfEachByte), _mm256_and_si256(a, _mm256_set1_epi8(7)));
        // A near byte on a tie difference is a tie; any other has no row and keeps its value.
        const Vec down =
            _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_and_si256(rowBytes, bitOfA), bitOfA), nearLanes);
        return _mm256_add_epi8(mixed, down);
    }
};
#include "effects/blend_simd.inc"
#undef FLIPBOOK_SIMD_TARGET
}  // namespace avx2

namespace avx512 {
#define FLIPBOOK_SIMD_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))
struct Ops {
    using Vec = __m512i;
    static constexpr std::size_t kBytes = 64;
    using Weights = Vec;  // byte pairs (first weight, second weight) for the multiply-add of byte pairs
    // clang-format off
    FLIPBOOK_SIMD_TARGET static Weights MakeWeights(int first, int second) { return Set16(second << 8 | first); }
    FLIPBOOK_SIMD_TARGET static Vec WeightedSumLow(Vec a, Vec b, Weights w) { return _mm512_maddubs_epi16(_mm512_unpacklo_epi8(a, b), w); }
    FLIPBOOK_SIMD_TARGET static Vec WeightedSumHigh(Vec a, Vec b, Weights w) { return _mm512_maddubs_epi16(_mm512_unpackhi_epi8(a, b), w); }
    FLIPBOOK_SIMD_TARGET static Vec TiesToEven(Vec q, Vec h) {
        return _mm512_mask_sub_epi16(q, _mm512_cmpeq_epi16_mask(And(h, Set16(0xFF)), Set16(0x80)), q, Set16(1));
    }
    FLIPBOOK_SIMD_TARGET static Vec Load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
    FLIPBOOK_SIMD_TARGET static void Store(std::uint8_t* p, Vec v) { _mm512_storeu_si512(p, v); }
    FLIPBOOK_SIMD_TARGET static Vec Set16(int value) { return _mm512_set1_epi16(static_cast<short>(value)); }
    FLIPBOOK_SIMD_TARGET static Vec Add(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec MulHighUnsigned(Vec a, Vec b) { return _mm512_mulhi_epu16(a, b); }
    FLIPBOOK_SIMD_TARGET static Vec ShiftRight7(Vec a) { return _mm512_srli_epi16(a, 7); }
    FLIPBOOK_SIMD_TARGET static Vec PackUnsigned(Vec a, Vec b) { return _mm512_packus_epi16(a, b); }
    // clang-format on
    // Most blocks have no tie, so the byte order of the mask is only worked out when one has.
    FLIPBOOK_SIMD_TARGET static std::uint64_t TieMask(Vec hLow, Vec hHigh) {
        const Vec fraction = Set16(0x7F);
        const __mmask32 low = _mm512_testn_epi16_mask(hLow, fraction);
        const __mmask32 high = _mm512_testn_epi16_mask(hHigh, fraction);
        if ((low | high) == 0) return 0;
        return _mm512_movepi8_mask(_mm512_packs_epi16(_mm512_movm_epi16(low), _mm512_movm_epi16(high)));
    }
    // The near table in registers.
    struct Near {
        Vec offset, tieBit, down[4];
    };
    FLIPBOOK_SIMD_TARGET static Near LoadNear(const NearTable& table) {
        const std::uint8_t* down = table.down.data();
        return {_mm512_loadu_si512(table.offset.data()),
                _mm512_loadu_si512(table.tieBit.data()),
                {_mm512_loadu_si512(down), _mm512_loadu_si512(down + 64), _mm512_loadu_si512(down + 128),
                 _mm512_loadu_si512(down + 192)}};
    }
    // table[index & 63] in each byte. (The zero-masked form spares GCC 12 a false warning.)
    FLIPBOOK_SIMD_TARGET static Vec Lookup64(Vec table, Vec index) {
        return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, index, table);
    }
    // Bit j set when bytes j of a and b differ by more than the near table answers.
    FLIPBOOK_SIMD_TARGET static __mmask64 FarLanes(Vec a, Vec b) {
        const Vec distance = _mm512_or_si512(_mm512_subs_epu8(b, a), _mm512_subs_epu8(a, b));
        return _mm512_test_epi8_mask(distance, _mm512_set1_epi8(static_cast<char>(0xE0)));
    }
    // Takes one from the rounded-up ties among `lanes` that go down; d is b - a.
    template <Ties kTies>
    FLIPBOOK_SIMD_TARGET static Vec SettleNearTies(Vec mixed, Vec a, Vec d, const Near& near,
                                                   __mmask64 lanes) {
        const Vec tieBit = Lookup64(near.tieBit, d);
        Vec downBits = mixed;  // ties going to even go down from an odd value
        if constexpr (kTies == Ties::Table) {
            // A 256-entry lookup: two 128-entry ones, chosen by the top bit of a.
            const Vec low = _mm512_permutex2var_epi8(near.down[0], a, near.down[1]);
            const Vec high = _mm512_permutex2var_epi8(near.down[2], a, near.down[3]);
            downBits = _mm512_mask_blend_epi8(_mm512_movepi8_mask(a), low, high);
        }
        return TakeOne(mixed, _mm512_mask_test_epi8_mask(lanes, downBits, tieBit));
    }
    FLIPBOOK_SIMD_TARGET static std::uint64_t EvenedOutside(Vec even, Vec roundedUp, std::uint64_t suspects) {
        return _mm512_mask_cmpneq_epi8_mask(~suspects, even, roundedUp);
    }
    FLIPBOOK_SIMD_TARGET static Vec TakeOne(Vec mixed, std::uint64_t lanes) {
        return _mm512_mask_sub_epi8(mixed, lanes, mixed, _mm512_set1_epi8(1));
    }
    // The suspect bytes of a nearly even weight: their 256 bits in each half of a register.
    struct SuspectSet {
        Vec bytes;
        bool second;
    };
    FLIPBOOK_SIMD_TARGET static SuspectSet LoadSuspects(const TieTable* table) {
        if (table == nullptr) return {_mm512_setzero_si512(), false};
        return {_mm512_maskz_broadcast_i64x4(
                    0xFF, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table->suspects.data()))),
                table->suspectSecond};
    }
    // Bit j set when byte j of the block is a tie and the suspect source's byte j a suspect: bit v % 8 of
    // byte v / 8 of the set. Both are tested in the 16-bit lanes of the low and the high bytes, so that
    // the byte order of the mask is only worked out for the rare block that has such a byte.
    FLIPBOOK_SIMD_TARGET static std::uint64_t TieSuspects(Vec hLow, Vec hHigh, Vec a, Vec b,
                                                          const SuspectSet& set) {
        const Vec key = set.second ? b : a;
        const Vec bytes =
            Lookup64(set.bytes, _mm512_and_si512(_mm512_srli_epi16(key, 3), _mm512_set1_epi8(0x1F)));
        const Vec bit = _mm512_shuffle_epi8(_mm512_set1_epi64(kBitOfEachByte),
                                            _mm512_and_si512(key, _mm512_set1_epi8(7)));
        const Vec suspects = _mm512_movm_epi8(_mm512_test_epi8_mask(bytes, bit));
        const Vec fraction = Set16(0x7F);
        const __mmask32 low = _mm512_mask_testn_epi16_mask(
            _mm512_movepi16_mask(_mm512_unpacklo_epi8(suspects, suspects)), hLow, fraction);
        const __mmask32 high = _mm512_mask_testn_epi16_mask(
            _mm512_movepi16_mask(_mm512_unpackhi_epi8(suspects, suspects)), hHigh, fraction);
        if ((low | high) == 0) return 0;
        return _mm512_movepi8_mask(_mm512_packs_epi16(_mm512_movm_epi16(low), _mm512_movm_epi16(high)));
    }
    // Answers a block from the near table when all its differences are near.
    template <Ties kTies>
    FLIPBOOK_SIMD_TARGET static bool MixNear(Vec a, Vec b, const Near& near, Vec& mixed) {
        if (FarLanes(a, b) != 0) return false;
        const Vec d = _mm512_sub_epi8(b, a);
        mixed = _mm512_add_epi8(a, Lookup64(near.offset, d));
        // The near table answers the near ties of a nearly even weight as it does those of any table.
        constexpr Ties kNearTies = kTies == Ties::NearlyEven ? Ties::Table : kTies;
        if constexpr (kNearTies != Ties::None)
            mixed = SettleNearTies<kNearTies>(mixed, a, d, near, ~__mmask64{0});
        return true;
    }
    // In a block with far differences, settles the ties of the near ones from the near table and clears
    // their bits in `ties`.
    FLIPBOOK_SIMD_TARGET static Vec SettleTies(Vec mixed, Vec a, Vec b, std::uint64_t& ties,
                                               const Near& near) {
        const __mmask64 nearTies = ties & ~FarLanes(a, b);
        ties &= ~nearTies;
        return SettleNearTies<Ties::Table>(mixed, a, _mm512_sub_epi8(b, a), near, nearTies);
    }
};
#include "effects/blend_simd.inc"
#undef FLIPBOOK_SIMD_TARGET
}  // namespace avx512

using BlockMixer = std::size_t (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::size_t, int,
                                   const TieTable*, const NearTable&);

// The widest block loop this processor runs, for each way of settling ties.
struct BlockMixers {
    BlockMixer none;
    BlockMixer even;
    BlockMixer table;
    BlockMixer nearlyEven;
};

constexpr BlockMixers kSse2Mixers{sse2::MixBlocks<Ties::None>, sse2::MixBlocks<Ties::Even>,
                                  sse2::MixBlocks<Ties::Table>, sse2::MixBlocks<Ties::NearlyEven>};
constexpr BlockMixers kAvx2Mixers{avx2::MixBlocks<Ties::None>, avx2::MixBlocks<Ties::Even>,
                                  avx2::MixBlocks<Ties::Table>, avx2::MixBlocks<Ties::NearlyEven>};
constexpr BlockMixers kAvx512Mixers{avx512::MixBlocks<Ties::None>, avx512::MixBlocks<Ties::Even>,
                                    avx512::MixBlocks<Ties::Table>, avx512::MixBlocks<Ties::NearlyEven>};

#endif

}  // namespace

bool Mixer::Costly() const {
    if (ActiveInstructionSet() < InstructionSet::Avx2) return true;
    if (k_ == 50 || k_ == 25 || k_ == 75 || fullMultiplier_) return false;
    if (table_) return !table_->differenceMultiplier;
    return ties_ == Ties::Table || ties_ == Ties::NearlyEven;
}

void Mixer::MixRow(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                   std::size_t count, TargetWrite write) const {
    const InstructionSet widest = ActiveInstructionSet();
    // The slider's starting position: an average, with one correction for the ties.
    if (k_ == 50 && widest >= InstructionSet::Avx2) {
        const std::size_t done =
            MixHalves(first, second, target, count, widest == InstructionSet::Avx512, write);
        for (std::size_t i = done; i < count; ++i) {
            const unsigned sum = first[i] + second[i];
            target[i] = static_cast<std::uint8_t>((sum + 1) / 2 - (sum & ((sum + 1) / 2) & 1u));
        }
        return;
    }
    // A quarter either way, on AVX2 (the AVX-512 path below is quicker): four times the exact value,
    // rounded half to even with one correction.
    if ((k_ == 25 || k_ == 75) && widest == InstructionSet::Avx2) {
        const bool swapped = k_ == 75;
        const std::uint8_t* heavy = swapped ? second : first;
        const std::uint8_t* light = swapped ? first : second;
        const std::size_t done = MixQuarters(heavy, light, target, count, write);
        for (std::size_t i = done; i < count; ++i) {
            const unsigned sum = 3u * heavy[i] + light[i];
            target[i] = static_cast<std::uint8_t>((sum + 1 + ((sum >> 2) & 1u)) >> 2);
        }
        return;
    }
    if (fullMultiplier_ && widest >= InstructionSet::Avx2) {
        const std::size_t done = MixByDifference(first, second, target, count, *fullMultiplier_,
                                                 widest == InstructionSet::Avx512, write);
        for (std::size_t i = done; i < count; ++i)
            target[i] = static_cast<std::uint8_t>(first[i] + RoundedUpOffset(k_, second[i] - first[i]));
        return;
    }
    if (table_) {
        std::size_t done = 0;
        const InstructionSet set = ActiveInstructionSet();
        if (table_->differenceMultiplier && set >= InstructionSet::Avx2)
            done = MixByDifference(first, second, target, count, *table_->differenceMultiplier,
                                   set == InstructionSet::Avx512, write);
        const auto& answers = table_->answers;
        for (std::size_t i = done; i < count; ++i)
            target[i] = answers[static_cast<std::size_t>(first[i]) << 8 | second[i]];
        return;
    }
    std::size_t done = 0;
#if defined(__x86_64__) && defined(__SSE2__)
    const InstructionSet set = ActiveInstructionSet();
    if (set != InstructionSet::Portable) {
        const BlockMixers& mixers = set == InstructionSet::Avx512 ? kAvx512Mixers
                                    : set == InstructionSet::Avx2 ? kAvx2Mixers
                                                                  : kSse2Mixers;
        const BlockMixer blocks = ties_ == Ties::None    ? mixers.none
                                  : ties_ == Ties::Even  ? mixers.even
                                  : ties_ == Ties::Table ? mixers.table
                                                         : mixers.nearlyEven;
        done = blocks(first, second, target, count, k_, tieTable_, *nearTable_);
    }
#endif
    for (std::size_t i = done; i < count; ++i) {
        const SliderSum sum = Slider(first[i], second[i], k_);
        std::uint32_t value = sum.roundedUp;
        if (sum.tie) {
            if (ties_ == Ties::Even) value -= value & 1u;
            if (ties_ == Ties::Table || ties_ == Ties::NearlyEven)
                value -= TieGoesDown(*tieTable_, first[i], second[i]);
        }
        target[i] = static_cast<std::uint8_t>(value);
    }
}

}  // namespace flipbook::effects_detail
