// Reading text through a numbered file slot: ReadFileString of a 10 MB line and of 100,000 short
// lines, then ReadFileByte over 1 MB, each timed whole, best of three.
#include "core/win32.h"

#include "clock.h"

#include "core/core.h"
#include "file/file.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

void WriteText(const char* name, const std::string& bytes) {
    HANDLE file =
        CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// Seconds of the best of three runs of reading the file through slot 1.
template <typename Read> double Best(const char* name, Read read) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        OpenToRead(1, name);
        const double t = Now();
        read();
        best = std::min(best, Now() - t);
        CloseFileSlot(1);
    }
    return best;
}

} // namespace

int main() {
    LinkModules();
    FileConstructor();
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string longName = std::string(folder) + "bench-long-line.txt";
    const std::string shortName = std::string(folder) + "bench-short-lines.txt";
    WriteText(longName.c_str(), std::string(10 << 20, 'x') + "\r\n");
    std::string lines;
    for (int i = 0; i < 100000; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    WriteText(shortName.c_str(), lines);

    const double longLine = Best(longName.c_str(), [] {
        char* text = ReadFileString(1, nullptr);
        CoreResizeString(&text, 0);
    });
    const double shortLines = Best(shortName.c_str(), [] {
        char* text = nullptr;
        while (!IsEndOfFile(1))
            text = ReadFileString(1, text);
        CoreResizeString(&text, 0);
    });
    const double bytes = Best(longName.c_str(), [] {
        for (int i = 0; i < (1 << 20); ++i)
            ReadFileByte(1);
    });
    std::printf("file slots: a 10 MB line %.1f ms; 100,000 short lines (%.1f MB) %.1f ms; "
                "ReadFileByte %.3f us a byte\n",
                longLine * 1e3, static_cast<double>(lines.size()) / (1 << 20), shortLines * 1e3,
                bytes * 1e6 / (1 << 20));
    FileDestructor();
    DeleteFileA(longName.c_str());
    DeleteFileA(shortName.c_str());
    return 0;
}
