// Object files in and out: native files read directly, other model formats through their
// converters.
#pragma once

struct ObjectRecord;

// A new object read from the file into *object; false, *object null, when it cannot be loaded.
bool LoadObjectFile(const char* fileName, ObjectRecord** object);
