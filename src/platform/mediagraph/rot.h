// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mediagraph/devices.h"

namespace flipbook {

// The per-user table of running objects that other processes can read: each registration is a file
// in a private folder, holding the name and, for graphs, their description.
class IRunningObjectTable : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{00000010-0000-0000-C000-000000000046}");

    // Registers object under the moniker's display name; the cookie (never 0) revokes it.
    virtual HRESULT Register(std::uint32_t flags, IUnknown* object, IMoniker* name,
                             std::uint32_t& cookie) = 0;
    // E_INVALIDARG for a cookie not registered by this process.
    virtual HRESULT Revoke(std::uint32_t cookie) = 0;
};

HRESULT GetRunningObjectTable(std::uint32_t reserved, ComPtr<IRunningObjectTable>& table);
// A moniker whose display name is delimiter followed by item.
HRESULT CreateItemMoniker(const std::string& delimiter, const std::string& item, ComPtr<IMoniker>& moniker);

// Rewrites the table entries of object, so other processes see its current description. Graphs call
// it when their filters or connections change.
void NotifyRunningObjectChanged(IUnknown* object);

// One registration, as another process reads it.
struct RunningObjectEntry {
    std::string displayName;  // the moniker's display name, e.g. "!FilterGraph 55D0... pid 1A2B"
    pid_t pid = 0;
    std::string description;  // empty for objects that cannot describe themselves
};

// The folder of the table: $XDG_RUNTIME_DIR/flipbookcam-rot, or a private folder under the temporary
// folder when that is unset.
std::filesystem::path RunningObjectTableFolder();
// The live registrations of every process of this user, oldest first; entries of processes that no
// longer run are left out.
std::vector<RunningObjectEntry> ReadRunningObjectTable();

}  // namespace flipbook
