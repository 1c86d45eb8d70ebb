#pragma once

#include <vector>

// Visits the current directory's entries, skipping "." and ".." wherever the listing puts them.
// The listing is read whole first, so the visitor may delete what it is given.
template <typename Visit> void ForEachEntry(Visit visit) {
    std::vector<Entry> entries;
    _finddata_t data{};
    const intptr_t search = _findfirst("*.*", &data);
    if (search == -1) return;
    do {
        const std::string name = data.name;
        if (name != "." && name != "..")
            entries.push_back(Entry{name, (data.attrib & _A_SUBDIR) != 0});
    } while (_findnext(search, &data) == 0);
    _findclose(search);
    for (const Entry& e : entries)
        visit(e);
}
