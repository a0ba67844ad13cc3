// Classifying a DLL as a 32-bit or 64-bit image from its PE headers, to tell the librarian
// which machine to build the import library for.
#pragma once
#include <string>
#include <string_view>

namespace zandrel {

enum DllMachine : int {
    X86 = 0,          // PE32, optional-header magic 0x10B
    X64 = 1,          // PE32+, optional-header magic 0x20B
    NotAnImage = -1,  // opened, but a header check failed
    Unreadable = -2,  // cannot be opened for reading
};

DllMachine DetectDllMachine(const std::string& path);

// The checks on bytes already in memory (the whole file); used by DetectDllMachine.
DllMachine DetectDllMachineFromBytes(std::string_view file);

const char* DllMachineName(DllMachine machine);

}  // namespace zandrel
