// A fresh folder under the system's temporary folder (or under parent), removed with everything in
// it at the end.
#pragma once

#include <string>

class TempFolder {
public:
    explicit TempFolder(const std::string& parent = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }
    // Writes bytes to a file in the folder (sub-folders are made as needed); its full path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    static std::string Read(const std::string& path);

private:
    std::string path_;
};
