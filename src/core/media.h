// What the core offers every loader around a file: the media-folder redirect, the media
// scrambler's hooks, and whole-file reading and writing.
#pragma once

#include "core/core_data.h"
#include "core/load_budget.h"

#include <cstddef>
#include <cstdint>

bool CoreFileExists(const char* fileName);

// When "<media folder>\media\<name>" exists, the name becomes it. A name whose replacement would
// not fit in bufferSize bytes is left unchanged.
void MediaPathRedirect(char* fileName, std::int32_t bufferSize);

constexpr std::size_t kMediaNameBuffer = 260;

// A loader's file name after the media redirect and the scrambler's before-open hook.
struct MediaName {
    char text[kMediaNameBuffer] = {};
    bool hooked = false; // prepared for an open, so the after-close hook is owed
};

// The one way a loader prepares a file name: copies fileName into name, then applies core's media
// redirect and, when beforeOpen, the scrambler's before-open hook. A null name, or one that does
// not fit the buffer with its terminator, is refused (false, nothing called): never cut short, the
// caller raises its own load error.
bool PrepareMediaName(const CoreData* core, const char* fileName, MediaName& name,
                      bool beforeOpen = true);
// The after-close hook, once, for a name prepared with beforeOpen.
void FinishMediaName(const CoreData* core, MediaName& name);

// Prepares a name around one open: the after-close hook runs when it goes out of scope.
class ScopedMediaName {
public:
    ScopedMediaName(const CoreData* core, const char* fileName) : core_(core) {
        ok_ = PrepareMediaName(core, fileName, name_);
    }
    ~ScopedMediaName() { FinishMediaName(core_, name_); }
    ScopedMediaName(const ScopedMediaName&) = delete;
    ScopedMediaName& operator=(const ScopedMediaName&) = delete;

    bool Ok() const { return ok_; }
    const char* Text() const { return name_.text; }

private:
    const CoreData* core_;
    MediaName name_;
    bool ok_ = false;
};

// A load of one media file for as long as it lives: a load of its own, or, inside a running load
// (a texture that a level names), one more file of that load.
class MediaLoadScope {
public:
    explicit MediaLoadScope(std::uint64_t fileBytes) : joined_(LoadRunning()), scope_(fileBytes) {
        if (joined_) AddLoadFile(fileBytes);
    }
    MediaLoadScope(const MediaLoadScope&) = delete;
    MediaLoadScope& operator=(const MediaLoadScope&) = delete;

    // The load's body and its outcome, as LoadScope's.
    template <class Body> bool Guard(Body&& body) noexcept {
        return scope_.Guard(static_cast<Body&&>(body));
    }
    void Fail() { scope_.Fail(); }

private:
    bool joined_;
    LoadScope scope_;
};

// The named file's size; 0 when it is no file that can be read.
std::uint64_t MediaFileSize(const char* fileName);

// A GlobalAlloc block holding the whole file (free it with GlobalFree), its size in *size; null
// when the file cannot be read.
void* CoreReadWholeFile(const char* fileName, std::uint32_t* size);
// Writes through a temporary file that then replaces the old one, so a failed write leaves the
// old file as it was. True when the file holds the new bytes.
bool CoreWriteWholeFile(const char* fileName, const void* data, std::uint32_t size);
// Copies the source to the target the same way: the target holds the whole copy or is as it was.
// Without replaceExisting an existing target is never written. True when the copy is in place.
bool CoreCopyWholeFile(const char* source, const char* target, bool replaceExisting);

// The scrambler turns a stored media file into its readable form before it is opened
// (direction 0) and back after (direction 1). Nothing happens while the seed is 0.
void MediaScramblerBeforeOpen(char* fileName);
void MediaScramblerAfterClose(char* fileName);
void MediaScrambleFile(const char* fileName, std::int32_t direction);

// The link to a debugger or editor program: the message goes through the file mapping
// "ZIZERUDADUDUZIREDE" to the window "TulseDebugger". The debugger's result, or 0 when none runs.
std::int32_t SendDebuggerMessage(std::int32_t code, const void* data, std::int32_t size);
void SendDebuggerText(const char* text);
void RequestDebuggerBreak();
// Ends the program at the next message pump, showing CoreData's end message if one is held.
void EndProgram();
