// SPDX-License-Identifier: GPL-3.0-or-later
// The BMP conformance suite: one test per file, compared with the suite's reference renderings.
#include <gtest/gtest.h>
#include <png.h>

#include <fstream>
#include <iterator>

#include "codecs/bmp/bmp_file.h"
#include "platform/core/exception.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

enum class Outcome {
    MatchesReference,
    // The pixel data is taken to start right after the colour table, whatever the file's offset says,
    // and only the bytes present are read: the pixel memory holds the file's bytes from there on.
    HoldsBytesAfterTable,
    Refused,
};

struct CorpusFile {
    const char* path;
    Outcome outcome;
    const char* reference = "";  // under ref/
    PixelFormat format = PixelFormat::Bit8;
    std::size_t tableBytes = 0;  // for HoldsBytesAfterTable: where the pixel data starts after the header
};

const CorpusFile kSuite[] = {
    {"b/badbitcount.bmp", Outcome::Refused},
    // Resolution, file size, header size 66 and an image size beyond the data are not what we judge by.
    {"b/badbitssize.bmp", Outcome::MatchesReference, "pal1.png", PixelFormat::Bit1},
    {"b/baddens1.bmp", Outcome::MatchesReference, "pal1.png", PixelFormat::Bit1},
    {"b/badfilesize.bmp", Outcome::MatchesReference, "pal1.png", PixelFormat::Bit1},
    {"b/badheadersize.bmp", Outcome::MatchesReference, "pal1.png", PixelFormat::Bit1},
    {"b/badpalettesize.bmp", Outcome::Refused},
    {"b/badplanes.bmp", Outcome::Refused},
    {"b/badrle.bmp", Outcome::Refused},
    {"b/badrle4.bmp", Outcome::Refused},
    {"b/badwidth.bmp", Outcome::Refused},
    {"b/reallybig.bmp", Outcome::Refused},
    {"b/shortfile.bmp", Outcome::HoldsBytesAfterTable, "", PixelFormat::Bit1, 14 + 40 + 8},
    {"g/pal1.bmp", Outcome::MatchesReference, "pal1.png", PixelFormat::Bit1},
    {"g/pal1wb.bmp", Outcome::MatchesReference, "pal1wb.png", PixelFormat::Bit1},
    {"g/pal4.bmp", Outcome::MatchesReference, "pal4.png", PixelFormat::Bit4},
    {"g/pal4rle.bmp", Outcome::MatchesReference, "pal4rle.png", PixelFormat::Device},
    {"g/pal8.bmp", Outcome::MatchesReference, "pal8.png"},
    {"g/pal8nonsquare.bmp", Outcome::MatchesReference, "pal8nonsquare.png"},
    {"g/pal8os2.bmp", Outcome::MatchesReference, "pal8os2.png"},
    {"g/pal8rle.bmp", Outcome::MatchesReference, "pal8rle.png", PixelFormat::Device},
    {"g/pal8topdown.bmp", Outcome::MatchesReference, "pal8topdown.png"},
    {"g/pal8v4.bmp", Outcome::MatchesReference, "pal8v4.png"},
    {"g/pal8w126.bmp", Outcome::MatchesReference, "pal8w126.png"},
    {"g/rgb16-565.bmp", Outcome::MatchesReference, "rgb16-565.png", PixelFormat::Bit16},
    {"g/rgb16.bmp", Outcome::MatchesReference, "rgb16.png", PixelFormat::Bit15},
    {"g/rgb24.bmp", Outcome::MatchesReference, "rgb24.png", PixelFormat::Bit24},
    {"g/rgb32.bmp", Outcome::MatchesReference, "rgb32.png", PixelFormat::Bit32},
    {"g/rgb32bf.bmp", Outcome::MatchesReference, "rgb32bf.png", PixelFormat::Custom},
    {"q/pal1huffmsb.bmp", Outcome::Refused},  // compression 3 at 1 bit
    {"q/pal1p1.bmp", Outcome::MatchesReference, "pal1p1.png", PixelFormat::Bit1},
    {"q/pal2.bmp", Outcome::Refused},
    // Skipped and never-reached pixels of run-length data stay black.
    {"q/pal4rlecut.bmp", Outcome::MatchesReference, "pal4rlecut-b.png", PixelFormat::Device},
    {"q/pal4rletrns.bmp", Outcome::MatchesReference, "pal4rletrns-b.png", PixelFormat::Device},
    {"q/pal8offs.bmp", Outcome::HoldsBytesAfterTable, "", PixelFormat::Bit8, 14 + 40 + 252 * 4},
    {"q/pal8os2-sz.bmp", Outcome::MatchesReference, "pal8os2-sz.png"},
    // A core header always has a full table of 3-byte entries.
    {"q/pal8os2sp.bmp", Outcome::HoldsBytesAfterTable, "", PixelFormat::Bit8, 14 + 12 + 256 * 3},
    {"q/pal8os2v2-16.bmp", Outcome::Refused},
    {"q/pal8os2v2.bmp", Outcome::MatchesReference, "pal8os2v2.png"},
    {"q/pal8oversizepal.bmp", Outcome::Refused},
    {"q/pal8rletrns.bmp", Outcome::MatchesReference, "pal8rletrns-b.png", PixelFormat::Device},
    {"q/rgb16-231.bmp", Outcome::MatchesReference, "rgb16-231.png", PixelFormat::Custom},
    {"q/rgb16faketrns.bmp", Outcome::MatchesReference, "rgb16faketrns.png", PixelFormat::Bit15},
    {"q/rgb24jpeg.bmp", Outcome::Refused},
    {"q/rgb24largepal.bmp", Outcome::Refused},
    {"q/rgb24prof.bmp", Outcome::MatchesReference, "rgb24prof.png", PixelFormat::Bit24},
    {"q/rgb24rle24.bmp", Outcome::Refused},
    {"q/rgb32-111110.bmp", Outcome::MatchesReference, "rgb32-111110.png", PixelFormat::Custom},
    {"q/rgb32fakealpha.bmp", Outcome::MatchesReference, "rgb32fakealpha.png", PixelFormat::Bit32},
    {"q/rgb32h52.bmp", Outcome::MatchesReference, "rgb32h52.png", PixelFormat::Custom},
    {"q/rgba16-4444.bmp", Outcome::MatchesReference, "rgba16-4444.png", PixelFormat::Custom},
    {"q/rgba32-1.bmp", Outcome::MatchesReference, "rgba32-1.png", PixelFormat::Bit32},
    {"q/rgba32-1010102.bmp", Outcome::MatchesReference, "rgba32-1010102.png", PixelFormat::Custom},
    {"q/rgba32abf.bmp", Outcome::Refused},
    {"q/rgba64.bmp", Outcome::Refused},
};

std::vector<std::uint8_t> FileBytes(const std::string& relative) {
    std::ifstream input(testing::CorpusPath("bmp/" + relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

// The reference rendering as 8-bit red, green, blue, alpha, decoded by the system's libpng.
struct Reference {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

Reference ReadReference(const std::string& name) {
    const std::string path = testing::CorpusPath("bmp/ref/" + name).string();
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw std::runtime_error("cannot read " + path);
    image.format = PNG_FORMAT_RGBA;
    Reference reference{static_cast<int>(image.width), static_cast<int>(image.height), {}};
    reference.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, reference.rgba.data(), 0, nullptr))
        throw std::runtime_error("cannot decode " + path);
    return reference;
}

void PrintTo(const CorpusFile& file, std::ostream* out) {
    *out << file.path;
}

class BmpLoad_Corpus : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(BmpLoad_Corpus, LoadsOrRefusesAsItShould) {
    const CorpusFile& file = GetParam();
    const std::vector<std::uint8_t> bytes = FileBytes(file.path);
    ASSERT_GT(bytes.size(), 54u);
    ReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    Bitmap bitmap;
    if (file.outcome == Outcome::Refused) {
        EXPECT_THROW(LoadBmpStream(bitmap, stream), EInvalidGraphic);
        EXPECT_TRUE(bitmap.Empty());
        return;
    }
    LoadBmpStream(bitmap, stream);
    EXPECT_EQ(bitmap.GetPixelFormat(), file.format);

    if (file.outcome == Outcome::HoldsBytesAfterTable) {
        const std::size_t present = std::min(bytes.size() - file.tableBytes, bitmap.PixelBytes());
        std::vector<std::uint8_t> expected(
            bytes.begin() + static_cast<std::ptrdiff_t>(file.tableBytes),
            bytes.begin() + static_cast<std::ptrdiff_t>(file.tableBytes + present));
        expected.resize(bitmap.PixelBytes(), 0);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bitmap.Pixels()));
        return;
    }

    const Reference reference = ReadReference(file.reference);
    ASSERT_EQ(bitmap.Width(), reference.width);
    ASSERT_EQ(bitmap.Height(), reference.height);
    int mismatches = 0;
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            const std::uint8_t* expected =
                &reference.rgba[(static_cast<std::size_t>(y) * reference.width + x) * 4];
            if (expected[3] == 0) continue;  // a fully transparent reference pixel carries no colour
            const Rgb actual = bitmap.PixelColor(x, y);
            // References round n-bit channels exactly; we allow the difference of one that bit
            // replication gives.
            const bool close = std::abs(actual.red - expected[0]) <= 1 &&
                               std::abs(actual.green - expected[1]) <= 1 &&
                               std::abs(actual.blue - expected[2]) <= 1;
            if (!close && mismatches++ < 3) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << int{actual.red} << " "
                              << int{actual.green} << " " << int{actual.blue} << ", reference "
                              << int{expected[0]} << " " << int{expected[1]} << " " << int{expected[2]};
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

std::string TestName(const ::testing::TestParamInfo<CorpusFile>& info) {
    std::string name = info.param.path;
    name = name.substr(0, name.size() - 4);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Suite, BmpLoad_Corpus, ::testing::ValuesIn(kSuite), TestName);

}  // namespace
}  // namespace flipbook
