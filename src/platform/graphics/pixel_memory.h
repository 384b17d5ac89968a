// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace flipbook {

namespace graphics_detail {
// Leaves new elements uninitialised, so pixel memory that is about to be written whole is not zeroed
// first (a second pass over a frame-sized block otherwise). Callers that need zeros ask for them.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    // Pixel memory starts on a cache line, so rows whose length is a multiple of 64 bytes (those of
    // the common camera sizes) can be written with streaming stores.
    static constexpr std::align_val_t kAlignment{64};
    T* allocate(std::size_t count) { return static_cast<T*>(::operator new(count * sizeof(T), kAlignment)); }
    // Unsized: clang leaves sized deallocation off unless asked.
    void deallocate(T* pointer, std::size_t /*count*/) noexcept { ::operator delete(pointer, kAlignment); }
    template <class U>
    void construct(U* element) noexcept {
        ::new (static_cast<void*>(element)) U;
    }
    template <class U, class... Arguments>
    void construct(U* element, Arguments&&... arguments) {
        ::new (static_cast<void*>(element)) U(std::forward<Arguments>(arguments)...);
    }
};
}  // namespace graphics_detail

// A Bitmap's pixel memory.
using PixelMemory = std::vector<std::uint8_t, graphics_detail::DefaultInitAllocator<std::uint8_t>>;

// Pixel memory that several Bitmaps may hold at once until one of them writes: the writer then gets a
// copy of its own (copy on write). A snapshot saved in the background and the reference picture are
// one frame in memory this way, so Snap copies the camera's frame once.
//
// Holders on different threads are safe as long as each holder is used by one thread at a time: a
// holder finds out whether it shares with acquire order, so whatever another thread read before it let
// go of the memory is done before the memory is written again.
class SharedPixelMemory {
public:
    SharedPixelMemory() = default;
    // The copy shares the memory.
    SharedPixelMemory(const SharedPixelMemory& other) noexcept : block_(Hold(other.block_.get())) {}
    SharedPixelMemory& operator=(const SharedPixelMemory& other) noexcept;
    SharedPixelMemory(SharedPixelMemory&& other) noexcept = default;
    SharedPixelMemory& operator=(SharedPixelMemory&& other) noexcept = default;
    ~SharedPixelMemory() = default;
    // Takes the bytes as memory of its own.
    SharedPixelMemory& operator=(PixelMemory&& bytes);

    const std::uint8_t* data() const { return block_ ? block_->bytes.data() : nullptr; }
    // For writing: memory of this holder's own, copied first when it was shared.
    std::uint8_t* data();
    std::size_t size() const { return block_ ? block_->bytes.size() : 0; }
    bool empty() const { return size() == 0; }
    // True when another holder has the same memory.
    bool Shared() const { return block_ && block_->holders.load(std::memory_order_acquire) > 1; }

    // Memory of this holder's own of the given size whose contents are about to be written whole: what
    // it holds when that is not shared and large enough, otherwise new memory, left uninitialised.
    void ResizeForOverwrite(std::size_t size);
    // No pixels; memory of its own is kept for the next picture, shared memory is let go.
    void ClearKeepingMemory();
    // No pixels and no memory.
    void Release() noexcept { block_.reset(); }

private:
    struct Block {
        std::atomic<std::size_t> holders{1};
        PixelMemory bytes;
    };
    // Deletes the block with its last holder.
    struct LetGo {
        void operator()(Block* block) const noexcept;
    };
    using BlockHold = std::unique_ptr<Block, LetGo>;
    static BlockHold Hold(Block* block) noexcept;
    static BlockHold Own(PixelMemory&& bytes);

    BlockHold block_;
};

}  // namespace flipbook
