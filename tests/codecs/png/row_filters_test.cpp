// SPDX-License-Identifier: GPL-3.0-or-later
// The row filters against the PNG definitions, for every pixel distance and row length.
#include "codecs/png/row_filters.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace flipbook {
namespace {

using Row = std::vector<std::uint8_t>;

Row RandomRow(std::size_t count, std::mt19937& generator) {
    Row row(count);
    for (auto& byte : row) byte = static_cast<std::uint8_t>(generator());
    return row;
}

// The filters written straight from their definitions, one byte at a time.
Row ReferenceFilter(std::uint8_t type, const Row& raw, const Row& previous, std::size_t distance) {
    Row out(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const int left = i >= distance ? raw[i - distance] : 0;
        const int above = previous[i];
        const int upperLeft = i >= distance ? previous[i - distance] : 0;
        int predictor = 0;
        if (type == kFilterSub) predictor = left;
        if (type == kFilterUp) predictor = above;
        if (type == kFilterAverage) predictor = (left + above) / 2;
        if (type == kFilterPaeth) predictor = PaethPredictor(left, above, upperLeft);
        out[i] = static_cast<std::uint8_t>(raw[i] - predictor);
    }
    return out;
}

Row Filter(std::uint8_t type, const Row& raw, const Row& previous, std::size_t distance) {
    Row out(raw.size());
    switch (type) {
        case kFilterSub:
            FilterSub(raw.data(), out.data(), raw.size(), distance);
            break;
        case kFilterUp:
            FilterUp(raw.data(), previous.data(), out.data(), raw.size());
            break;
        case kFilterAverage:
            FilterAverage(raw.data(), previous.data(), out.data(), raw.size(), distance);
            break;
        case kFilterPaeth:
            FilterPaeth(raw.data(), previous.data(), out.data(), raw.size(), distance);
            break;
        default:
            out = raw;
    }
    return out;
}

TEST(PngRowFilters, FilterAndUnfilter_AgreeWithTheDefinitions) {
    std::mt19937 generator(42);
    for (std::size_t distance = 1; distance <= 8; ++distance) {
        for (std::size_t pixels : {1, 2, 3, 7, 64, 301}) {
            const std::size_t count = pixels * distance;
            // Low-contrast rows make ties between the Paeth candidates common.
            for (int contrast : {255, 3}) {
                Row raw = RandomRow(count, generator);
                Row previous = RandomRow(count, generator);
                for (auto& byte : raw) byte = static_cast<std::uint8_t>(100 + byte % (contrast + 1));
                for (auto& byte : previous) byte = static_cast<std::uint8_t>(100 + byte % (contrast + 1));
                for (std::uint8_t type = kFilterSub; type <= kFilterPaeth; ++type) {
                    SCOPED_TRACE(::testing::Message()
                                 << "type " << int(type) << " distance " << distance << " bytes " << count);
                    const Row filtered = Filter(type, raw, previous, distance);
                    ASSERT_EQ(filtered, ReferenceFilter(type, raw, previous, distance));
                    Row restored = filtered;
                    UnfilterRow(type, restored.data(), previous.data(), count, distance);
                    ASSERT_EQ(restored, raw);
                }
            }
        }
    }
}

TEST(PngRowFilters, UnknownFilterTypes_LeaveTheRow) {
    const Row raw{1, 2, 3, 4};
    for (std::uint8_t type : {0, 5, 7, 255}) {
        Row row = raw;
        UnfilterRow(type, row.data(), raw.data(), row.size(), 1);
        EXPECT_EQ(row, raw);
    }
}

TEST(PngRowFilters, Score_CountsBytesEqualToOneOfTheTwoBefore) {
    const Row row{1, 1, 1, 2, 1, 3, 4};
    // j = 2: equals j-1; j = 3: no; j = 4: equals j-2 (1); j = 5: no; j = 6: no.
    EXPECT_EQ(ScoreFilteredRow(row.data(), row.size()), 2u);
    EXPECT_EQ(ScoreFilteredRow(row.data(), 2), 0u);
}

}  // namespace
}  // namespace flipbook
