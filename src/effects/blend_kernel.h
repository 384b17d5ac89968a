#pragma once

// Internal to the effects folder: exact byte mixing for one weight.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace flipbook::effects_detail {

// round((1 - weight) * a + weight * b) as extended-precision arithmetic gives it, half to even,
// clamped to a byte. This is the definition every faster path must agree with.
std::uint8_t ExactMix(std::uint8_t a, std::uint8_t b, long double weight);

// How a slider weight k / 100 settles values exactly halfway between two integers.
enum class Ties {
    None,   // k * (b - a) is never 50 modulo 100
    Even,   // the weight is a binary fraction, the arithmetic exact, so ties go to even
    Table,  // the extended-precision rounding decides, looked up per byte pair
};
struct TieTable;
struct NearTable;

// The ways the mix can run, narrowest first: portable code, then vector instruction sets.
enum class InstructionSet { Portable, Sse2, Avx2, Avx512 };
// The sets this processor runs, narrowest first; the widest is used unless told otherwise.
std::vector<InstructionSet> SupportedInstructionSets();
// Makes later mixes use the given supported set, so tests can check every path on one machine.
void UseInstructionSet(InstructionSet set);

// Everything needed to mix rows at one weight. Obtaining it for a weight that was used before costs a
// lookup and allocates nothing.
class Mixer {
public:
    // Raises Exception when the weight is not a finite number.
    static Mixer For(long double weight);

    // target[i] := mix(first[i], second[i]) for count bytes; target may be first or second.
    void MixRow(const std::uint8_t* first, const std::uint8_t* second, std::uint8_t* target,
                std::size_t count) const;

private:
    using Table = std::array<std::uint8_t, 65536>;

    int k_ = -1;  // 0..100 for slider weights, -1 for any other weight
    Ties ties_ = Ties::None;
    const TieTable* tieTable_ = nullptr;    // for Ties::Table
    const NearTable* nearTable_ = nullptr;  // for every slider weight
    std::shared_ptr<const Table> table_;    // the full answer table of a weight that is not k / 100
};

}  // namespace flipbook::effects_detail
