// Parameter counts read from a DLL's code, keyed by the names the DLL's import library gives its
// functions, so the window and the command-line tool fill the "Parameter" column alike.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "librarian/ImportLibrary.h"
#include "librarian/Signatures.h"

namespace zandrel::librarian {

struct InferredCount {
    std::uint32_t Count = 0;
    Certainty Sure = Certainty::Unknown;  // Exact or LowerBound in a map of InferredCounts
};

// By public symbol of the library ("_Name@8" or "_Name" on x86, "Name" on x64).
using InferredCounts = std::unordered_map<std::string, InferredCount>;

// Fetches a DLL that a forwarder names ("KERNEL32" finds "kernel32.dll"), from the first of
// `folders` that holds it, the name's case ignored; empty folders are passed over. An image for
// another machine than `machine`, or one that cannot be read, is not taken. Where each name was
// found is kept, so a name is looked for once.
ImageLoader FolderImageLoader(std::vector<std::string> folders, Machine machine);

// The folder a DLL stands in, the first place to look for the DLLs it leads into: "." for a
// bare file name, which FolderImageLoader would otherwise pass over as no folder at all.
std::string FolderOfDll(const std::string& dll_path);

// The counts worth showing: exact ones, and lower bounds above 0, of functions not named as
// fastcall ("@Name@N"). Each export is keyed by the
// public symbol PlanImports gives it with these signatures; on x86 also by the symbol a library
// built without the signature has ("_Name" for "_Name@8"), for a library whose librarian found
// less (a forwarder's DLL that only the program's system folder holds).
InferredCounts CountsBySymbol(const PeExports& exports, Machine machine, const std::vector<Signature>& signatures);

// Reads the DLL at `dll_path` and its code. On failure returns false with `error` as
// "<file>: <reason>".
bool InferDllCounts(const std::string& dll_path, const ImageLoader& loader, InferredCounts& counts,
                    std::string& error, const InferLimits& limits = {});

// The count a row shows in place of the library's: only where the library's name carries none
// (`library_count` 0) and the code says something. nullptr: keep the library's.
const InferredCount* InferredCountFor(const InferredCounts& counts, const std::string& symbol,
                                      std::int32_t library_count);

}  // namespace zandrel::librarian
