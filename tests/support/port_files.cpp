#include "core/win32.h"

#include "support/port_files.h"

#include <cctype>

namespace {

// What every port file holds between tests: a writer that reached a port replaces or adds to it.
constexpr char kUntouched[] = "no device name may write here\n";

// The ports' folder as the program sees it: the runner's path on the drive that is the root.
std::string PortFolder() {
    char folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("WINE_RUN_PORTS", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder || folder[0] != '/') return {};
    std::string path = std::string("Z:") + folder;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

} // namespace

std::vector<std::string> PortFiles::Names() {
    std::vector<std::string> names;
    for (const char* kind : {"COM", "LPT"})
        for (char digit = '1'; digit <= '9'; ++digit)
            names.push_back(std::string(kind) + digit);
    return names;
}

std::string PortFiles::File(const std::string& port) {
    // Not "com1": that name opens the port in any folder.
    std::string name = "port-" + port;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return PortFolder() + "\\" + name;
}

std::string PortFiles::Read(const std::string& port) {
    std::string bytes;
    HANDLE file = CreateFileA(File(port).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char piece[256];
    DWORD read = 0;
    while (ReadFile(file, piece, sizeof piece, &read, nullptr) && read > 0)
        bytes.append(piece, read);
    CloseHandle(file);
    return bytes;
}

bool PortFiles::Mapped(std::string* why) {
    if (PortFolder().empty()) {
        *why = "the runner mapped no ports to files (WINE_RUN_PORTS): device names are not tried";
        return false;
    }
    for (const std::string& port : Names()) {
        const DWORD attributes = GetFileAttributesA(File(port).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            *why = "the file of port " + port + " is missing: device names are not tried";
            return false;
        }
    }
    return true;
}

PortFiles::PortFiles() {
    for (const std::string& port : Names()) {
        HANDLE file =
            CreateFileA(File(port).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, kUntouched, sizeof kUntouched - 1, &written, nullptr);
            CloseHandle(file);
        }
    }
}

std::vector<std::string> PortFiles::Written() const {
    std::vector<std::string> written;
    for (const std::string& port : Names())
        if (Read(port) != kUntouched) written.push_back(port);
    return written;
}
