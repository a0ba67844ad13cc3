// Building an import library file from a DLL file, and the librarian's command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "librarian/FileBytes.h"
#include "librarian/ImportLibrary.h"
#include "librarian/InferredCounts.h"

namespace zandrel::librarian {

// The library name the program asks for: the DLL's file name with its last three characters
// replaced by "lib" ("user32.dll" -> "user32.lib", "name.ax" -> "namelib").
std::string LibraryNameForDll(const std::string& dll_path);

// Reads a whole DLL file (refusing what does not start as a PE image or is over 1 GiB); on
// failure returns false with a short reason.
bool ReadDllFile(const std::string& path, std::string& bytes, std::string& reason);
// Reads what reading parameter counts from a DLL's code needs: the file up to the end of its
// last section that is loaded, holds code or one of the directories the code walk reads. Offsets
// are those of the whole file; what follows (debug sections, the COFF symbol table) is left out.
// Refuses what ReadDllFile refuses, with its reasons; a file whose headers it cannot place is
// read whole. Where the system allows (MapWholeFile) the file is mapped rather than read.
bool ReadDllCode(const std::string& path, FileBytes& bytes, std::string& reason);

struct BuildReport {
    std::size_t Functions = 0;    // code imports written
    std::size_t Data = 0;         // data imports written
    std::size_t OrdinalOnly = 0;  // exports without a name, left out
    std::vector<std::string> Warnings;
    InferredCounts Counts;  // what the code says, by the library's symbol names
};

// Reads the DLL at `dll_path` and writes the import library for `machine` to `out_path`. An
// image for another machine (the COFF header's field) is refused. The exports' code is read for
// their stdcall decoration; `loader` fetches the DLLs that forwarders name (by default from the
// DLL's own folder). Without `want_counts` the code is read only where the library's names need
// it (x86 stdcall decoration) and report.Counts is left empty: a 64-bit library needs none.
// The library is written under a temporary name beside `out_path` and renamed at the end, so
// on failure nothing new is left behind (an older file of that name stays as it was). On
// failure returns false with `error` as "<file>: <reason>", naming the file at fault.
bool BuildImportLibraryFile(const std::string& dll_path, Machine machine, const std::string& out_path,
                            std::uint32_t timestamp, BuildReport& report, std::string& error,
                            const ImageLoader& loader = {}, bool want_counts = true);

struct PolibCommand {
    enum Kind { Build, Help, Version, Usage } Action = Usage;
    std::string Dll;
    Machine Target = Machine::X86;
    std::string Out;
    std::string Error;  // for Usage: what is wrong
};

// Parses the arguments after the program name:
//   "<dll>" /MACHINE:X86|X64 [/NOUND] /OUT:<name>
// Option names and values are matched without regard to case, with "/" or "-". /OUT: comes
// last and takes the rest of the command line: a blank in the DLL's file name stands unquoted
// in the library name, which the usual splitting cuts into several arguments.
PolibCommand ParsePolibCommand(const std::vector<std::string>& args);

}  // namespace zandrel::librarian
