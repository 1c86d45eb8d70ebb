#include "core/win32.h"

#include "support/port_files.h"
#include "support/temp_folder.h"

#include <fstream>

namespace {

// What every port file holds between tests: a writer that reached a port replaces or adds to it.
constexpr char kUntouched[] = "no device name may write here\n";

// Not "com1": that name opens the port in any folder.
std::string PortFile(std::string port) {
    CharLowerA(port.data());
    return TempFolder::UnixFolder("WINE_RUN_PORTS") + "\\port-" + port;
}

} // namespace

std::vector<std::string> PortFiles::Names() {
    std::vector<std::string> names;
    for (const char* kind : {"COM", "LPT"})
        for (char digit = '1'; digit <= '9'; ++digit)
            names.push_back(std::string(kind) + digit);
    return names;
}

bool PortFiles::Mapped(std::string* why) {
    for (const std::string& port : Names()) {
        const DWORD attributes = GetFileAttributesA(PortFile(port).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            *why = "the runner mapped port " + port +
                   " to no file of its own (WINE_RUN_PORTS): "
                   "device names are not tried";
            return false;
        }
    }
    return true;
}

PortFiles::PortFiles() {
    for (const std::string& port : Names())
        std::ofstream(PortFile(port), std::ios::binary) << kUntouched;
}

std::vector<std::string> PortFiles::Written() const {
    std::vector<std::string> written;
    for (const std::string& port : Names())
        if (TempFolder::Read(PortFile(port)) != kUntouched) written.push_back(port);
    return written;
}
