// The prefix's ports COM1-COM9 and LPT1-LPT9, which the runner maps to plain files of its own
// (WINE_RUN_PORTS, a Unix folder holding port-com1 .. port-lpt9): a name that reaches a device
// shows as bytes in that port's file, and no real port is touched. Tests try device names only when
// Mapped() says every port is such a file.
#pragma once

#include <string>
#include <vector>

class PortFiles {
public:
    // Every port is a plain file of the runner's; otherwise *why says what is missing.
    static bool Mapped(std::string* why);
    // The port names, "COM1" .. "LPT9".
    static std::vector<std::string> Names();

    // Gives every port file the same known text (tests running at once agree on it).
    PortFiles();
    // The ports whose files no longer hold it.
    std::vector<std::string> Written() const;
};
