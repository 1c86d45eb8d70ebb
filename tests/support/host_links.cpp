#include "core/win32.h"

#include "support/host_links.h"

namespace {

// The Unix path of a Windows path whose folder exists; empty where Wine's call is missing.
std::string UnixPath(const std::string& path) {
    using UnixName = char*(CDECL*)(const WCHAR*);
    const auto name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const std::size_t cut = path.rfind('\\');
    if (!name || cut == std::string::npos) return {};
    const std::string folder = path.substr(0, cut);
    char* found = name(std::wstring(folder.begin(), folder.end()).c_str());
    if (!found) return {};
    const std::string full = std::string(found) + "/" + path.substr(cut + 1);
    HeapFree(GetProcessHeap(), 0, found);
    return full;
}

// Starts a host program; Wine hands back no handle to wait on, so the caller waits for its effect.
bool StartHost(std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits up to 5 s for the path's attributes to become `wanted` (INVALID_FILE_ATTRIBUTES: gone).
bool AwaitAttributes(const std::string& path, DWORD wanted) {
    for (int i = 0; i < 500; ++i) {
        if (GetFileAttributesA(path.c_str()) == wanted) return true;
        Sleep(10);
    }
    return false;
}

constexpr DWORD kLinkedFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

} // namespace

HostLink::HostLink(const std::string& target, const std::string& link)
    : link_(link), unixLink_(UnixPath(link)) {
    const std::string unixTarget = UnixPath(target);
    if (unixLink_.empty() || unixTarget.empty()) {
        missing_ = "kernel32 has no wine_get_unix_file_name: no host to make a link on";
    } else if (!StartHost("Z:\\bin\\ln -s \"" + unixTarget + "\" \"" + unixLink_ + "\"")) {
        missing_ = "the host's ln could not be started";
    } else if (!AwaitAttributes(link_, kLinkedFolder)) {
        missing_ = link_ + " does not list as a linked folder";
    }
}

HostLink::~HostLink() {
    if (unixLink_.empty() || GetFileAttributesA(link_.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (StartHost("Z:\\bin\\rm -f \"" + unixLink_ + "\""))
        AwaitAttributes(link_, INVALID_FILE_ATTRIBUTES);
}
