// The FTP commands against a server that misbehaves (unruly_ftp_server.py): each returns with
// its failure instead of hanging, and a download that ends short keeps no file that looks whole.
#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_server.h"
#include "ftp/ftp_worker.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSafetyMs = 60000; // a command that hangs fails the test instead of holding it
constexpr char kOlder[] = "an older file of the same name";

// Short deadlines, so that the cases stay quick; one case waits for the real ones.
constexpr FtpDeadlines kShortDeadlines{3000, 3000, 3000, 3000, 6000};

struct Command {
    std::function<void()> run;
    HANDLE done = nullptr;
};

DWORD WINAPI RunCommand(void* parameter) {
    auto* command = static_cast<Command*>(parameter);
    command->run();
    SetEvent(command->done);
    return 0;
}

// Steps a download opened with a size hint until it ends; FTPGetFile's result.
std::int32_t GetStepped(const char* remoteName, const char* localName) {
    const std::int32_t opened = FTPGetFile(remoteName, localName, 1);
    for (int guard = 0; FTPGetProgress() != -1 && guard < 100; ++guard)
        FTPDownloadStep();
    return opened;
}

// Uploads the local file under its own name, from its folder.
std::int32_t PutFromItsFolder(const char* localName) {
    const std::string path(localName);
    const std::size_t slash = path.rfind('\\');
    char oldFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, oldFolder);
    SetCurrentDirectoryA(path.substr(0, slash).c_str());
    const std::int32_t result = FTPPutFile(path.substr(slash + 1).c_str());
    SetCurrentDirectoryA(oldFolder);
    return result;
}

class UnrulyFtpTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_FtpDeadlines;
        g_FtpDeadlines = kShortDeadlines;
        StartFtpModule();
        local_ = older_.Write("file.bin", kOlder);
    }

    void TearDown() override {
        StopFtpModule();
        server_.Stop();
        g_FtpDeadlines = saved_;
    }

    // Serves the mode; false (the case skipped) when the server cannot be had.
    bool Serve(const char* mode) {
        const std::string why = server_.Start("unruly_ftp_server.py", mode);
        if (why.empty()) return true;
        skip_ = why;
        return false;
    }

    // Runs the command on a thread of its own: false, and the test failed, when it has not
    // returned within the safety deadline (the server is then stopped to set it free).
    bool ReturnsInTime(const std::function<void()>& run) {
        Command command{run, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
        HANDLE thread = CreateThread(nullptr, 0, RunCommand, &command, 0, nullptr);
        bool returned = WaitForSingleObject(command.done, kSafetyMs) == WAIT_OBJECT_0;
        if (!returned) {
            ADD_FAILURE() << "the command still waits on the server after " << kSafetyMs << " ms";
            server_.Stop();
            WaitForSingleObject(command.done, kSafetyMs);
        }
        if (thread) CloseHandle(thread);
        CloseHandle(command.done);
        return returned;
    }

    // Stops the server; true once every worker given up on has ended.
    bool LostWorkersEndWithTheServer() {
        server_.Stop();
        for (DWORD waited = 0; LostFtpWorkers() > 0 && waited < kSafetyMs; waited += 50)
            Sleep(50);
        return LostFtpWorkers() == 0;
    }

    // The local folder holds the older file alone, as it was.
    void ExpectOlderFileAlone() {
        EXPECT_EQ(LocalFilesIn(older_.Path()), std::vector<std::string>{"file.bin"});
        EXPECT_EQ(TempFolder::Read(local_), kOlder);
    }

    FtpDeadlines saved_;
    TestFtpServer server_;
    TempFolder older_;
    std::string local_;
    std::string skip_;
};

struct UnrulyCase {
    const char* name;
    const char* mode;
    bool logIn;
    std::int32_t (*command)(const char* localName);
    std::int32_t result;    // the command's
    std::int32_t connected; // after it
};

// Names the case in googletest's messages.
void PrintTo(const UnrulyCase& c, std::ostream* out) {
    *out << c.name;
}

class UnrulyFtpServerTest : public UnrulyFtpTest,
                            public ::testing::WithParamInterface<UnrulyCase> {};

const UnrulyCase kUnrulyCases[] = {
    {"EndlessGreetingConnect", "greet", false,
     [](const char*) { return FTPConnect("127.0.0.1", "u", "p"); }, 0, 0},
    {"EndlessAnswerSetDir", "command", true, [](const char*) { return FTPSetDir("sub"); }, 0, 0},
    {"SilentDataGetAtOnce", "quiet", true,
     [](const char* local) { return FTPGetFile("file.bin", local); }, 0, 0},
    {"SilentDataGetStepped", "quiet", true,
     [](const char* local) { return GetStepped("file.bin", local); }, 1, 0},
    {"EndlessListingFindFirst", "list", true, [](const char*) { return FTPFindFirst(); }, 0, 0},
    {"EndlessListingGetStepped", "list", true,
     [](const char* local) { return GetStepped("file.bin", local); }, 0, 0},
    // The blocking forms list the name too, within the listing's deadline.
    {"EndlessListingGetAtOnce", "list", true,
     [](const char* local) { return FTPGetFile("file.bin", local); }, 0, 0},
    {"EndlessListingPut", "list", true, PutFromItsFolder, 0, 0},
    {"ShortWithErrorGetAtOnce", "short", true,
     [](const char* local) { return FTPGetFile("./file.bin", local); }, 0, 1},
    {"ShortWithErrorDotPart", "short", true,
     [](const char* local) { return GetStepped("./file.bin", local); }, 1, 1},
    {"ShortWithErrorParentPart", "short", true,
     [](const char* local) { return GetStepped("sub/../file.bin", local); }, 1, 1},
    {"ShortWithErrorOtherCase", "short", true,
     [](const char* local) { return GetStepped("FILE.BIN", local); }, 1, 1},
    // Unlisted, with no size to go by, the error reply alone tells.
    {"ShortWithErrorUnlisted", "short", true,
     [](const char* local) { return GetStepped("unlisted.bin", local); }, 1, 1},
    // Without the error reply, the listed size alone tells, whatever the name's spelling.
    {"ShortWithSuccessDotPart", "lying", true,
     [](const char* local) { return GetStepped("./file.bin", local); }, 1, 1},
    {"ShortWithSuccessOtherCase", "lying", true,
     [](const char* local) { return GetStepped("FILE.BIN", local); }, 1, 1},
    {"ShortWithSuccessGetAtOnce", "lying", true,
     [](const char* local) { return FTPGetFile("./file.bin", local); }, 0, 1},
    // An upload of file.bin, the older file's 30 bytes, which the listing then shows at 1,000.
    {"ListedOtherwisePut", "lying", true, PutFromItsFolder, 0, 1},
};

} // namespace

TEST_P(UnrulyFtpServerTest, CommandFailsAndKeepsNoPartialFile) {
    const UnrulyCase& c = GetParam();
    if (!Serve(c.mode)) GTEST_SKIP() << skip_;
    if (c.logIn) {
        ASSERT_EQ(FTPConnect("127.0.0.1", "u", "p"), 1);
    }
    std::int32_t result = -2;
    ASSERT_TRUE(ReturnsInTime([&] { result = c.command(local_.c_str()); }));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(FTPGetStatus(), c.connected);
    EXPECT_EQ(FTPGetFailureState(), 1);
    EXPECT_EQ(FTPGetProgress(), -1);
    EXPECT_TRUE(LostWorkersEndWithTheServer());
    ExpectOlderFileAlone();
}

INSTANTIATE_TEST_SUITE_P(Modes, UnrulyFtpServerTest, ::testing::ValuesIn(kUnrulyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UnrulyFtpTest, AStepWithNoByteEverStallsAtTheRealDeadline) {
    g_FtpDeadlines = FtpDeadlines{};
    if (!Serve("quiet")) GTEST_SKIP() << skip_;
    ASSERT_EQ(FTPConnect("127.0.0.1", "u", "p"), 1);
    ASSERT_EQ(FTPGetFile("file.bin", local_.c_str(), 1000), 1);
    ASSERT_TRUE(ReturnsInTime([] { FTPDownloadStep(); }));
    EXPECT_EQ(FTPGetProgress(), -1);
    EXPECT_EQ(FTPGetFailureState(), 1);
    EXPECT_TRUE(LostWorkersEndWithTheServer());
    ExpectOlderFileAlone();
}

TEST_F(UnrulyFtpTest, WorkersLeftWaitingAreCappedAndEndWithTheServer) {
    g_FtpDeadlines.commandMs = 1500;
    if (!Serve("command")) GTEST_SKIP() << skip_;
    std::int32_t result = -2;
    for (long lost = 0; lost < kMaxLostFtpWorkers; ++lost) {
        ASSERT_EQ(FTPConnect("127.0.0.1", "u", "p"), 1);
        ASSERT_TRUE(ReturnsInTime([&] { result = FTPSetDir("sub"); }));
        EXPECT_EQ(result, 0);
    }
    EXPECT_EQ(LostFtpWorkers(), kMaxLostFtpWorkers);
    // Past the cap a call is refused at once and leaves no further worker behind.
    ASSERT_TRUE(ReturnsInTime([&] { result = FTPConnect("127.0.0.1", "u", "p"); }));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(LostFtpWorkers(), kMaxLostFtpWorkers);

    EXPECT_TRUE(LostWorkersEndWithTheServer());
    if (!Serve("command")) GTEST_SKIP() << skip_;
    EXPECT_EQ(FTPConnect("127.0.0.1", "u", "p"), 1) << "calls work again";
}
