#include "core/win32.h"

#include <winsock2.h>

#include "ftp/ftp_server.h"
#include "core/core.h"
#include "ftp/ftp.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr int kStartSeconds = 20;  // for python3 to come up and call back
constexpr int kReadySeconds = 100; // another run may hold port 21 for a while

// The test program's folder as a host path: Wine maps drive Z: onto the host's root.
std::string HostFolderOfProgram() {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path(program);
    if (path.size() < 3 || (path[0] != 'Z' && path[0] != 'z') || path[1] != ':') return "";
    path = path.substr(2, path.rfind('\\') - 2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool WaitReadable(SOCKET socket, int seconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{seconds, 0};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
}

// One line from the server, or "" when it closed or stayed silent.
std::string ReadLine(SOCKET socket, int seconds) {
    std::string line;
    char c = 0;
    while (WaitReadable(socket, seconds) && recv(socket, &c, 1, 0) == 1 && c != '\n')
        line += c;
    return c == '\n' ? line : "";
}

SOCKET ListenOnLoopback(unsigned short& port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(s, 1) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s != INVALID_SOCKET) closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return s;
}

// Starts a server script with the control port and its further arguments; Wine reports neither
// the end nor the result of a host program.
bool StartServer(const std::string& script, unsigned short port, const std::string& arguments) {
    std::string command =
        "Z:\\usr\\bin\\python3 \"" + script + "\" " + std::to_string(port) + " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

void WriteServedFile(const std::string& path, const std::string& bytes) {
    for (std::size_t slash = path.find('\\', 3); slash != std::string::npos;
         slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> LocalFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 16);
    }
    return bytes;
}

std::string TakeString(char* text) {
    std::string result = text ? text : "";
    if (text) CoreResizeString(&text, 0);
    return result;
}

std::string TestFtpServer::Start(const std::string& script, const std::string& arguments) {
    const std::string folder = HostFolderOfProgram();
    if (folder.empty()) return "the test program is not on drive Z:, so no host path";
    unsigned short port = 0;
    listener_ = ListenOnLoopback(port);
    if (listener_ == INVALID_SOCKET) {
        ADD_FAILURE() << "no listening socket on the loopback";
        return "no listening socket";
    }
    if (!StartServer(folder + "/test-data/" + script, port, arguments))
        return "/usr/bin/python3 could not be started";
    if (!WaitReadable(listener_, kStartSeconds))
        return "the FTP test server did not start (is python3-pyftpdlib installed?)";
    control_ = accept(listener_, nullptr, nullptr);
    if (control_ == INVALID_SOCKET) {
        ADD_FAILURE() << "the FTP test server's call was not taken";
        return "no control connection";
    }
    const std::string line = ReadLine(control_, kReadySeconds);
    if (line.rfind("skip ", 0) == 0) return line.substr(5);
    if (line.rfind("ready /", 0) != 0)
        return "the FTP test server stopped before serving (python3-pyftpdlib missing?)";
    root_ = "Z:" + line.substr(6);
    std::replace(root_.begin(), root_.end(), '/', '\\');
    return "";
}

void TestFtpServer::Stop() {
    if (control_ != INVALID_SOCKET) closesocket(control_);
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    control_ = listener_ = INVALID_SOCKET;
}

void StartFtpModule() {
    LinkModules();
    FTPConstructor(nullptr);
    FTPPassCoreData(g_CoreData);
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
}

void StopFtpModule() {
    FTPDestructor();
    WSACleanup();
}

void FtpServerTest::SetUp() {
    deadlines_ = g_FtpDeadlines;
    for (DWORD* ms : {&g_FtpDeadlines.connectMs, &g_FtpDeadlines.commandMs,
                      &g_FtpDeadlines.listingMs, &g_FtpDeadlines.dataMs, &g_FtpDeadlines.budgetMs})
        *ms *= 4;
    StartFtpModule();
    const std::string why = server_.Start("ftp_server.py");
    if (!why.empty()) GTEST_SKIP() << why;
}

void FtpServerTest::TearDown() {
    FTPDestructor();
    server_.Stop();
    WSACleanup();
    g_FtpDeadlines = deadlines_;
}

std::string FtpServerTest::Home(const std::string& name) const {
    return server_.Root() + "\\home" + (name.empty() ? "" : "\\" + name);
}

std::string FtpServerTest::OtherHome(const std::string& name) const {
    return server_.Root() + "\\other" + (name.empty() ? "" : "\\" + name);
}

void FtpServerTest::ConnectAsTester() {
    ASSERT_EQ(FTPConnect("127.0.0.1", "tester", "secret"), 1);
    ASSERT_EQ(FTPGetStatus(), 1);
}
