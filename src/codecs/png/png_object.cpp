// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/png_object.h"

#include <mutex>
#include <numeric>
#include <typeinfo>

#include "codecs/png/chunks.h"
#include "codecs/png/data_chunk.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/png_errors.h"
#include "platform/graphics/stream.h"

namespace flipbook {

namespace {

constexpr ChunkType kIhdr = MakeChunkType("IHDR");
constexpr ChunkType kIdat = MakeChunkType("IDAT");
constexpr ChunkType kIend = MakeChunkType("IEND");
constexpr ChunkType kChrm = MakeChunkType("cHRM");
constexpr std::size_t kListGrowth = 10;

template <typename ChunkClass>
void Register() {
    RegisterChunkClass(
        {ChunkClass::kName, [](TPNGObject* owner) { return std::make_unique<ChunkClass>(owner); }});
}

// Registration at start-up, so the picture format is known before any object exists.
[[maybe_unused]] const bool kRegisteredAtStartUp = (RegisterPngClasses(), true);

}  // namespace

void RegisterPngClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        Register<TChunkIEND>();
        Register<TChunkIHDR>();
        Register<TChunkIDAT>();
        Register<TChunkPLTE>();
        Register<TChunkgAMA>();
        Register<TChunktRNS>();
        Register<TChunktIME>();
        Register<TChunktEXt>();
        Register<TChunkzTXt>();
        RegisterPictureFormat({"PNG", "Portable Network Graphics"});
    });
}

TPNGObject::TPNGObject() : chunks_(this) {
    RegisterPngClasses();
    ResetGammaTables();
}

TPNGObject::~TPNGObject() = default;

void TPNGObject::ResetGammaTables() {
    std::iota(gamma_.begin(), gamma_.end(), std::uint8_t{0});
    inverseGamma_ = gamma_;
}

void TPNGObject::Clear() {
    ResetGammaTables();
    chunks_.SetSize(0);
    palette_.reset();
}

bool TPNGObject::Empty() const {
    return chunks_.Count() == 0;
}

bool TPNGObject::HasHeader() const {
    return dynamic_cast<TChunkIHDR*>(chunks_.Item(0)) != nullptr;
}

TChunkIHDR& TPNGObject::Header() const {
    auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
    if (header == nullptr) throw EPNGHeaderNotPresent();
    return *header;
}

int TPNGObject::Width() const {
    return HasHeader() ? static_cast<int>(Header().width) : 0;
}
int TPNGObject::Height() const {
    return HasHeader() ? static_cast<int>(Header().height) : 0;
}
void TPNGObject::SetWidth(int) {
    throw EPngError(EPngError::kCannotResize);
}
void TPNGObject::SetHeight(int) {
    throw EPngError(EPngError::kCannotResize);
}

void TPNGObject::SetMaxIdatSize(std::uint32_t size) {
    maxIdatSize_ = size < 65535 ? 65535 : size;
}

void TPNGObject::LoadFromStream(Stream& stream) {
    Clear();
    std::array<std::uint8_t, 8> signature{};
    if (stream.Read(signature.data(), signature.size()) != signature.size() || signature != kPngSignature) {
        throw EPNGInvalidFileHeader();
    }
    bool haveImageData = false;
    chunks_.SetSize(kListGrowth);
    std::size_t taken = 0;
    ChunkType type{};
    do {
        ++taken;
        if (chunks_.Count() < taken) chunks_.SetSize(chunks_.Count() + kListGrowth);
        std::uint8_t frame[8];
        if (stream.Read(frame, sizeof frame) != sizeof frame) {
            chunks_.SetSize(taken - 1);
            throw EPngUnexpectedEnd();
        }
        const std::uint32_t length = ReadBigEndian32(frame);
        type = {static_cast<char>(frame[4]), static_cast<char>(frame[5]), static_cast<char>(frame[6]),
                static_cast<char>(frame[7])};
        if (taken == 1 && type != kIhdr) {
            chunks_.SetSize(0);
            throw EPNGIHDRNotFirst();
        }
        // Image data is decoded by the first "IDAT" chunk, which reads the chunks that follow it;
        // a later one is stray. Chromaticities are not used.
        if ((type == kIdat && haveImageData) || type == kChrm) {
            --taken;
            stream.Seek(std::int64_t{length} + 4, SeekOrigin::Current);
            continue;
        }
        if (type == kIdat) haveImageData = true;
        std::unique_ptr<TChunk> created = CreateChunkForType(this, type);
        TChunk& chunk = *created;
        chunks_.SetItem(taken - 1, std::move(created));
        const bool critical = (static_cast<std::uint8_t>(type[0]) & 0x20) == 0;
        if (critical && typeid(chunk) == typeid(TChunk)) {
            chunks_.SetSize(taken);
            throw EPNGUnknownCriticalChunk();
        }
        bool goOn = false;
        try {
            goOn = chunk.Load(stream, type, length);
        } catch (...) {
            chunks_.SetSize(taken);
            throw;
        }
        if (!goOn) break;
    } while (type != kIend);
    chunks_.SetSize(taken);
    if (!haveImageData) throw EPNGNoImageData();
}

void TPNGObject::SaveToStream(Stream& stream) const {
    stream.WriteBuffer(kPngSignature.data(), kPngSignature.size());
    for (std::size_t index = 0; index < chunks_.Count(); ++index) {
        if (TChunk* chunk = chunks_.Item(index)) chunk->Save(stream);
    }
}

void TPNGObject::Assign(const TPNGObject& source) {
    if (&source == this) return;
    interlaceMethod_ = source.interlaceMethod_;
    SetMaxIdatSize(source.maxIdatSize_);
    compressionLevel_ = source.compressionLevel_;
    filterSet_ = source.filterSet_;
    compressionThreads_ = source.compressionThreads_;
    Clear();
    chunks_.SetSize(source.chunks_.Count());
    for (std::size_t index = 0; index < source.chunks_.Count(); ++index) {
        const TChunk* original = source.chunks_.Item(index);
        if (original == nullptr) continue;
        std::unique_ptr<TChunk> copy = original->CreateLike(this);
        TChunk& chunk = *copy;
        chunks_.SetItem(index, std::move(copy));
        chunk.Assign(*original);
    }
}

void TPNGObject::AssignTo(TPNGObject& target) const {
    target.Assign(*this);
}

}  // namespace flipbook
