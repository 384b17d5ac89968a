// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/rot.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/mediagraph/graph.h"

namespace flipbook {

namespace {

constexpr const char* kEntryMagic = "flipbookcam-rot 1";
constexpr const char* kEntrySuffix = ".entry";

bool ProcessRuns(pid_t pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

// Makes the folder when missing and checks that it is a private folder of this user, so nobody else
// can plant or read entries.
bool PrepareFolder(const std::filesystem::path& folder) {
    mkdir(folder.c_str(), 0700);
    struct stat status {};
    return lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == getuid() &&
           (status.st_mode & 0077) == 0;
}

class ItemMoniker : public ComObject<IMoniker> {
public:
    ItemMoniker(std::string delimiter, std::string item)
        : delimiter_(std::move(delimiter)), item_(std::move(item)) {}

    HRESULT GetClassID(CLSID& clsid) override {
        clsid = CLSID_ItemMoniker;
        return S_OK;
    }
    HRESULT Save(std::vector<std::uint8_t>& stream) override {
        std::string name = delimiter_ + item_;
        stream.insert(stream.end(), name.begin(), name.end());
        stream.push_back(0);
        return S_OK;
    }
    HRESULT Load(ByteReader&) override { return E_NOTIMPL; }
    HRESULT BindToObject(void*, IMoniker*, const IID&, void** object) override {
        if (object) *object = nullptr;
        return MK_E_UNAVAILABLE;
    }
    HRESULT BindToStorage(void*, IMoniker*, const IID&, void** object) override {
        if (object) *object = nullptr;
        return MK_E_UNAVAILABLE;
    }
    HRESULT GetDisplayName(std::string& name) override {
        name = delimiter_ + item_;
        return S_OK;
    }

private:
    std::string delimiter_;
    std::string item_;
};

class RunningObjectTable : public ComObject<IRunningObjectTable> {
public:
    HRESULT Register(std::uint32_t, IUnknown* object, IMoniker* name, std::uint32_t& cookie) override {
        cookie = 0;
        if (!object || !name) return E_INVALIDARG;
        std::filesystem::path folder = RunningObjectTableFolder();
        if (!PrepareFolder(folder)) return E_ACCESSDENIED;
        RemoveStaleEntries(folder);

        Registration registration;
        registration.object = QueryAs<IUnknown>(object);
        name->GetDisplayName(registration.displayName);
        registration.registered = std::chrono::system_clock::now().time_since_epoch().count();
        std::lock_guard lock(mutex_);
        std::uint32_t newCookie = nextCookie_++;
        registration.path =
            folder / (std::to_string(getpid()) + "-" + std::to_string(newCookie) + kEntrySuffix);
        if (!Write(registration)) return STG_E_WRITEFAULT;
        registrations_.emplace(newCookie, std::move(registration));
        cookie = newCookie;
        return S_OK;
    }

    HRESULT Revoke(std::uint32_t cookie) override {
        std::lock_guard lock(mutex_);
        auto found = registrations_.find(cookie);
        if (found == registrations_.end()) return E_INVALIDARG;
        std::error_code ignored;
        std::filesystem::remove(found->second.path, ignored);
        registrations_.erase(found);
        return S_OK;
    }

    void Changed(IUnknown* object) {
        std::lock_guard lock(mutex_);
        if (registrations_.empty()) return;
        ComPtr<IUnknown> identity = QueryAs<IUnknown>(object);
        for (auto& [cookie, registration] : registrations_)
            if (registration.object == identity) Write(registration);
    }

private:
    struct Registration {
        ComPtr<IUnknown> object;
        std::string displayName;
        std::int64_t registered = 0;
        std::filesystem::path path;
    };

    // Written to a temporary name and renamed, so a reader never sees half an entry.
    static bool Write(const Registration& registration) {
        std::string description;
        if (ComPtr<IGraphDescription> describable = QueryAs<IGraphDescription>(registration.object.Get()))
            description = describable->Describe();
        std::filesystem::path temporary = registration.path;
        temporary += ".tmp";
        {
            std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
            file << kEntryMagic << "\n"
                 << "pid " << getpid() << "\n"
                 << "registered " << registration.registered << "\n"
                 << "name " << registration.displayName << "\n"
                 << "description\n"
                 << description;
            if (!file.flush()) return false;
        }
        std::error_code error;
        std::filesystem::rename(temporary, registration.path, error);
        return !error;
    }

    static void RemoveStaleEntries(const std::filesystem::path& folder) {
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
            std::string file = item.path().filename().string();
            pid_t pid = static_cast<pid_t>(std::atoi(file.c_str()));
            if (pid > 0 && !ProcessRuns(pid)) std::filesystem::remove(item.path(), error);
        }
    }

    std::mutex mutex_;
    std::map<std::uint32_t, Registration> registrations_;
    std::uint32_t nextCookie_ = 1;
};

// One table a process, never destroyed: objects may still be registered when the process exits, and
// releasing them then would run their destructors after the media framework has shut down.
RunningObjectTable& TheTable() {
    static RunningObjectTable* table = [] {
        auto* made = new RunningObjectTable;
        made->AddRef();
        return made;
    }();
    return *table;
}

bool ParseEntry(std::istream& input, RunningObjectEntry& entry, std::int64_t& registered) {
    std::string line;
    if (!std::getline(input, line) || line != kEntryMagic) return false;
    bool sawDescription = false;
    while (!sawDescription && std::getline(input, line)) {
        if (line.rfind("pid ", 0) == 0)
            entry.pid = static_cast<pid_t>(std::atol(line.c_str() + 4));
        else if (line.rfind("registered ", 0) == 0)
            registered = std::atoll(line.c_str() + 11);
        else if (line.rfind("name ", 0) == 0)
            entry.displayName = line.substr(5);
        else if (line == "description")
            sawDescription = true;
    }
    if (!sawDescription || entry.pid <= 0) return false;
    std::ostringstream rest;
    rest << input.rdbuf();
    entry.description = rest.str();
    return true;
}

}  // namespace

std::filesystem::path RunningObjectTableFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::filesystem::path(runtime) / "flipbookcam-rot";
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) temporary = "/tmp";
    return temporary / ("flipbookcam-rot-" + std::to_string(getuid()));
}

std::vector<RunningObjectEntry> ReadRunningObjectTable() {
    std::vector<std::pair<std::int64_t, RunningObjectEntry>> found;
    std::filesystem::path folder = RunningObjectTableFolder();
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != getuid())
        return {};
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        if (item.path().extension() != kEntrySuffix) continue;
        std::ifstream input(item.path(), std::ios::binary);
        RunningObjectEntry entry;
        std::int64_t registered = 0;
        if (ParseEntry(input, entry, registered) && ProcessRuns(entry.pid))
            found.emplace_back(registered, std::move(entry));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<RunningObjectEntry> entries;
    for (auto& [registered, entry] : found) entries.push_back(std::move(entry));
    return entries;
}

HRESULT GetRunningObjectTable(std::uint32_t reserved, ComPtr<IRunningObjectTable>& table) {
    if (reserved != 0) return E_INVALIDARG;
    table = ComPtr<IRunningObjectTable>(&TheTable());
    return S_OK;
}

HRESULT CreateItemMoniker(const std::string& delimiter, const std::string& item, ComPtr<IMoniker>& moniker) {
    moniker = MakeCom<ItemMoniker>(delimiter, item);
    return S_OK;
}

void NotifyRunningObjectChanged(IUnknown* object) {
    if (object) TheTable().Changed(object);
}

}  // namespace flipbook
