// A save that never destroys the file it replaces: the new bytes go to a file of their own in the
// target's folder (so the final move is a rename on one volume), and only a whole, flushed file
// replaces the target. A save that fails, or is never committed, leaves the target as it was, byte
// for byte, and removes its own file.
#pragma once

#include <cstdint>
#include <string>

class ReplacingFile {
public:
    // Nothing is created yet when the target cannot be replaced: a read-only file, a folder, a
    // folder that does not exist. Ok() tells.
    explicit ReplacingFile(const char* target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool Ok() const { return !temporary_.empty(); }
    // The file to write the new bytes to (it exists, empty); a platform call that saves to a name
    // (a picture, a mesh) is given this one.
    const char* TemporaryName() const { return temporary_.c_str(); }
    const std::string& Target() const { return target_; }

    // Writes bytes into the temporary file (the whole of it), flushed; false on any short write.
    bool WriteAll(const void* data, std::uint32_t size);
    // Moves the temporary file over the target. False (the target untouched) when the temporary
    // file is empty while expectNonEmpty, when the target has become read-only, or the move fails;
    // without replaceExisting, also when a file of that name has appeared meanwhile.
    bool Commit(bool expectNonEmpty = false, bool replaceExisting = true);

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

// True when a file can be written at the name: a new file in a folder that exists, or an existing
// file that is neither read-only nor a folder.
bool CanReplaceFile(const char* target);

// For tests only: run by Commit with the target's full path just before the move, to do what
// another program may do meanwhile (make a file of that name). None is set in the engine.
void SetReplacingFileBeforeMove(void (*hook)(const char* target));
