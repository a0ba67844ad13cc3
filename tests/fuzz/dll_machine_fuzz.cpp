// libFuzzer entry: any bytes as a DLL to classify. The check on bytes in memory and the check
// on the same bytes as a file must agree, the result is never "unreadable", and bytes appended
// to an image never change its class (every field that made it an image lies before them).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

#include "readers/DllMachine.h"

namespace {

std::string g_path;

void RemoveFile() { std::remove(g_path.c_str()); }

const std::string& TempFile() {
    if (g_path.empty()) {
        // In memory where the system offers it: one file is written per input.
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(dir) + "/zandrel-dll-machine-XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0) std::abort();
        close(fd);
        g_path = pattern;
        std::atexit(RemoveFile);
    }
    return g_path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zandrel;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const DllMachine machine = DetectDllMachineFromBytes(bytes);
    if (machine != X86 && machine != X64 && machine != NotAnImage) std::abort();

    std::FILE* f = std::fopen(TempFile().c_str(), "wb");
    if (!f) std::abort();
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
    if (DetectDllMachine(TempFile()) != machine) std::abort();

    const std::string longer = bytes + std::string(512, '\xFF');
    if (machine != NotAnImage && DetectDllMachineFromBytes(longer) != machine) std::abort();
    return 0;
}
