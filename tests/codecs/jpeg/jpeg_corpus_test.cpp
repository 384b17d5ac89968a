// SPDX-License-Identifier: GPL-3.0-or-later
// The conformance corpus, one test per file of its manifest, each decoded picture compared with the
// reference decode stored beside it.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_test_support.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using testing::CorpusPath;

struct CorpusFile {
    std::string name;     // file name without ".jpg"
    std::string outcome;  // "decodes", "decodes truncated" or "fails"
    int components = 0;   // of the file; 0 when it fails
};

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The manifest's table: "file | outcome | WxH, components | how made | md5 | notes".
std::vector<CorpusFile> ReadManifest() {
    std::vector<CorpusFile> files;
    std::ifstream manifest(CorpusPath("jpeg/MANIFEST.txt"));
    std::string line;
    while (std::getline(manifest, line)) {
        std::vector<std::string> columns;
        std::stringstream columnStream(line);
        for (std::string column; std::getline(columnStream, column, '|');) columns.push_back(Trim(column));
        if (columns.size() < 3 || columns[0].size() < 5 || !columns[0].ends_with(".jpg")) continue;
        CorpusFile file{columns[0].substr(0, columns[0].size() - 4), columns[1], 0};
        if (const auto comma = columns[2].find(','); comma != std::string::npos)
            file.components = std::stoi(columns[2].substr(comma + 1));
        files.push_back(file);
    }
    return files;
}

class JpegCorpus : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(JpegCorpus, DecodesLikeTheReferenceOrFailsCleanly) {
    const CorpusFile& file = GetParam();
    const auto path = CorpusPath("jpeg/" + file.name + ".jpg");
    TJPEGImage image;
    Bitmap bitmap;

    if (file.outcome == "fails") {
        // A damaged header fails while loading; an empty file loads and fails when pixels are wanted.
        EXPECT_THROW(
            {
                image.LoadFromFile(path.string());
                image.AssignTo(bitmap);
            },
            EJPEG);
        EXPECT_TRUE(bitmap.Empty());
        return;
    }

    image.LoadFromFile(path.string());
    image.AssignTo(bitmap);
    const auto reference = testing::ReadPng(CorpusPath("jpeg/ref/" + file.name + ".png"));
    ASSERT_EQ(bitmap.Width(), reference.width);
    ASSERT_EQ(bitmap.Height(), reference.height);
    if (file.components == 1) {
        // Grey files become an 8-bit Bitmap of at most 236 grey levels, dithered: a level or two off.
        EXPECT_EQ(bitmap.BitsPerPixel(), 8);
        EXPECT_LE(bitmap.ColorTable().size(), 236U);
        for (const RgbQuad& entry : bitmap.ColorTable()) {
            EXPECT_EQ(entry.red, entry.green);
            EXPECT_EQ(entry.red, entry.blue);
        }
        EXPECT_LE(testing::MaxDifference(bitmap, reference), 3);
    } else {
        // Colour files, also four-component ones, decode exactly as the library's own tool does.
        EXPECT_EQ(bitmap.BitsPerPixel(), 24);
        EXPECT_EQ(testing::MaxDifference(bitmap, reference), 0);
    }
}

std::string CorpusFileName(const ::testing::TestParamInfo<CorpusFile>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Manifest, JpegCorpus, ::testing::ValuesIn(ReadManifest()), CorpusFileName);

TEST(JpegCorpusManifest, ListsEveryKindOfOutcome) {
    const auto files = ReadManifest();
    EXPECT_GE(files.size(), 16U);
    int fails = 0;
    for (const auto& file : files) fails += file.outcome == "fails";
    EXPECT_GE(fails, 2);
}

}  // namespace
}  // namespace flipbook
