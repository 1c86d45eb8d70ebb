#include "core/win32.h"

#include "model_bytes.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_records.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

void ForEachDamagedCopy(const std::string& file, const std::vector<std::size_t>& words,
                        std::size_t keepBytes,
                        const std::function<void(const std::string&)>& convert) {
    for (int cut = 0; cut < 16; ++cut)
        convert(file.substr(0, file.size() * cut / 16));
    for (std::size_t at : words)
        for (std::int32_t value : {0x7FFFFFFF, -1}) {
            std::string copy = file;
            if (at + 4 <= copy.size()) std::memcpy(&copy[at], &value, 4);
            convert(copy);
        }
    std::mt19937 random(34);
    for (int round = 0; round < 12; ++round) {
        std::string copy = file.substr(0, std::min(keepBytes, file.size()));
        for (std::size_t size = 64 + random() % 4096; copy.size() < size;)
            copy += static_cast<char>(random() & 0xFF);
        convert(copy);
    }
}

void ConvertDamagedCopies(const std::string& file, const std::vector<std::size_t>& words,
                          const std::string& path, ConvertFn convert, void (*free)(std::uint8_t*)) {
    ForEachDamagedCopy(file, words, 8, [&](const std::string& copy) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << copy;
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        if (convert(path.c_str(), &block, &size)) {
            ObjectRecord* read = nullptr;
            EXPECT_TRUE(ReadObjectFromBlock(block, size, &read));
            delete read;
        }
        free(block);
    });
}

std::vector<std::string> FindModelFiles(const std::string& folder, const std::string& extension) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        const std::string name = found.cFileName, path = folder + "\\" + name;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const std::vector<std::string> inner = FindModelFiles(path, extension);
            files.insert(files.end(), inner.begin(), inner.end());
        } else if (name.size() > extension.size() &&
                   !_stricmp(name.c_str() + name.size() - extension.size(), extension.c_str())) {
            files.push_back(path);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

void BitmapSize(const std::string& path, std::int32_t* width, std::int32_t* height) {
    const std::string bytes = TempFolder::Read(path);
    *width = *height = 0;
    if (bytes.size() < 26 || bytes.compare(0, 2, "BM") != 0) return;
    std::memcpy(width, &bytes[18], 4);
    std::memcpy(height, &bytes[22], 4);
    *height = std::abs(*height); // negative for a top-down bitmap
}

bool SavedBlockReadsBackSame(const std::uint8_t* block, std::uint32_t size,
                             const std::string& folder) {
    const std::string path = folder + "\\saved.tlo";
    DeleteFileA(path.c_str());
    ObjectRecord* read = nullptr;
    if (!WriteWholeFile(path.c_str(), block, size) || !LoadObjectFile(path.c_str(), &read))
        return false;
    TLOBlock again;
    const bool written = WriteObjectToBlock(read, again.Out(), again.OutSize());
    delete read;
    return written && again.Size() == size && std::memcmp(again.Data(), block, size) == 0;
}
