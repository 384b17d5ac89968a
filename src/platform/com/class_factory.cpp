// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/com/class_factory.h"

#include <cstdlib>
#include <mutex>
#include <vector>

namespace flipbook {

namespace {

struct Entry {
    std::uint64_t id;
    CLSID clsid;
    ClassCreator creator;
};

struct Registry {
    std::mutex mutex;
    std::vector<Entry> entries;  // newest last
    std::uint64_t nextId = 1;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

ClassRegistration::ClassRegistration(const CLSID& clsid, ClassCreator creator) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    id_ = registry.nextId++;
    registry.entries.push_back({id_, clsid, std::move(creator)});
}

ClassRegistration::~ClassRegistration() {
    if (id_ == 0) return;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.entries, [this](const Entry& entry) { return entry.id == id_; });
}

ClassRegistration::ClassRegistration(ClassRegistration&& other) noexcept : id_(std::exchange(other.id_, 0)) {}

ClassRegistration& ClassRegistration::operator=(ClassRegistration&& other) noexcept {
    if (this != &other) {
        ClassRegistration old(std::move(*this));
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ClassCreator creator;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        for (auto entry = registry.entries.rbegin(); entry != registry.entries.rend(); ++entry) {
            if (entry->clsid == clsid) {
                creator = entry->creator;
                break;
            }
        }
    }
    // The creator runs outside the lock: classes may create other classes while they are made.
    if (!creator) return REGDB_E_CLASSNOTREG;
    ComPtr<IUnknown> instance = creator();
    if (!instance) return E_OUTOFMEMORY;
    return instance->QueryInterface(iid, object);
}

void* CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size);
}

void CoTaskMemFree(void* block) {
    std::free(block);
}

}  // namespace flipbook
