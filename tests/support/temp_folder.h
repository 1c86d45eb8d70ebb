// A fresh folder under the system's temporary folder (or under parent), removed with everything in
// it at the end.
#pragma once

#include <map>
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
    // Every file below a folder with its bytes, and every folder below it (named with a closing
    // backslash, holding nothing), by their paths relative to it.
    static std::map<std::string, std::string> Tree(const std::string& folder);
    // The folder named by a Unix path in an environment variable, as the program sees it; empty
    // when the variable is unset.
    static std::string UnixFolder(const char* variable);

private:
    std::string path_;
};
