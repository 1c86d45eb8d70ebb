#include "core/win32.h"

#include "support/port_files.h"

#include <cctype>

namespace {

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

std::int64_t PortFiles::Size(const std::string& port) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(File(port).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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
    for (const std::string& port : Names())
        sizes_.push_back(Size(port));
}

std::vector<std::string> PortFiles::Written() const {
    std::vector<std::string> written;
    const std::vector<std::string> names = Names();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (Size(names[i]) != sizes_[i]) written.push_back(names[i]);
    return written;
}
