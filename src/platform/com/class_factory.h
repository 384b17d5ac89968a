// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/com/unknown.h"

namespace flipbook {

// Where CoCreateInstance may run the object; everything here lives in the caller's process.
inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr std::uint32_t CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr std::uint32_t CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// Makes a new object of a class; a null result means the class could not make one.
using ClassCreator = std::function<ComPtr<IUnknown>()>;

// A class registered for a class id while this object lives. The newest registration of a class id
// answers CoCreateInstance, so a test can stand its own class in for a service class and the
// service's class answers again once the test's registration goes.
class ClassRegistration {
public:
    ClassRegistration() = default;
    ClassRegistration(const CLSID& clsid, ClassCreator creator);
    ~ClassRegistration();
    ClassRegistration(ClassRegistration&& other) noexcept;
    ClassRegistration& operator=(ClassRegistration&& other) noexcept;
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

private:
    std::uint64_t id_ = 0;
};

// Makes an object of the class registered for clsid and queries it for iid. REGDB_E_CLASSNOTREG when
// no class is registered, CLASS_E_NOAGGREGATION when outer is given, E_OUTOFMEMORY when the class
// made nothing, E_NOINTERFACE when the object lacks iid; *object is null on every failure.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context, const IID& iid,
                         void** object);

// Typed form of CoCreateInstance for interface T.
template <class T>
HRESULT CoCreateInstance(const CLSID& clsid, std::uint32_t context, ComPtr<T>& result) {
    return CoCreateInstance(clsid, nullptr, context, T::kIid, result.PutVoid());
}

// The task allocator for blocks handed between caller and service (media-type format blocks).
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);

}  // namespace flipbook
