// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace flipbook {

// The root of every counted interface. An interface names its identifier as kIid and, when it
// extends another interface than IUnknown, that interface as Parent, so QueryInterface answers for
// the whole chain.
class IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{00000000-0000-0000-C000-000000000046}");

    // Stores a counted reference to the interface with that identifier in *object, or null and
    // E_NOINTERFACE; E_POINTER when object is null.
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// A counted reference to an interface; releases it when it goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to pointer.
    explicit ComPtr(T* pointer) : pointer_(pointer) {
        if (pointer_) pointer_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    // From a reference to a derived interface; asking for another interface is As().
    template <class U>
    requires std::is_convertible_v<U*, T*> ComPtr(const ComPtr<U>& other)
        : ComPtr(static_cast<T*>(other.Get())) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }

    // Adopts a reference the caller already owns.
    static ComPtr Adopt(T* pointer) {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    T& operator*() const { return *pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    void Reset() {
        if (pointer_) std::exchange(pointer_, nullptr)->Release();
    }
    // Releases the held reference and gives the slot for an out parameter.
    T** Put() {
        Reset();
        return &pointer_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(pointer_, nullptr); }

    // Queries the held object for another interface.
    template <class U>
    HRESULT As(ComPtr<U>& result) const {
        if (!pointer_) {
            result.Reset();
            return E_POINTER;
        }
        return pointer_->QueryInterface(U::kIid, result.PutVoid());
    }
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> result;
        As(result);
        return result;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.pointer_ == b.pointer_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.pointer_ == nullptr; }

private:
    T* pointer_ = nullptr;
};

// Queries any interface pointer for interface U; an empty result when object is null or lacks it.
template <class U, class T>
ComPtr<U> QueryAs(T* object) {
    ComPtr<U> result;
    if (object) object->QueryInterface(U::kIid, result.PutVoid());
    return result;
}

namespace detail {

template <class I>
void* MatchInterface(I* pointer, const IID& iid) {
    if (iid == I::kIid) return pointer;
    if constexpr (requires { typename I::Parent; })
        return MatchInterface<typename I::Parent>(static_cast<typename I::Parent*>(pointer), iid);
    return nullptr;
}

template <class First, class...>
struct FirstOf {
    using Type = First;
};

}  // namespace detail

// QueryInterface over the listed interfaces of one object: IUnknown is answered by the first.
template <class... Interfaces>
class InterfaceTable : public Interfaces... {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        void* found = nullptr;
        if (iid == IUnknown::kIid) {
            found = static_cast<IUnknown*>(static_cast<typename detail::FirstOf<Interfaces...>::Type*>(this));
        } else {
            ((found = detail::MatchInterface<Interfaces>(static_cast<Interfaces*>(this), iid)) || ...);
        }
        if (!found) return QueryOtherInterface(iid, object);
        static_cast<typename detail::FirstOf<Interfaces...>::Type*>(this)->AddRef();
        *object = found;
        return S_OK;
    }

protected:
    InterfaceTable() = default;
    ~InterfaceTable() override = default;
    InterfaceTable(const InterfaceTable&) = delete;
    InterfaceTable& operator=(const InterfaceTable&) = delete;

    // Asked for identifiers none of the listed interfaces answers; the default has none.
    virtual HRESULT QueryOtherInterface(const IID&, void**) { return E_NOINTERFACE; }
};

// A counted object that implements the listed interfaces. Objects start with no reference and are
// made with MakeCom, which hands out the first one; the last Release deletes the object. Counting is
// atomic, so references may move between threads.
template <class... Interfaces>
class ComObject : public InterfaceTable<Interfaces...> {
public:
    std::uint32_t AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() override {
        std::uint32_t left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    ~ComObject() override = default;

private:
    std::atomic<std::uint32_t> references_{0};
};

// An object whose lifetime its owner decides, handing out its interfaces without counting them (a
// component that is a graph member): AddRef and Release do nothing, so references to it must not
// outlive it.
template <class... Interfaces>
class UncountedObject : public InterfaceTable<Interfaces...> {
public:
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }

protected:
    UncountedObject() = default;
    ~UncountedObject() override = default;
};

// Makes a counted object and returns the first reference to it.
template <class T, class... Arguments>
ComPtr<T> MakeCom(Arguments&&... arguments) {
    return ComPtr<T>(new T(std::forward<Arguments>(arguments)...));
}

}  // namespace flipbook
