// A linked folder made on the host side, for walks that must not follow links. Under Wine,
// CreateSymbolicLinkA succeeds and makes nothing, and no call removes a link; the host's ln and rm
// do both, started through CreateProcessA with the Unix paths that kernel32 gives. The link lists
// as a linked folder (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT).
#pragma once

#include <string>

class HostLink {
public:
    // Makes link (a Windows path, not there yet) point at target, an existing folder.
    HostLink(const std::string& target, const std::string& link);
    // Removes the link, never what it points at.
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // Why no linked folder stands at the link (the case skips, saying so), or empty.
    const std::string& Missing() const { return missing_; }

private:
    std::string link_, unixLink_, missing_;
};
