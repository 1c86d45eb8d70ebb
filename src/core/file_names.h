// The one check a name from outside the program (a pack's member, a model's skin, a peer's or a
// server's text) passes before it becomes part of a file name. Win32 opens a device for a bare
// device name in any folder and with any extension ("sub\com1.txt" is the serial port), strips
// trailing dots and spaces, and cuts nothing short silently only below its path limit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Win32's path limit: a full path with its terminator fits MAX_PATH.
constexpr std::size_t kFullPathLimit = 260;
// A folder must leave room for an 8.3 name inside it (CreateDirectory's own limit).
constexpr std::size_t kFolderPathLimit = kFullPathLimit - 12;

enum class NameProblem {
    None,
    Empty,             // "", or only dots and spaces
    DeviceName,        // CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with any extension
    ReservedCharacter, // < > : " / \ | ? *
    ControlCharacter,  // bytes 1-31 (a NUL ends the name before it is seen)
    ParentFolder,      // "." or ".." as a part of a relative path
    TooLong,           // the full path would not fit the platform's limit
};

// A human-readable word for a problem, for notes and test output.
const char* NameProblemText(NameProblem problem);

// One part of a path (no separators): the device names are read as Win32 reads them, before the
// first dot with trailing spaces ignored, case-insensitively, with the superscript digits that
// some versions also take for COM and LPT ports.
NameProblem CheckNamePart(std::string_view part);

// A relative path from outside (parts split at '\' and '/'): every part passes CheckNamePart, and
// none is "." or "..". An absolute path or a drive letter is a reserved character (':') or an
// empty first part.
NameProblem CheckRelativeName(std::string_view relative);

// The folder a name from outside goes into, joined with it: the name passes CheckRelativeName and
// the full path (the folder made absolute) fits the path limit. On success *full holds the path.
NameProblem JoinOutsideName(std::string_view folder, std::string_view relative, std::string* full);
