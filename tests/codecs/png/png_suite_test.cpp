// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG suite: every valid file decodes to its reference pixels, every damaged one ("x" prefix)
// raises the exception its damage calls for.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <typeindex>

#include "codecs/png/header_chunk.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

struct SuiteFile {
    std::string name;  // without ".png"
    bool valid = false;
    std::uint32_t gamma = 0;  // 0: no "gAMA" chunk
};

std::vector<SuiteFile> ReadManifest() {
    std::vector<SuiteFile> files;
    std::ifstream manifest(testing::CorpusPath("png/MANIFEST.txt"));
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.find(".png") == std::string::npos || line.find('|') == std::string::npos) continue;
        std::vector<std::string> columns;
        std::stringstream fields(line);
        for (std::string column; std::getline(fields, column, '|');) {
            column.erase(0, column.find_first_not_of(' '));
            column.erase(column.find_last_not_of(' ') + 1);
            columns.push_back(column);
        }
        SuiteFile file;
        file.name = columns[0].substr(0, columns[0].size() - 4);
        file.valid = columns[1] == "decodes";
        if (columns[2].rfind("gAMA=", 0) == 0 && columns[2] != "gAMA=none")
            file.gamma = std::stoul(columns[2].substr(5));
        files.push_back(file);
    }
    return files;
}

std::vector<long> ReadReference(const std::string& name) {
    std::ifstream json(testing::CorpusPath("png/json/" + name + ".json"));
    std::vector<long> values;
    long value = 0;
    bool inNumber = false;
    for (char c; json.get(c);) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            inNumber = true;
        } else if (inNumber) {
            values.push_back(value);
            value = 0;
            inNumber = false;
        }
    }
    return values;
}

// The gamma table as the description of the decoder defines it, computed here on its own.
std::array<std::uint8_t, 256> ExpectedGammaTable(std::uint32_t gamma) {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        if (gamma == 0) {
            table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
            continue;
        }
        const long double exponent = 1.0L / (gamma / 100000.0L * 2.2L);
        table[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(std::nearbyint(std::pow(i / 255.0L, exponent) * 255.0L));
    }
    return table;
}

class PngSuite : public ::testing::TestWithParam<SuiteFile> {};

TEST_P(PngSuite, DecodesToReferenceOrRaisesItsError) {
    const SuiteFile& file = GetParam();
    const std::string path = testing::CorpusPath("png/" + file.name + ".png").string();
    TPNGObject png;
    if (!file.valid) {
        // Which class each kind of damage raises.
        static const std::map<std::string, std::type_index> expected{
            {"xc1n0g08", typeid(EPngInvalidIHDR)},       {"xc9n2c08", typeid(EPngInvalidIHDR)},
            {"xcrn0g04", typeid(EPNGInvalidFileHeader)}, {"xcsn0g01", typeid(EPngInvalidCRC)},
            {"xd0n2c08", typeid(EPngInvalidIHDR)},       {"xd3n2c08", typeid(EPngInvalidIHDR)},
            {"xd9n2c08", typeid(EPngInvalidIHDR)},       {"xdtn0g01", typeid(EPNGNoImageData)},
            {"xhdn0g08", typeid(EPngInvalidCRC)},        {"xlfn0g04", typeid(EPNGInvalidFileHeader)},
            {"xs1n0g01", typeid(EPNGInvalidFileHeader)}, {"xs2n0g01", typeid(EPNGInvalidFileHeader)},
            {"xs4n0g01", typeid(EPNGInvalidFileHeader)}, {"xs7n0g01", typeid(EPNGInvalidFileHeader)},
        };
        ASSERT_TRUE(expected.count(file.name)) << "no expectation for " << file.name;
        try {
            png.LoadFromFile(path);
            FAIL() << "loaded a damaged file";
        } catch (const Exception& error) {
            EXPECT_EQ(std::type_index(typeid(error)), expected.at(file.name)) << error.what();
        }
        return;
    }

    png.LoadFromFile(path);
    Bitmap bitmap;
    bitmap.Assign(png);
    const TChunkIHDR& header = png.Header();
    ASSERT_EQ(bitmap.Width(), static_cast<int>(header.width));
    ASSERT_EQ(bitmap.Height(), static_cast<int>(header.height));
    const std::vector<long> reference = ReadReference(file.name);
    ASSERT_EQ(reference.size(), std::size_t{4} * header.width * header.height);
    const auto gamma = ExpectedGammaTable(file.gamma);
    const int shift = header.bitDepth == 16 ? 8 : 0;
    const bool hasAlpha = header.colorType == 4 || header.colorType == 6;
    int mismatches = 0;
    for (std::uint32_t y = 0; y < header.height; ++y) {
        for (std::uint32_t x = 0; x < header.width; ++x) {
            const long* sample = &reference[4 * (std::size_t{y} * header.width + x)];
            const Rgb expected{gamma[static_cast<std::size_t>(sample[0] >> shift)],
                               gamma[static_cast<std::size_t>(sample[1] >> shift)],
                               gamma[static_cast<std::size_t>(sample[2] >> shift)]};
            const Rgb actual = bitmap.PixelColor(static_cast<int>(x), static_cast<int>(y));
            std::uint8_t expectedAlpha = 0;
            std::uint8_t actualAlpha = 0;
            if (hasAlpha) {
                expectedAlpha = static_cast<std::uint8_t>(sample[3] >> shift);
                actualAlpha = header.AlphaPlane()[std::size_t{y} * header.width + x];
            }
            if ((actual != expected || actualAlpha != expectedAlpha) && ++mismatches <= 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": got " << int(actual.red) << " "
                              << int(actual.green) << " " << int(actual.blue) << " a" << int(actualAlpha)
                              << ", expected " << int(expected.red) << " " << int(expected.green) << " "
                              << int(expected.blue) << " a" << int(expectedAlpha);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, PngSuite, ::testing::ValuesIn(ReadManifest()),
                         [](const ::testing::TestParamInfo<SuiteFile>& suiteFile) {
                             return suiteFile.param.name;
                         });

}  // namespace
}  // namespace flipbook
