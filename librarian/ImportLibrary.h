// Writing a Microsoft-format import library: a COFF archive with both linker members, the
// long-names member, the three descriptor objects and one short import object per export.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "librarian/PeExports.h"
#include "librarian/Signatures.h"

namespace zandrel::librarian {

enum class Machine : std::uint16_t { X86 = 0x14C, X64 = 0x8664 };

// Short import object fields (the Type word: bits 0-1 the import type, bits 2-4 the name type).
enum ImportType : std::uint16_t { ImportCode = 0, ImportData = 1 };
enum ImportNameType : std::uint16_t {
    ImportOrdinal = 0,
    ImportName = 1,            // the public name is the import name
    ImportNameNoPrefix = 2,    // the public name without its leading "?", "@" or "_"
    ImportNameUndecorate = 3,  // as NoPrefix, and cut at the first "@"
};

// One import as it goes into the library.
struct ImportEntry {
    std::string Symbol;  // the public name ("_MessageBoxA" for x86, "MessageBoxA" for x64)
    ImportType Type = ImportCode;
    ImportNameType NameType = ImportName;
    std::uint16_t Hint = 0;
};

// The public name and name type a Microsoft librarian gives an export of this name. On x86:
//  - a plain name whose code is known to be stdcall with an exact count gets the full stdcall
//    decoration ("_Name@N", N = 4 x Count) and the type that imports "Name" again;
//  - other plain names get the "_" of the C decoration, which the type takes off again;
//  - names the DLL already exports decorated keep what the DLL's own linker binds to:
//    "_Name@N", "@Name@N" and C++ "?" names stand as they are; "Name@N" gets its "_" in
//    front and imports "Name@N" exactly.
// x64 names are taken as they are. `sig` is what the export's code says (Unknown by default).
ImportEntry ImportFor(const PeExport& e, Machine machine, const Signature& sig = {});

struct LibraryContents {
    std::vector<ImportEntry> Imports;     // one per named export that made it in
    std::vector<std::string> Warnings;    // exports left out, and why
};

// Chooses the imports for the named exports: ordinal-only exports are left out (they have no
// name to link by), as are nameless entries and any export whose symbols would repeat one
// already taken. `signatures`, when given, has one entry per named export (InferSignatures).
LibraryContents PlanImports(const PeExports& exports, Machine machine, const std::string& dll_name,
                            const std::vector<Signature>& signatures = {});

// The bytes of the library for `dll_name` (the file name the program will load, e.g.
// "user32.dll"). `timestamp` goes into the member headers and objects. Returns false with a
// reason when the library would not fit the archive format's 32-bit offsets.
bool WriteImportLibrary(const std::vector<ImportEntry>& imports, const std::string& dll_name,
                        Machine machine, std::uint32_t timestamp, std::string& bytes, std::string& reason);

}  // namespace zandrel::librarian
