// Object files in and out: native files read and written directly, other model formats through
// their converters; copies through a block; the temporary folder that effects and converters
// write their working files into.
#pragma once

#include <cstdint>

struct ObjectRecord;
class ReplacingFile;

constexpr int kTempFolderLength = 260;
// The temporary data folder with a trailing backslash, as GetObjectTempDataFolder last found it.
extern char ObjectTempDataFolder[kTempFolderLength];

// Fills ObjectTempDataFolder: the engine's media folder when it has one, else "tuldata" under
// the system's temporary folder (made when missing).
void GetObjectTempDataFolder();
bool ObjectFileExists(const char* fileName);
// The block a converter makes of the file, chosen by extension; false, nothing returned, when no
// converter takes the extension or the conversion fails.
bool ConvertModelFile(const char* fileName, const char* extension, std::uint8_t** block,
                      std::uint32_t* size);
// A new object from the file into *object; false, *object null, with error 105 when the file is
// missing (a .md3 name need not exist) and 7018 when it cannot be read or converted, when a
// converted mesh holds a position that is not a number or lies too far out to be measured, or
// when what the load makes, with its first frame's buffers, draws and fill, passes its budget.
// The object comes with its frame lists set up. An object that is only read from (an appended
// animation's source, a scene's converted text, a universe's meshes) is never drawn as an object:
// its load pays for no first frame.
enum class ObjectFileUse { kDrawn, kReadFrom };
bool LoadObjectFile(const char* fileName, ObjectRecord** object,
                    ObjectFileUse use = ObjectFileUse::kDrawn);
// The object in the unanimated pose as a native file; error 106 and false, nothing touched, when
// the file exists already; error 8212 and false, no file left, when it cannot be written whole or
// a file of that name appears while it is written (that file is kept).
bool SaveObjectFile(const char* fileName, ObjectRecord* object);
// The object as SaveObjectFile writes it, whole into the replacing file, not yet committed; false
// when it cannot be written whole.
bool WriteObjectFile(ReplacingFile& file, ObjectRecord* object);
// A new object made from source through a block.
bool CopyObjectViaBlock(ObjectRecord** newObject, const ObjectRecord* source);
// A new buffer of size bytes as the object's custom data (the old one is freed); it is returned.
std::uint8_t* AllocateObjectCustomData(ObjectRecord* object, std::uint32_t size);
