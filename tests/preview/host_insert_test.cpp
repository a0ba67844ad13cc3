// Insertion into another process: host-sim (the host IDE's stand-in) starts insert-probe as its
// external tool; the probe calls InsertIntoHostEditor; host-sim then reports its editor's bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "table/ImportSource.h"

using namespace zandrel;

namespace {

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.find_last_of("\\/") + 1);
}

std::string TempFile() {
    char folder[MAX_PATH] = {}, name[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "zpv", 0, name);
    return name;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

struct HostReport {
    DWORD exitCode = 0xFFFF;
    long long codePage = -1, caret = -1, foreign = -1;
    std::string text;
};

// Runs host-sim with `initial` text and the caret at `caret`, and insert-probe in `mode` with
// `block`, and returns what host-sim reported.
HostReport RunHost(int codePage, const std::string& initial, long long caret,
                   const std::string& mode, const std::string& block, const std::string& hostOptions = "") {
    HostReport report;
    const std::string textFile = TempFile(), blockFile = TempFile(), reportFile = TempFile();
    WriteBytes(textFile, initial);
    WriteBytes(blockFile, block);
    std::string command = Quote(ExeFolder() + "host-sim.exe") + " --codepage " +
                          std::to_string(codePage) + " --text " + Quote(textFile) + " --caret " +
                          std::to_string(caret) + " " + hostOptions + " --report " + Quote(reportFile) + " -- " +
                          Quote(ExeFolder() + "insert-probe.exe") + " " + mode + " " +
                          Quote(blockFile);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "cannot start " << command;
        return report;
    }
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        ADD_FAILURE() << "host-sim did not finish within two minutes";
    }
    GetExitCodeProcess(pi.hProcess, &report.exitCode);
    CloseHandle(pi.hProcess);

    const std::string raw = ReadBytes(reportFile);
    const std::size_t eol = raw.find('\n');
    long long length = -1;
    if (eol == std::string::npos ||
        std::sscanf(raw.substr(0, eol).c_str(), "codepage=%lld caret=%lld length=%lld foreign=%lld",
                    &report.codePage, &report.caret, &length, &report.foreign) != 4) {
        ADD_FAILURE() << "no report from host-sim (exit code " << report.exitCode << ")";
    } else {
        report.text = raw.substr(eol + 1);
        EXPECT_EQ(static_cast<long long>(report.text.size()), length);
    }
    DeleteFileA(textFile.c_str());
    DeleteFileA(blockFile.c_str());
    DeleteFileA(reportFile.c_str());
    return report;
}

// A generated block whose comment holds a character above 127 (e-acute in the usual Western
// code page).
std::string Block() {
    RowTable table;
    table.rows = {{"TRUE", "_MessageBoxA@16", "MessageBoxA", "4", "caf\xE9 dialog"},
                  {"TRUE", "_Beep@8", "Beep", "2", ""}};
    ImportOptions options;
    options.LibName = "user32.lib";
    options.Now = [] { return ClockTime{2026, 12, 8, 9, 5}; };
    return GenerateImportSource(table, options);
}

std::string SystemAnsiToUtf8(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                                static_cast<int>(wide.size()));
    std::string out(static_cast<std::size_t>(n) * 4, '\0');
    int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, out.data(),
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<std::size_t>(m));
    return out;
}

const std::string kUtf8Host = "Hello \xC3\xA4rger\r\nWorld\r\n";  // UTF-8, as that host holds it
const long long kUtf8Caret = 14;                                  // start of the second line

TEST(HostInsert, Utf8HostGetsTheBlockAtTheCaretAsUtf8) {
    const std::string block = Block();
    const std::string encoded = SystemAnsiToUtf8(block);
    if (GetACP() == 1252) {
        EXPECT_NE(encoded.find("; caf\xC3\xA9 dialog\r\n"), std::string::npos);
    }
    EXPECT_EQ(encoded.size(), block.size() + 1);  // one character became two bytes

    HostReport r = RunHost(65001, kUtf8Host, kUtf8Caret, "as-given", block);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.codePage, 65001);
    EXPECT_EQ(r.text, kUtf8Host.substr(0, kUtf8Caret) + encoded + kUtf8Host.substr(kUtf8Caret));
    EXPECT_EQ(r.caret, kUtf8Caret + static_cast<long long>(encoded.size()));
}

TEST(HostInsert, SingleByteHostsGetTheBytesUnchanged) {
    const std::string block = Block();
    const std::string host = "Line one\r\nLine \xE4 two";
    for (int codePage : {0, 932}) {
        SCOPED_TRACE(codePage);
        HostReport r = RunHost(codePage, host, 4, "as-given", block);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.codePage, codePage);
        EXPECT_EQ(r.text, host.substr(0, 4) + block + host.substr(4));
        EXPECT_EQ(r.caret, 4 + static_cast<long long>(block.size()));
    }
}

TEST(HostInsert, HandleWrittenInHexOrFollowedByLettersStillReachesTheHost) {
    const std::string block = "Import \"x.lib\"\r\nEndImport\r\n";
    for (const char* mode : {"hex", "trailing"}) {
        SCOPED_TRACE(mode);
        HostReport r = RunHost(65001, kUtf8Host, 0, mode, block);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.text, block + kUtf8Host);
        EXPECT_EQ(r.caret, static_cast<long long>(block.size()));
    }
}

TEST(HostInsert, NothingHappensWithoutAUsableHostOrText) {
    struct Case {
        const char* mode;
        std::string block;
    };
    for (const Case& c : {Case{"as-given", ""}, Case{"missing", Block()}, Case{"garbage", Block()},
                          Case{"stale", Block()}, Case{"frame", Block()}}) {
        SCOPED_TRACE(c.mode);
        HostReport r = RunHost(65001, kUtf8Host, kUtf8Caret, c.mode, c.block);
        EXPECT_EQ(r.exitCode, 0u);  // the probe called InsertIntoHostEditor, which refused
        EXPECT_EQ(r.text, kUtf8Host);
        EXPECT_EQ(r.caret, kUtf8Caret);
        // A live window that is no editor (a handle reused by another program) is sent nothing.
        EXPECT_EQ(r.foreign, 0);
    }
}

TEST(HostInsert, AStalledHostIsGivenUpOnAndMayStillTakeTheBlock) {
    // The editor stalls 20 s on the text; the insertion gives up after a few seconds, says the
    // block was not taken and leaves it allocated in the host, which takes it once it wakes.
    const std::string block = Block();
    HostReport r = RunHost(0, "", 0, "stalled", block, "--hang-add 20000");
    EXPECT_EQ(r.exitCode, 0u);  // 8: the probe waited for the host; 7: it reported an insertion
    EXPECT_EQ(r.text, block);
}

}  // namespace
