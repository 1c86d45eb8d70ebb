// Running out of memory in the FTP commands: 101, the connection, the listing and the local files
// as they were, no exception and no memory held. This program's allocator is the failing heap.
#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_server.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "support/error_cell.h"
#include "support/failing_heap_impl.h"
#include "support/failing_rows.h"
#include "support/temp_folder.h"

TEST_F(FtpServerTest, OutOfMemoryRaises101AndKeepsTheConnection) {
    ErrorCellScope errors;
    WriteServedFile(Home("served.txt"), "served bytes");
    WriteServedFile(Home("sub\\inner.txt"), "inner");
    TempFolder local;
    const std::string target = local.File("downloaded-with-a-long-name.txt");
    const auto connection = [&] {
        std::string print = std::to_string(FTPGetStatus()) + TakeString(FTPGetFileName(nullptr));
        for (const auto& [name, bytes] : TempFolder::Tree(local.Path()))
            print += ";" + name + "=" + bytes;
        return print;
    };
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"FTPConnect", [] { FTPConnect("127.0.0.1", "tester", "secret"); }, connection,
                   kStringNoMemory},
        FailingRow{"FTPFindFirst", [] { FTPFindFirst(); }, connection, kStringNoMemory},
        FailingRow{"FTPGetFile", [&] { FTPGetFile("served.txt", target.c_str()); }, connection,
                   kStringNoMemory},
        FailingRow{"FTPSetDir", [] { FTPSetDir("sub"); }, connection, kStringNoMemory},
        FailingRow{"FTPDisconnect", [] { FTPDisconnect(); }, connection, kStringNoMemory},
    });
    EXPECT_EQ(TempFolder::Read(target), "served bytes");
}
