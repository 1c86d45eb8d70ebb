#pragma once

#include <vector>

// Visits the current directory's entries, skipping "." and ".." wherever the listing puts them.
// The listing is read whole first, so the visitor may delete what it is given.
template <typename Visit> void ForEachEntry(Visit visit) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA("*", &found);
    if (search == INVALID_HANDLE_VALUE) return;
    // Running out of memory ends the listing, never with the search left open.
    try {
        do {
            const std::string name = found.cFileName;
            const DWORD a = found.dwFileAttributes;
            if (name != "." && name != "..")
                entries.push_back(Entry{name, (a & FILE_ATTRIBUTE_DIRECTORY) != 0, IsLinkEntry(a)});
        } while (FindNextFileA(search, &found));
    } catch (...) {
        FindClose(search);
        throw;
    }
    FindClose(search);
    for (const Entry& e : entries)
        visit(e);
}
