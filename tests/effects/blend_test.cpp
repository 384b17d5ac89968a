// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "effects/blend_kernel.h"
#include "effects/instruction_sets.h"
#include "effects/zt_bmpfx.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook {
namespace {

// The blend's definition, written the plain way: extended precision, rounded half to even.
int Reference(int a, int b, long double weight) {
    const long double value = (1.0L - weight) * a + weight * b;
    return static_cast<int>(std::clamp(std::nearbyintl(value), 0.0L, 255.0L));
}

// A 24-bit Bitmap whose bytes are given by byte(x, y) for x over the 3 * width bytes of row y.
template <typename ByteOf>
Bitmap Filled(int width, int height, ByteOf byteOf, bool topDown = false) {
    Bitmap bitmap;
    BitmapInfoHeader header;
    header.width = width;
    header.height = topDown ? -height : height;
    header.bitCount = 24;
    bitmap.CreateSection(header, {}, {});
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < 3 * width; ++x) row[x] = static_cast<std::uint8_t>(byteOf(x, y));
    }
    return bitmap;
}

// Rows of 1023 bytes (whole blocks and a tail): row y holds byte value y in the first source and every
// byte value, several times over, in the second, so one blend sees all 65,536 pairs.
constexpr int kPairWidth = 341;
Bitmap PairFirst() {
    return Filled(kPairWidth, 256, [](int, int y) { return y; });
}
Bitmap PairSecond(bool topDown = false) {
    return Filled(
        kPairWidth, 256, [](int x, int y) { return (x * 7 + y) % 256; }, topDown);
}
// The same first source with a second one as close as two camera frames of one scene: every byte differs
// from its partner by at most 31, each such pair is there, and no block mixes them with distant pairs.
Bitmap NearSecond() {
    return Filled(kPairWidth, 256, [](int x, int y) { return std::clamp(y + x % 63 - 31, 0, 255); });
}

// Closer still: every byte differs from its partner by at most 24, below the first halfway case of the
// slider positions whose nearest one is 25 apart, and no block mixes them with more distant pairs.
Bitmap CloserSecond() {
    return Filled(kPairWidth, 256, [](int x, int y) { return std::clamp(y + x % 49 - 24, 0, 255); });
}

// The reference answers for every byte pair at one weight, indexed a << 8 | b.
std::vector<std::uint8_t> ReferenceTable(long double weight) {
    std::vector<std::uint8_t> table(65536);
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            table[static_cast<std::size_t>(a << 8 | b)] = static_cast<std::uint8_t>(Reference(a, b, weight));
    return table;
}

// Compares every byte of the blend with the reference; returns the number of wrong bytes (and reports
// the first few).
int CountWrong(const Bitmap& first, const Bitmap& second, const Bitmap& target, long double weight,
               const std::vector<std::uint8_t>& reference) {
    int wrong = 0;
    for (int y = 0; y < first.Height(); ++y) {
        const std::uint8_t* a = first.ScanLine(y);
        const std::uint8_t* b = second.ScanLine(y);
        const std::uint8_t* t = target.ScanLine(y);
        for (int x = 0; x < 3 * first.Width(); ++x) {
            const int expected = reference[static_cast<std::size_t>(a[x] << 8 | b[x])];
            if (t[x] == expected) continue;
            if (++wrong <= 3)
                ADD_FAILURE() << "weight " << static_cast<double>(weight) << " a " << int{a[x]} << " b "
                              << int{b[x]} << ": " << int{t[x]} << " instead of " << expected;
        }
    }
    return wrong;
}

// Runs the mix on one instruction set for its lifetime, then goes back to the widest.
class InstructionSetScope {
public:
    explicit InstructionSetScope(InstructionSet set) { LimitInstructionSet(set); }
    ~InstructionSetScope() { LimitInstructionSet(SupportedInstructionSets().back()); }
};

// The instruction sets to check the blend on: the ones this processor runs. A path it does not run
// cannot be checked here; the test says so in its output and in its record (the XML report's
// "untested_instruction_sets"), so a run that did not cover it is seen as such.
std::vector<InstructionSet> PathsToCheck() {
    const std::vector<InstructionSet> supported = SupportedInstructionSets();
    std::string untested;
    for (const InstructionSet set :
         {InstructionSet::Portable, InstructionSet::Sse2, InstructionSet::Avx2, InstructionSet::Avx512}) {
        if (std::find(supported.begin(), supported.end(), set) != supported.end()) continue;
        if (!untested.empty()) untested += ", ";
        untested += InstructionSetName(set);
    }
    if (!untested.empty()) {
        ::testing::Test::RecordProperty("untested_instruction_sets", untested);
        std::printf("[ UNTESTED ] %s: this processor does not run %s\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(), untested.c_str());
        std::fflush(stdout);
    }
    return supported;
}

TEST(Blend_Exact, MatchesExtendedPrecisionForEverySliderWeightAndBytePairOnEveryPath) {
    const std::vector<InstructionSet> paths = PathsToCheck();
    Bitmap first = PairFirst();
    Bitmap seconds[] = {PairSecond(), NearSecond(), CloserSecond()};
    Bitmap target;
    for (int position = 0; position <= 100; ++position) {
        const long double weight = static_cast<long double>(position) / 100;
        const std::vector<std::uint8_t> reference = ReferenceTable(weight);
        for (const InstructionSet set : paths) {
            const InstructionSetScope scope(set);
            for (Bitmap& second : seconds) {
                Blend(first, second, target, weight);
                ASSERT_EQ(CountWrong(first, second, target, weight, reference), 0)
                    << "slider position " << position << " on " << InstructionSetName(set);
            }
        }
    }
}

// Which source the mix writes over.
enum class Into { First, Second };

// Two source rows that start `offset` bytes past a 64-byte boundary, mixed in place of one of them.
class InPlaceRows {
public:
    explicit InPlaceRows(std::size_t capacity) : first_(capacity + 128), second_(capacity + 128) {}

    // Mixes the byte pairs (a << 8 | b) into the chosen source and returns how many answers differ from
    // the reference (reporting the first few).
    int CountWrong(const effects_detail::Mixer& mixer, std::span<const std::uint16_t> pairs,
                   std::size_t offset, Into into, const std::vector<std::uint8_t>& reference) {
        std::uint8_t* a = Aligned(first_) + offset;
        std::uint8_t* b = Aligned(second_) + offset;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            a[i] = static_cast<std::uint8_t>(pairs[i] >> 8);
            b[i] = static_cast<std::uint8_t>(pairs[i] & 0xFF);
        }
        std::uint8_t* target = into == Into::First ? a : b;
        mixer.MixRow(a, b, target, pairs.size());
        int wrong = 0;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const std::uint8_t expected = reference[pairs[i]];
            if (target[i] == expected) continue;
            if (++wrong <= 3)
                ADD_FAILURE() << "a " << (pairs[i] >> 8) << " b " << (pairs[i] & 0xFF) << " at byte " << i
                              << ": " << int{target[i]} << " instead of " << int{expected};
        }
        return wrong;
    }

private:
    static std::uint8_t* Aligned(std::vector<std::uint8_t>& bytes) {
        const auto address = reinterpret_cast<std::uintptr_t>(bytes.data());
        return bytes.data() + (64 - address % 64) % 64;
    }

    std::vector<std::uint8_t> first_;
    std::vector<std::uint8_t> second_;
};

const char* SourceName(Into into) {
    return into == Into::First ? "first" : "second";
}

// Every byte pair once, a << 8 | b, each first byte beside every second byte in a scattered order.
std::vector<std::uint16_t> EveryPair() {
    std::vector<std::uint16_t> pairs;
    pairs.reserve(65536);
    for (int a = 0; a < 256; ++a)
        for (int x = 0; x < 256; ++x) pairs.push_back(static_cast<std::uint16_t>(a << 8 | (x * 7 + a) % 256));
    return pairs;
}

// Pairs that crowd the halfway cases of slider position k into every block: by turns one whose answer
// is not the even neighbour (when k has any), any other halfway case, and two unrelated pairs; then as
// many near pairs, as two frames of one scene give.
std::vector<std::uint16_t> HalfwayPairs(int k, const std::vector<std::uint8_t>& reference) {
    std::vector<std::uint16_t> odd;
    std::vector<std::uint16_t> halfway;
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const int hundredfold = a * (100 - k) + b * k;
            if (hundredfold % 100 != 50) continue;
            const int below = hundredfold / 100;
            const auto pair = static_cast<std::uint16_t>(a << 8 | b);
            (reference[pair] == below + (below & 1) ? halfway : odd).push_back(pair);
        }
    }
    std::vector<std::uint16_t> pairs;
    std::uint32_t state = static_cast<std::uint32_t>(k);
    for (std::size_t j = 0; j < 4096; ++j) {
        state = state * 1664525u + 1013904223u;
        const int a = static_cast<int>(state >> 24);
        const auto random = static_cast<std::uint16_t>(state >> 16);
        const auto near = static_cast<std::uint16_t>(
            a << 8 | std::clamp(a + static_cast<int>(state >> 8 & 63) - 31, 0, 255));
        const std::vector<std::uint16_t>& kind = j % 4 == 0 && !odd.empty() ? odd : halfway;
        if (j / 256 % 2 == 1)
            pairs.push_back(near);
        else if (j % 4 <= 1 && !kind.empty())
            pairs.push_back(kind[(j / 4 * 61) % kind.size()]);
        else
            pairs.push_back(random);
    }
    return pairs;
}

// The target may be either source. Every slider position sees every byte pair on every path, once in
// rows of whole blocks and once cut into rows of every length from 1 to 130 at shifting starts.
TEST(Blend_InPlace, IntoEitherSourceMatchesExtendedPrecisionForEverySliderWeightAndBytePairOnEveryPath) {
    const std::vector<InstructionSet> paths = PathsToCheck();
    const std::vector<std::uint16_t> pairs = EveryPair();
    const std::span<const std::uint16_t> all(pairs);
    InPlaceRows rows(1024);
    for (int position = 0; position <= 100; ++position) {
        const long double weight = static_cast<long double>(position) / 100;
        const std::vector<std::uint8_t> reference = ReferenceTable(weight);
        const auto mixer = effects_detail::Mixer::For(weight);
        for (const InstructionSet set : paths) {
            const InstructionSetScope scope(set);
            for (const Into into : {Into::First, Into::Second}) {
                int wrong = 0;
                for (std::size_t row = 0; row < 64; ++row)
                    wrong +=
                        rows.CountWrong(mixer, all.subspan(row * 1024, 1024),
                                        (row + static_cast<std::size_t>(position)) % 64, into, reference);
                std::size_t start = 0;
                for (std::size_t piece = 0; start < all.size(); ++piece) {
                    const std::size_t length = std::min<std::size_t>(
                        1 + (piece + static_cast<std::size_t>(position)) % 130, all.size() - start);
                    wrong += rows.CountWrong(mixer, all.subspan(start, length), (piece * 37 + position) % 64,
                                             into, reference);
                    start += length;
                }
                ASSERT_EQ(wrong, 0) << "slider position " << position << " on " << InstructionSetName(set)
                                    << " into the " << SourceName(into) << " source";
            }
        }
    }
}

// Every start 0 to 63 bytes past a 64-byte boundary and every length from 1 to 130 bytes, so that each
// lane of the widest blocks and each tail meets the target being a source: at slider positions of each
// way of settling halfway cases.
TEST(Blend_InPlace, IntoEitherSourceMatchesExtendedPrecisionAtEveryStartAndLength) {
    const std::vector<InstructionSet> paths = PathsToCheck();
    // 5 and 55: nearly even, their suspect bytes in the first and the second source; 2: nearly even, near
    // blocks answered by the first bytes; 10: a tie table; 20: no halfway cases; 25 and 50: binary fractions.
    for (const int position : {5, 55, 2, 10, 20, 25, 50}) {
        const long double weight = static_cast<long double>(position) / 100;
        const std::vector<std::uint8_t> reference = ReferenceTable(weight);
        const std::vector<std::uint16_t> pairs = HalfwayPairs(position, reference);
        const auto mixer = effects_detail::Mixer::For(weight);
        InPlaceRows rows(130);
        for (const InstructionSet set : paths) {
            const InstructionSetScope scope(set);
            for (const Into into : {Into::First, Into::Second}) {
                for (std::size_t offset = 0; offset < 64; ++offset) {
                    for (std::size_t length = 1; length <= 130; ++length) {
                        const std::size_t start = (offset * 131 + length * 61) % (pairs.size() - length);
                        ASSERT_EQ(rows.CountWrong(mixer, std::span(pairs).subspan(start, length), offset,
                                                  into, reference),
                                  0)
                            << "slider position " << position << " on " << InstructionSetName(set)
                            << " into the " << SourceName(into) << " source, " << length << " bytes from "
                            << offset;
                    }
                }
            }
        }
    }
}

TEST(Blend_Exact, MatchesExtendedPrecisionForOtherWeightsOnEveryPath) {
    const std::vector<InstructionSet> paths = PathsToCheck();
    Bitmap first = PairFirst();
    Bitmap second = PairSecond();
    Bitmap target;
    // The first, second, fourth and last meet no halfway case and take the difference path; the others
    // meet one, come within the extended precision of one, or are clamped.
    const long double weights[] = {1.0L / 3,       0.123456789L, 0.005L, 0.999L, 0.5L + 1e-18L,
                                   0.29L + 1e-19L, -0.25L,       1.5L,   0.1L,   0.333L};
    for (const long double weight : weights) {
        const std::vector<std::uint8_t> reference = ReferenceTable(weight);
        std::array<std::uint8_t, 65536> answers{};
        std::copy(reference.begin(), reference.end(), answers.begin());
        const bool byDifference = effects_detail::DifferenceMultiplier(answers, weight).has_value();
        const bool plain =
            weight == 1.0L / 3 || weight == 0.123456789L || weight == 0.999L || weight == 0.333L;
        EXPECT_EQ(byDifference, plain) << static_cast<double>(weight);
        for (const InstructionSet set : paths) {
            const InstructionSetScope scope(set);
            Blend(first, second, target, weight);
            EXPECT_EQ(CountWrong(first, second, target, weight, reference), 0)
                << static_cast<double>(weight) << " on " << InstructionSetName(set);
        }
    }
}

TEST(Blend_Exact, RoundsTiesToEven) {
    Bitmap first = Filled(1, 1, [](int x, int) { return x == 2 ? 1 : 0; });
    Bitmap second = Filled(1, 1, [](int x, int) { return x == 0 ? 1 : x == 1 ? 3 : 2; });
    Bitmap target;
    Blend(first, second, target, 0.5L);
    const std::uint8_t* row = target.ScanLine(0);
    EXPECT_EQ(row[0], 0);  // 0 and 1
    EXPECT_EQ(row[1], 2);  // 0 and 3
    EXPECT_EQ(row[2], 2);  // 1 and 2
}

TEST(Blend_Weights, ZeroGivesTheFirstAndOneTheSecond) {
    Bitmap first = PairFirst();
    Bitmap second = PairSecond(true);  // rows in the other order must still pair by their index from the top
    Bitmap target;
    for (const long double weight : {0.0L, 1.0L}) {
        Blend(first, second, target, weight);
        const Bitmap& expected = weight == 0 ? first : second;
        for (int y = 0; y < first.Height(); ++y)
            ASSERT_EQ(std::memcmp(target.ScanLine(y), expected.ScanLine(y), 3 * kPairWidth), 0) << y;
    }
}

TEST(Blend_Sizes, SecondSourceIsCutOrExtendedWithWhiteAndStaysSo) {
    Bitmap first = Filled(3, 2, [](int, int) { return 0; });
    Bitmap larger = Filled(5, 4, [](int x, int y) { return 10 * y + x; });
    Bitmap target;
    Blend(first, larger, target, 1.0L);
    ASSERT_EQ(larger.Width(), 3);
    ASSERT_EQ(larger.Height(), 2);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(target.ScanLine(y)[x], 10 * y + x);

    Bitmap smaller = Filled(1, 1, [](int, int) { return 4; });
    Blend(first, smaller, target, 1.0L);
    EXPECT_EQ(smaller.Width(), 3);
    EXPECT_EQ(smaller.Height(), 2);
    EXPECT_EQ(smaller.PixelColor(0, 0), (Rgb{4, 4, 4}));
    EXPECT_EQ(smaller.PixelColor(2, 0), kWhite);
    EXPECT_EQ(smaller.PixelColor(0, 1), kWhite);
    EXPECT_EQ(target.PixelColor(0, 0), (Rgb{4, 4, 4}));
    EXPECT_EQ(target.PixelColor(2, 1), kWhite);
}

TEST(Blend_Formats, ConvertsA32BitFirstSourceInPlace) {
    Bitmap first;
    first.SetPixelFormat(PixelFormat::Bit32);
    first.SetSize(2, 2);
    first.GetCanvas().SetPixel(1, 1, Rgb{200, 100, 50});
    Bitmap second = Filled(2, 2, [](int, int) { return 0; });
    second.SetPixelFormat(PixelFormat::Bit15);
    Bitmap target;
    target.SetPixelFormat(PixelFormat::Bit8);
    Blend(first, second, target, 0.5L);
    EXPECT_EQ(first.GetPixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(second.GetPixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(target.GetPixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(target.PixelColor(1, 1), (Rgb{100, 50, 25}));
    EXPECT_EQ(target.PixelColor(0, 0), (Rgb{128, 128, 128}));  // 127.5 goes to the even 128
}

TEST(Blend_Sizes, ZeroWidthOrHeightMixesNothingAndReportsNothing) {
    for (const auto& [width, height] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{0, 0}}) {
        Bitmap first;
        first.SetSize(width, height);
        Bitmap second = Filled(2, 2, [](int, int) { return 9; });
        Bitmap target;
        int calls = 0;
        Blend(first, second, target, 0.5L, [&](int, int, int) { ++calls; });
        EXPECT_EQ(calls, 0);
        EXPECT_TRUE(target.Empty());
        EXPECT_TRUE(second.Empty());
    }
}

TEST(Blend_Progress, ReportsEachRowBeforeMixingItNeverReaching100) {
    Bitmap first = Filled(2, 8, [](int, int) { return 1; });
    Bitmap second = first;
    Bitmap target;
    std::vector<int> positions;
    Blend(first, second, target, 0.3L, [&](int minimum, int maximum, int position) {
        EXPECT_EQ(minimum, 0);
        EXPECT_EQ(maximum, 100);
        positions.push_back(position);
    });
    // y / 8 * 100 rounded half to even: 12.5 -> 12, 37.5 -> 38, 62.5 -> 62, 87.5 -> 88.
    EXPECT_EQ(positions, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88}));
}

TEST(Blend_Memory, ReusesMatchingBitmapsAndRaisesOneChange) {
    Bitmap first = PairFirst();
    Bitmap second = PairSecond();
    Bitmap target;
    Blend(first, second, target, 0.37L);
    const std::uint8_t* secondPixels = second.Pixels();
    const std::uint8_t* targetPixels = target.Pixels();
    int changes = 0;
    target.OnChange = [&] { ++changes; };
    Blend(first, second, target, 0.37L);
    EXPECT_EQ(second.Pixels(), secondPixels);
    EXPECT_EQ(target.Pixels(), targetPixels);
    EXPECT_EQ(changes, 1);
}

TEST(Blend_Weights, RejectsANonFiniteWeightBeforeTouchingAnything) {
    Bitmap first = Filled(2, 2, [](int, int) { return 1; });
    Bitmap second = Filled(3, 3, [](int, int) { return 2; });
    Bitmap target;
    EXPECT_THROW(Blend(first, second, target, std::nanl("")), Exception);
    EXPECT_THROW(Blend(first, second, target, HUGE_VALL), Exception);
    EXPECT_EQ(second.Width(), 3);
    EXPECT_TRUE(target.Empty());
}

// A camera frame blended where it lies, large enough to be written past the cache, in either row order:
// the same bytes as the Bitmaps' blend, on every instruction set and every kind of weight.
TEST(Blend_Frame, ALargeFrameInEitherRowOrder_GivesTheBitmapBlendsBytes) {
    const std::vector<InstructionSet> paths = PathsToCheck();
    const int width = 1920;
    const int height = 1080;
    for (const bool topDown : {true, false}) {
        const Bitmap frame = Filled(
            width, height, [](int x, int y) { return (x * 7 + y * 13 + x * y) % 251; }, topDown);
        const Bitmap reference = Filled(width, height, [](int x, int y) { return (x + 3 * y) % 256; });
        const FrameRows rows{frame.Pixels(), width, height, frame.RowStride(), topDown};
        for (const InstructionSet set : paths) {
            const InstructionSetScope scope(set);
            for (const long double weight : {0.5L, 0.25L, 0.2L, 0.37L, 0.333L}) {
                Bitmap first = frame;
                Bitmap second = reference;
                Bitmap expected;
                Blend(first, second, expected, weight);
                second = reference;
                Bitmap target;
                Blend(rows, second, target, weight);
                ASSERT_EQ(target.PixelBytes(), expected.PixelBytes());
                for (int y = 0; y < height; ++y)
                    ASSERT_EQ(
                        std::memcmp(std::as_const(target).ScanLine(y), std::as_const(expected).ScanLine(y),
                                    static_cast<std::size_t>(width) * 3),
                        0)
                        << "row " << y << " at " << static_cast<double>(weight) << " on "
                        << InstructionSetName(set);
            }
        }
    }
}

TEST(Blend_Threads, ConcurrentBlendsAtDifferentWeightsStayExact) {
    // Each thread first meets its own slider weights and fallback weights, so the shared tables are built
    // while the other thread reads them.
    auto work = [](int offset, int* wrong) {
        Bitmap first = PairFirst();
        Bitmap second = PairSecond();
        Bitmap target;
        for (int position = 1 + offset; position < 100; position += 14) {
            for (const long double weight : {static_cast<long double>(position) / 100, position / 99.0L}) {
                Blend(first, second, target, weight);
                *wrong += CountWrong(first, second, target, weight, ReferenceTable(weight));
            }
        }
    };
    int wrongA = 0;
    int wrongB = 0;
    std::thread a(work, 0, &wrongA);
    std::thread b(work, 7, &wrongB);
    a.join();
    b.join();
    EXPECT_EQ(wrongA + wrongB, 0);
}

}  // namespace
}  // namespace flipbook
