#include "core/win32.h"

#include "core/file_names.h"

#include <array>
#include <cstring>

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// COM and LPT take a digit 1-9, or (Windows 10 and later) a superscript 1, 2 or 3 in the ANSI
// code page.
bool PortDigit(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= '1' && c <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

bool IsDeviceBase(std::string_view base) {
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kPlain)
        if (SameLetters(base, device)) return true;
    return base.size() == 4 &&
           (SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT")) &&
           PortDigit(base[3]);
}

} // namespace

const char* NameProblemText(NameProblem problem) {
    switch (problem) {
    case NameProblem::None:
        return "none";
    case NameProblem::Empty:
        return "empty";
    case NameProblem::DeviceName:
        return "a device name";
    case NameProblem::ReservedCharacter:
        return "a reserved character";
    case NameProblem::ControlCharacter:
        return "a control character";
    case NameProblem::ParentFolder:
        return "a . or .. part";
    case NameProblem::TooLong:
        return "past the path limit";
    }
    return "unknown";
}

NameProblem CheckNamePart(std::string_view part) {
    for (char c : part) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32) return NameProblem::ControlCharacter;
        if (std::strchr("<>:\"/\\|?*", c) && c != '\0') return NameProblem::ReservedCharacter;
    }
    // Win32 drops trailing dots and spaces: "a. . " names "a", and ". ." names nothing.
    std::size_t end = part.size();
    while (end > 0 && (part[end - 1] == '.' || part[end - 1] == ' '))
        --end;
    if (end == 0) return NameProblem::Empty;
    std::string_view base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    return IsDeviceBase(base) ? NameProblem::DeviceName : NameProblem::None;
}

NameProblem CheckRelativeName(std::string_view relative) {
    if (relative.empty()) return NameProblem::Empty;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = relative.find_first_of("\\/", start);
        const std::string_view part = relative.substr(start, end - start);
        if (part == "." || part == "..") return NameProblem::ParentFolder;
        if (const NameProblem problem = CheckNamePart(part); problem != NameProblem::None)
            return problem;
        if (end == std::string_view::npos) return NameProblem::None;
        start = end + 1;
    }
}

NameProblem JoinOutsideName(std::string_view folder, std::string_view relative, std::string* full) {
    if (const NameProblem problem = CheckRelativeName(relative); problem != NameProblem::None)
        return problem;
    std::string joined(folder);
    if (!joined.empty() && joined.back() != '\\' && joined.back() != '/') joined += '\\';
    joined.append(relative);
    if (joined.size() >= kFullPathLimit) return NameProblem::TooLong;
    char absolute[kFullPathLimit];
    const DWORD length = GetFullPathNameA(joined.c_str(), sizeof absolute, absolute, nullptr);
    if (length == 0 || length >= sizeof absolute) return NameProblem::TooLong;
    if (full) full->assign(absolute, length);
    return NameProblem::None;
}
