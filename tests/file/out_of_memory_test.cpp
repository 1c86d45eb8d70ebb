// Running out of memory in the file commands: their error, the files, slots and checklist as they
// were, no exception and no memory held. This program's allocator is the failing heap.
#include "core/win32.h"

#include "files_fixture.h"
#include "core/error_numbers.h"
#include "core/media.h"
#include "file/file_slots.h"
#include "support/failing_heap_impl.h"
#include "support/failing_rows.h"

namespace {

// Names longer than a string holds in itself.
const char kLong[] = "a-name-longer-than-a-short-string.txt";
const char kCopy[] = "a-copy-named-longer-than-a-short-string.txt";

std::string Folder() {
    std::string listing;
    for (const auto& [name, bytes] : TempFolder::Tree("."))
        listing += name + "=" + bytes + ";";
    return listing;
}

std::string Slot(std::int32_t slot) {
    return std::to_string(IsFileSlotOpen(slot)) + ":" +
           (IsFileSlotOpen(slot) ? std::to_string(SlotBytesLeft(slot)) : "");
}

std::string Checklist() {
    const CoreData& core = *g_CoreData;
    std::string rows = std::to_string(core.checklistRowsInUse);
    for (std::int32_t row = 0; row < core.checklistRowsInUse; ++row)
        rows += std::string(";") + core.checklistRows[row].string;
    return rows;
}

} // namespace

TEST_F(Files, OutOfMemoryRaisesTheErrorAndKeepsWhatWasThere) {
    g_CoreData->callbacks.mediaRedirect = MediaPathRedirect;
    PutFile("a.txt", "abc");
    PutFile(kLong, "long");
    PutFile("made.txt", "old");
    PutFile("pack.bin", "P" + U32(5) + "bytes" + "rest");
    OpenToRead(1, "a.txt");
    OpenToRead(4, "pack.bin");
    ReadFileByte(4);      // the slot's buffer is had
    DirectoryChecklist(); // the checklist the failed lists must keep
    using failing_heap::FailingRow;
    const auto nothing = [] { return std::string(); };
    failing_heap::CheckFailingRows({
        FailingRow{"FileExists", [] { FileExists(kLong); }, nothing, 0},
        FailingRow{"GetFileSizeByName", [] { GetFileSizeByName(kLong); }, nothing, 0},
        FailingRow{"MakeFile", [] { MakeFile("made.txt"); }, Folder, kFileNotMade},
        FailingRow{"CopyFileTo", [] { CopyFileTo("a.txt", kCopy); }, Folder, kFileExists},
        FailingRow{"WriteByteToFile", [] { WriteByteToFile("a.txt", 1, 'X'); }, Folder,
                   kFileWriteFailed},
        FailingRow{"ReadFileByte", [] { ReadFileByte(1); }, [] { return Slot(1); },
                   kFileReadFailed},
        FailingRow{"OpenToRead", [] { OpenToRead(2, kLong); }, [] { return Slot(2); },
                   kFileSlotNotOpenedToRead, [] { CloseFileSlot(2); }},
        FailingRow{"OpenToWrite", [] { OpenToWrite(3, "w.txt"); },
                   [] { return Slot(3) + Folder(); }, kFileSlotNotOpenedToWrite,
                   [] { CloseFileSlot(3); }},
        FailingRow{"UnpackFileFromSlot", [] { UnpackFileFromSlot(4, kCopy); },
                   [] { return Slot(4) + Folder(); }, kFileWriteFailed},
        FailingRow{"WriteFileMapValue", [] { WriteFileMapValue(kLong, 5); }, nothing, kFileNotMade},
        FailingRow{"PrintDirectory", PrintDirectory, nothing, kStringNoMemory},
        FailingRow{"DirectoryChecklist", DirectoryChecklist, Checklist, kStringNoMemory},
        FailingRow{"DriveChecklist", DriveChecklist, Checklist, kStringNoMemory},
    });
    EXPECT_EQ(Line(4), "rest") << "the slot read past the unpacked file";
}
