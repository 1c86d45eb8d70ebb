#include "core/win32.h"

#include "support/port_files.h"
#include "support/temp_folder.h"

#include <cctype>
#include <fstream>

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
        std::ofstream(File(port), std::ios::binary) << kUntouched;
}

std::vector<std::string> PortFiles::Written() const {
    std::vector<std::string> written;
    for (const std::string& port : Names())
        if (TempFolder::Read(File(port)) != kUntouched) written.push_back(port);
    return written;
}
