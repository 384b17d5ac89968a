// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/bmp/bmp_file.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "codecs/bmp/run_length.h"
#include "platform/core/exception.h"
#include "platform/core/limits.h"

namespace flipbook {

namespace {

constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kMaskBytes = 12;
// Headers of at least this size carry the three masks right after the 40-byte part.
constexpr std::uint32_t kHeaderWithMasksBytes = kInfoHeaderBytes + kMaskBytes;
constexpr std::size_t kMaxColorEntries = 256;

// Why a file is refused. They all read "Bitmap image is not valid" to the user; the names keep apart
// a broken file, one we do not read, and one that holds far less than its header describes.
enum class Problem { Malformed, Unsupported, Truncated };

[[noreturn]] void Reject(Problem) {
    throw EInvalidGraphic();
}

std::uint16_t GetU16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t GetU32(const std::uint8_t* bytes) {
    return bytes[0] | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::int32_t GetS32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(GetU32(bytes));
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutS32(std::vector<std::uint8_t>& out, std::int32_t value) {
    PutU32(out, static_cast<std::uint32_t>(value));
}

ColorMasks DefaultBitFieldMasks(std::uint16_t bitCount) {
    if (bitCount == 16) return {0xF800, 0x07E0, 0x001F};
    return {0xFF0000, 0x00FF00, 0x0000FF};
}

// ---- saving ----

// The colour table that goes into the file, with the header's colours used made to agree with it, so
// that the file's offsets and counts always describe what is really written.
std::vector<RgbQuad> ColorTableToWrite(const Bitmap& bitmap, BitmapInfoHeader& header) {
    if (header.bitCount > 8) {
        // No table is written for these, so a count kept from a loaded file must not promise one.
        header.clrUsed = 0;
        return {};
    }
    const std::vector<RgbQuad>& held = bitmap.ColorTable();
    std::size_t count = std::min(held.size(), kMaxColorEntries);
    if (header.clrUsed != 0) count = std::min<std::size_t>(count, header.clrUsed);
    if (count == 0) {
        // A palette picture without a table: write the full table it implies, all black.
        header.clrUsed = 0;
        return std::vector<RgbQuad>(std::size_t{1} << header.bitCount);
    }
    header.clrUsed = static_cast<std::uint32_t>(count);
    return {held.begin(), held.begin() + static_cast<std::ptrdiff_t>(count)};
}

void PutInfoHeader(std::vector<std::uint8_t>& out, const BitmapInfoHeader& header) {
    PutU32(out, kInfoHeaderBytes);
    PutS32(out, header.width);
    PutS32(out, header.height);
    PutU16(out, header.planes);
    PutU16(out, header.bitCount);
    PutU32(out, header.compression);
    PutU32(out, header.sizeImage);
    PutS32(out, header.xPelsPerMeter);
    PutS32(out, header.yPelsPerMeter);
    PutU32(out, header.clrUsed);
    PutU32(out, header.clrImportant);
}

// ---- loading ----

// The picture as the file describes it, before any pixel memory is made.
struct FileDescription {
    BitmapInfoHeader header;
    ColorMasks masks;
    std::uint32_t headerBytes = kInfoHeaderBytes;  // as the file gives it
    std::size_t colorEntryBytes = 4;
};

// Reads the info header (either form) after the 4-byte size field; `remaining` counts the bytes left.
FileDescription ReadInfoHeader(Stream& stream, std::int64_t& remaining) {
    std::array<std::uint8_t, kHeaderWithMasksBytes> bytes{};
    if (remaining < 4) Reject(Problem::Truncated);
    stream.ReadBuffer(bytes.data(), 4);
    FileDescription file;
    file.headerBytes = GetU32(bytes.data());
    BitmapInfoHeader& header = file.header;

    if (file.headerBytes == kCoreHeaderBytes) {
        if (remaining < kCoreHeaderBytes) Reject(Problem::Truncated);
        stream.ReadBuffer(bytes.data() + 4, kCoreHeaderBytes - 4);
        header.width = GetU16(bytes.data() + 4);
        header.height = GetU16(bytes.data() + 6);
        header.planes = GetU16(bytes.data() + 8);
        header.bitCount = GetU16(bytes.data() + 10);
        file.colorEntryBytes = 3;
        remaining -= kCoreHeaderBytes;
        return file;
    }

    // Below 40 bytes the fields we rely on would be missing; beyond the file there is nothing to read.
    if (file.headerBytes < kInfoHeaderBytes) Reject(Problem::Malformed);
    if (file.headerBytes > remaining) Reject(Problem::Truncated);
    const std::uint32_t kept = std::min(file.headerBytes, kHeaderWithMasksBytes);
    stream.ReadBuffer(bytes.data() + 4, kept - 4);
    // Later header versions add colour-space fields we do not use.
    if (file.headerBytes > kept) stream.Seek(file.headerBytes - kept, SeekOrigin::Current);
    remaining -= file.headerBytes;

    const std::uint8_t* field = bytes.data();
    header.width = GetS32(field + 4);
    header.height = GetS32(field + 8);
    header.planes = GetU16(field + 12);
    header.bitCount = GetU16(field + 14);
    header.compression = GetU32(field + 16);
    header.sizeImage = GetU32(field + 20);
    header.xPelsPerMeter = GetS32(field + 24);
    header.yPelsPerMeter = GetS32(field + 28);
    header.clrUsed = GetU32(field + 32);
    header.clrImportant = GetU32(field + 36);
    if (file.headerBytes >= kHeaderWithMasksBytes) {
        file.masks = {GetU32(field + 40), GetU32(field + 44), GetU32(field + 48)};
    }
    return file;
}

// Bytes of uncompressed pixel rows for the description; the side limits keep this within 64 bits.
std::uint64_t UncompressedBytes(const BitmapInfoHeader& header) {
    return *RowStride(static_cast<std::uint64_t>(header.width), header.bitCount) *
           static_cast<std::uint64_t>(std::abs(std::int64_t{header.height}));
}

bool IsRunLength(const BitmapInfoHeader& header) {
    return header.compression == kBiRle8 || header.compression == kBiRle4;
}

// Refuses descriptions that no pixel memory can be made of, before anything more is read.
void CheckDescription(const FileDescription& file) {
    const BitmapInfoHeader& header = file.header;
    if (header.planes != 1) Reject(Problem::Malformed);
    if (header.width <= 0 || header.height == 0) Reject(Problem::Malformed);
    if (header.width > kMaxPictureSide || std::abs(std::int64_t{header.height}) > kMaxPictureSide)
        Reject(Problem::Unsupported);
    constexpr std::array<std::uint16_t, 6> kBitCounts{1, 4, 8, 16, 24, 32};
    if (std::ranges::find(kBitCounts, header.bitCount) == kBitCounts.end()) Reject(Problem::Unsupported);
    switch (header.compression) {
        case kBiRgb:
            break;
        case kBiRle8:
            if (header.bitCount != 8) Reject(Problem::Malformed);
            break;
        case kBiRle4:
            if (header.bitCount != 4) Reject(Problem::Malformed);
            break;
        case kBiBitFields:
            if (header.bitCount != 16 && header.bitCount != 32) Reject(Problem::Unsupported);
            // Masks are either a 12-byte block after a 40-byte header or inside a larger one.
            if (file.headerBytes > kInfoHeaderBytes && file.headerBytes < kHeaderWithMasksBytes)
                Reject(Problem::Malformed);
            break;
        default:
            Reject(Problem::Unsupported);  // embedded JPEG or PNG data, and anything newer
    }
    // Run-length data always counts its rows from the bottom.
    if (IsRunLength(header) && header.height < 0) Reject(Problem::Malformed);
}

std::vector<RgbQuad> ReadColorTable(Stream& stream, const FileDescription& file, std::int64_t& remaining) {
    const BitmapInfoHeader& header = file.header;
    std::size_t count = header.clrUsed;
    if (count == 0 && header.bitCount <= 8) count = std::size_t{1} << header.bitCount;
    if (count > kMaxColorEntries) Reject(Problem::Malformed);

    std::array<std::uint8_t, kMaxColorEntries * 4> bytes{};
    const std::size_t tableBytes = count * file.colorEntryBytes;
    stream.ReadBuffer(bytes.data(), tableBytes);
    remaining -= static_cast<std::int64_t>(tableBytes);

    std::vector<RgbQuad> table(count);
    for (std::size_t index = 0; index < count; ++index) {
        const std::uint8_t* entry = bytes.data() + index * file.colorEntryBytes;
        // Three-byte entries of the core form are widened with a zero fourth byte.
        table[index] = {entry[0], entry[1], entry[2], file.colorEntryBytes == 4 ? entry[3] : std::uint8_t{0}};
    }
    return table;
}

// Refuses pictures whose memory is beyond our limits or far beyond what `backedBytes` of data can fill.
void CheckPictureMemory(std::uint64_t pixelBytes, std::uint64_t backedBytes) {
    if (pixelBytes > kMaxPixelBytes) Reject(Problem::Unsupported);
    if (pixelBytes > backedBytes && pixelBytes - backedBytes > kMaxUnbackedPixelBytes)
        Reject(Problem::Truncated);
}

Bitmap LoadSection(Stream& stream, const FileDescription& file, std::vector<RgbQuad> table,
                   std::uint64_t dataBytes) {
    const BitmapInfoHeader& header = file.header;
    CheckPictureMemory(UncompressedBytes(header), dataBytes);

    Bitmap picture;
    // The pixels are read straight into the new memory; what the file does not hold stays zero.
    picture.CreateSection(header, file.masks, std::move(table), [&](std::uint8_t* pixels, std::size_t size) {
        // An image size beyond the picture (or a file beyond it) does not make us write past its memory.
        const auto readBytes = static_cast<std::size_t>(std::min<std::uint64_t>(dataBytes, size));
        stream.ReadBuffer(pixels, readBytes);
        return readBytes;
    });
    return picture;
}

Bitmap LoadRunLength(Stream& stream, const FileDescription& file, const std::vector<RgbQuad>& table,
                     std::uint64_t dataBytes) {
    const BitmapInfoHeader& header = file.header;
    const auto width = static_cast<std::uint64_t>(header.width);
    const auto height = static_cast<std::uint64_t>(header.height);
    CheckPictureMemory(width * 4 * height, dataBytes * bmp_detail::kMaxRunLengthExpansion);
    // The compressed data is held whole while it is decoded; it gets the same bound as pixel memory.
    if (dataBytes > kMaxPixelBytes) Reject(Problem::Unsupported);

    std::vector<std::uint8_t> data(static_cast<std::size_t>(dataBytes));
    stream.ReadBuffer(data.data(), data.size());

    Bitmap picture;
    picture.CreateDeviceBitmap(header.width, header.height);
    std::uint8_t* pixels = picture.MutablePixels();
    // A freshly made device picture is black; pixels the data skips stay so.
    std::memset(pixels, 0, picture.PixelBytes());
    const bmp_detail::DeviceTarget target{pixels, picture.RowStride(), header.width, header.height};
    bmp_detail::DecodeRunLength(data, header.compression == kBiRle8 ? 1 : 2, table, target);
    return picture;
}

// Writes the rows of a top-down picture bottom row first, gathered into writes of about 64 KiB: few
// enough calls for a file, small enough to stay in the cache.
void WriteRowsBottomUp(const Bitmap& bitmap, Stream& stream) {
    const std::size_t stride = bitmap.RowStride();
    const std::size_t rowsPerWrite = std::max<std::size_t>((std::size_t{64} << 10) / stride, 1);
    std::vector<std::uint8_t> gathered;
    gathered.reserve(std::min<std::size_t>(rowsPerWrite, static_cast<std::size_t>(bitmap.Height())) * stride);
    for (int row = bitmap.Height() - 1; row >= 0; --row) {
        const std::uint8_t* pixels = bitmap.ScanLine(row);
        gathered.insert(gathered.end(), pixels, pixels + stride);
        if (gathered.size() >= rowsPerWrite * stride || row == 0) {
            stream.WriteBuffer(gathered.data(), gathered.size());
            gathered.clear();
        }
    }
}

}  // namespace

void SaveBmpStream(const Bitmap& bitmap, Stream& stream) {
    if (bitmap.Empty()) return;

    BitmapInfoHeader header = bitmap.Header();
    // Files hold their rows bottom row first with a positive height, whatever order memory holds them
    // in: some readers take nothing else.
    const bool reverseRows = bitmap.TopDown();
    if (reverseRows) {
        header.height = bitmap.Height();
        header.sizeImage =
            static_cast<std::uint32_t>(bitmap.RowStride() * static_cast<std::size_t>(bitmap.Height()));
    }
    const bool withMasks = header.bitCount > 8 && header.compression == kBiBitFields;
    ColorMasks masks = bitmap.Masks();
    if (withMasks && masks.red == 0) masks = DefaultBitFieldMasks(header.bitCount);
    const std::vector<RgbQuad> table = ColorTableToWrite(bitmap, header);

    std::uint64_t imageBytes = header.sizeImage;
    if (imageBytes == 0)
        imageBytes = std::uint64_t{bitmap.RowStride()} * static_cast<std::uint64_t>(bitmap.Height());
    if (imageBytes > bitmap.PixelBytes()) {
        // An image size kept from a file may promise more than the memory holds; never read past it.
        imageBytes = bitmap.PixelBytes();
        header.sizeImage = static_cast<std::uint32_t>(imageBytes);
    }
    const std::uint32_t headerBytes =
        kInfoHeaderBytes + (withMasks ? kMaskBytes : 0) + static_cast<std::uint32_t>(table.size() * 4);
    const std::uint32_t offBits = static_cast<std::uint32_t>(kFileHeaderBytes) + headerBytes;

    std::vector<std::uint8_t> out;
    out.reserve(offBits);
    PutU16(out, kSignature);
    PutU32(out, static_cast<std::uint32_t>(offBits + imageBytes));
    PutU16(out, 0);
    PutU16(out, 0);
    PutU32(out, offBits);
    PutInfoHeader(out, header);
    if (withMasks) {
        PutU32(out, masks.red);
        PutU32(out, masks.green);
        PutU32(out, masks.blue);
    }
    for (const RgbQuad& entry : table)
        out.insert(out.end(), {entry.blue, entry.green, entry.red, entry.reserved});

    stream.WriteBuffer(out.data(), out.size());
    if (reverseRows) {
        WriteRowsBottomUp(bitmap, stream);
    } else {
        stream.WriteBuffer(bitmap.Pixels(), static_cast<std::size_t>(imageBytes));
    }
}

void SaveBmpFile(const Bitmap& bitmap, const std::string& path) {
    SaveThroughFile(path, [&bitmap](Stream& stream) { SaveBmpStream(bitmap, stream); });
}

void LoadBmpStream(Bitmap& bitmap, Stream& stream) {
    const std::int64_t available = stream.Remaining();
    if (available == 0) {
        bitmap.Clear();
        return;
    }

    std::array<std::uint8_t, kFileHeaderBytes> fileHeader{};
    stream.ReadBuffer(fileHeader.data(), fileHeader.size());
    if (GetU16(fileHeader.data()) != kSignature) Reject(Problem::Malformed);
    // The file size and pixel offset fields are not used: the pixel data follows the colour table.
    std::int64_t remaining = available - static_cast<std::int64_t>(kFileHeaderBytes);

    FileDescription file = ReadInfoHeader(stream, remaining);
    CheckDescription(file);
    BitmapInfoHeader& header = file.header;
    if (file.headerBytes == kInfoHeaderBytes && header.compression == kBiBitFields) {
        std::array<std::uint8_t, kMaskBytes> masks{};
        stream.ReadBuffer(masks.data(), masks.size());
        file.masks = {GetU32(masks.data()), GetU32(masks.data() + 4), GetU32(masks.data() + 8)};
        remaining -= kMaskBytes;
    }
    std::vector<RgbQuad> table = ReadColorTable(stream, file, remaining);

    if (header.sizeImage == 0) {
        // Sizes beyond 32 bits are far beyond the memory limit and are refused when the picture is made.
        header.sizeImage =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(UncompressedBytes(header), UINT32_MAX));
    }
    // Only the bytes present are read; the file's own count may be larger or smaller.
    const auto present = static_cast<std::uint64_t>(std::max<std::int64_t>(remaining, 0));
    const std::uint64_t dataBytes = std::min<std::uint64_t>(present, header.sizeImage);

    Bitmap picture = IsRunLength(header) ? LoadRunLength(stream, file, table, dataBytes)
                                         : LoadSection(stream, file, std::move(table), dataBytes);
    picture.SetFileFields(header.xPelsPerMeter, header.yPelsPerMeter, header.clrUsed, header.clrImportant);
    bitmap = std::move(picture);
}

void LoadBmpFile(Bitmap& bitmap, const std::string& path) {
    FileStream file(path, FileMode::Read);
    LoadBmpStream(bitmap, file);
}

}  // namespace flipbook
