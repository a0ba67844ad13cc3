// Stands in for the librarian (and for a second instance of the program): records its command
// line, working folder and arguments as the runtime splits them in the file named by
// ZANDREL_STUB_LOG and, when ZANDREL_STUB_WRITE is set, writes a small import library under the
// name after "/OUT:".
#include <windows.h>

#include <cstdio>
#include <string>

#include "support/ArchiveBuilder.h"

int main() {
    std::string line = GetCommandLineA();
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    char log[MAX_PATH] = {};
    if (GetEnvironmentVariableA("ZANDREL_STUB_LOG", log, MAX_PATH)) {
        if (FILE* f = std::fopen(log, "wb")) {
            std::fprintf(f, "%s\n%s\n", line.c_str(), folder);
            for (int i = 1; i < __argc; ++i) std::fprintf(f, "[%s]\n", __argv[i]);
            std::fclose(f);
        }
    }
    char write[8] = {};
    std::size_t out = line.find("/OUT:");
    if (GetEnvironmentVariableA("ZANDREL_STUB_WRITE", write, sizeof write) && out != std::string::npos) {
        std::string lib = ztest::MsArchive({"_StubFunction@8", "__imp__StubFunction@8"});
        if (FILE* f = std::fopen(line.substr(out + 5).c_str(), "wb")) {
            std::fwrite(lib.data(), 1, lib.size(), f);
            std::fclose(f);
        }
    }
    return 0;
}
