// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace flipbook {

class TPNGObject;
class TChunk;

// A growable array that owns its entries, with the object it belongs to. Entries added by SetSize are
// empty until set; shrinking frees the entries cut off.
template <typename T>
class TPNGPointerList {
public:
    explicit TPNGPointerList(TPNGObject* owner = nullptr) : owner_(owner) {}

    TPNGObject* Owner() const { return owner_; }
    std::size_t Count() const { return entries_.size(); }

    void SetSize(std::size_t count) { entries_.resize(count); }
    void Add(std::unique_ptr<T> entry) { entries_.push_back(std::move(entry)); }
    // The entry at the index, or none beyond the end.
    T* Item(std::size_t index) const { return index < entries_.size() ? entries_[index].get() : nullptr; }
    // Replaces the entry at the index; ignored (the entry freed) beyond the end.
    void SetItem(std::size_t index, std::unique_ptr<T> entry) {
        if (index < entries_.size()) entries_[index] = std::move(entry);
    }
    // Takes the last entry equal to the pointer out of the list, closing the gap; none when absent.
    std::unique_ptr<T> Remove(const T* entry) {
        for (std::size_t index = entries_.size(); index-- > 0;) {
            if (entries_[index].get() != entry) continue;
            std::unique_ptr<T> removed = std::move(entries_[index]);
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
            return removed;
        }
        return nullptr;
    }

private:
    TPNGObject* owner_;
    std::vector<std::unique_ptr<T>> entries_;
};

// The chunk list of a PNG object, in stream order.
class TPNGList : public TPNGPointerList<TChunk> {
public:
    using TPNGPointerList<TChunk>::TPNGPointerList;

    // The first chunk in list order of that class or a subclass of it, or none.
    template <typename ChunkClass>
    ChunkClass* ItemOfClass() const {
        for (std::size_t index = 0; index < Count(); ++index) {
            if (auto* chunk = dynamic_cast<ChunkClass*>(Item(index))) return chunk;
        }
        return nullptr;
    }
};

}  // namespace flipbook
