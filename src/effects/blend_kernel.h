// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the effects folder: exact byte mixing for one weight.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace flipbook::effects_detail {

// round((1 - weight) * a + weight * b) as extended-precision arithmetic gives it, half to even,
// clamped to a byte. This is the definition every faster path must agree with.
std::uint8_t ExactMix(std::uint8_t a, std::uint8_t b, long double weight);

// How a slider weight k / 100 settles values exactly halfway between two integers.
enum class Ties {
    None,        // k * (b - a) is never 50 modulo 100
    Even,        // ties go to even: the weight is a binary fraction, or its rounding never tips a tie
    Table,       // the extended-precision rounding decides, looked up per byte pair
    NearlyEven,  // so it does, but only pairs holding one of a few suspect bytes stray from even
};
struct TieTable;
struct NearTable;

// How the mixed bytes are written: into the cache for a reader soon after, or streamed past it, for a
// target larger than the cache keeps until its reader comes (a live frame, painted a frame later).
// Streaming needs a target on a 32-byte boundary (64 for AVX-512); other targets are written cached.
enum class TargetWrite { Cached, Streamed };

// Everything needed to mix rows at one weight. Obtaining it for a weight that was used before costs a
// lookup and allocates nothing.
class Mixer {
public:
    // Raises Exception when the weight is not a finite number.
    static Mixer For(long double weight);

    // target[i] := mix(first[i], second[i]) for count bytes; target may be first or second.
    void MixRow(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                std::size_t count, TargetWrite write = TargetWrite::Cached) const;

    // Whether MixRow takes the byte-by-byte work of the halfway cases or of a full answer table at
    // the instruction set in use, rather than one of its few-instructions-a-vector paths: many frame
    // copies' time a row.
    bool Costly() const;

private:
    // The answers of a weight that is no slider position: all 65,536 of them, and when every answer is
    // a plus round(weight * (b - a)), the rounding multiplier that gives that term (see blend_difference).
    struct Table {
        std::array<std::uint8_t, 65536> answers;
        std::optional<std::int16_t> differenceMultiplier;
    };

    int k_ = -1;  // 0..100 for slider weights, -1 for any other weight
    Ties ties_ = Ties::None;
    const TieTable* tieTable_ = nullptr;          // for Ties::Table and Ties::NearlyEven
    const NearTable* nearTable_ = nullptr;        // for every slider weight
    std::optional<std::int16_t> fullMultiplier_;  // for a slider weight without ties (see blend_difference)
    std::shared_ptr<const Table> table_;          // the full answer table of a weight that is not k / 100
};

// The multiplier m for which a + ((d * m + 2^14) >> 15) is the answer of every byte pair (a, a + d) in
// `answers` (indexed a << 8 | b), which vector paths work out with one rounding multiply per byte; none
// when the answers do not depend on the difference alone (clamped weights, halfway cases) or no
// multiplier near weight * 2^15 gives all 511 differences.
std::optional<std::int16_t> DifferenceMultiplier(const std::array<std::uint8_t, 65536>& answers,
                                                 long double weight);

// The multiplier m near weight * 2^15 for which ((d * m + 2^14) >> 15) == offset(d) for every difference
// d in -255..255 that offset gives a value for (none: any answer will do); none when there is no such m.
std::optional<std::int16_t> MultiplierGiving(long double weight,
                                             const std::function<std::optional<int>(int difference)>& offset);

// target[i] := the mix of first[i] and second[i] at weight 0.5 for the whole vector blocks of count bytes
// on AVX2 or AVX-512; returns how many bytes it did.
std::size_t MixHalves(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                      std::size_t count, bool avx512, TargetWrite write);

// target[i] := the mix of first[i] and second[i] at weight 0.25 for the whole AVX2 blocks of count bytes
// (weight 0.75 is the same with the sources swapped); returns how many bytes it did.
std::size_t MixQuarters(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                        std::size_t count, TargetWrite write);

// target[i] := first[i] + ((second[i] - first[i]) * multiplier + 2^14) >> 15 for the whole vector blocks
// of count bytes on the given set (AVX2 or AVX-512); returns how many bytes it did.
std::size_t MixByDifference(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                            std::size_t count, std::int16_t multiplier, bool avx512, TargetWrite write);

}  // namespace flipbook::effects_detail
