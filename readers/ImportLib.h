// Reading the public symbols of an import library (a COFF "!<arch>" archive).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel {

struct SymbolEntry {
    std::string Name;             // exactly as stored, decorations included
    std::int32_t ParamCount = 0;  // decoded from the name, 0 when it carries none
};
using SymbolList = std::vector<SymbolEntry>;

// Why a read produced what it did. The GUI ignores it and shows whatever the list holds; the
// command-line tool uses it to tell the user what was wrong with the file.
enum class ReadStatus {
    Ok,              // the symbol table was read completely (it may hold no functions)
    NoSymbolTable,   // a well-formed archive that ends after its first member
    Unreadable,      // the file cannot be opened or read
    EmptyFile,       // zero bytes
    NotAnArchive,    // no "!<arch>\n" signature
    CorruptHeader,   // the second member header is cut off or lacks its end marker
    CorruptTable,    // a count or the string table lies beyond the member data
    TruncatedNames,  // fewer names stand in the table than its count says; those found are kept
    TooManySymbols,  // more entries than kMaxSymbols; the first kMaxSymbols are kept
};

// No real library comes near this many functions (a DLL exports at most 65,535). A hostile
// table (a count of thousands of millions over a sparse file of zeros, each zero an empty name)
// stops here: the window shows this many rows in a few seconds, ten times more would take
// minutes and half the memory a 32-bit program has.
constexpr std::size_t kMaxSymbols = 200000;

// The most of a file ReadLibFile takes in: the linker members of kMaxSymbols functions fit
// several times over, and the members after them are never read.
constexpr std::uint64_t kMaxReadBytes = 128ull << 20;

// A short English reason for a status, for messages.
const char* ReadStatusText(ReadStatus status);

// True when the status means nothing useful could be read from the file.
inline bool IsReadFailure(ReadStatus s) {
    return s != ReadStatus::Ok && s != ReadStatus::NoSymbolTable && s != ReadStatus::TruncatedNames &&
           s != ReadStatus::TooManySymbols;
}

// Receives the functions of a library one by one, in the order a SymbolList would hold them.
class SymbolSink {
public:
    virtual ~SymbolSink() = default;
    // At most this many entries follow (never more than kMaxSymbols): room a list may reserve.
    virtual void Expect(std::size_t count) { (void)count; }
    virtual void Add(std::string_view name, std::int32_t paramCount) = 0;
};

// Empties `list` and reads the file's symbol table. Of its first kMaxReadBytes only what the
// walk needs is read: the member headers and the linker member that is parsed, piece by piece.
// A file that cannot be read to the end of the names (shrunk by another program meanwhile)
// gives Unreadable and an empty list.
ReadStatus ReadLibFile(const std::string& path, SymbolList& list);

// The same walk, handing each entry to `sink` as it is read: the names of a large library are
// never all in memory at once. Unreadable may come after some entries were handed over.
ReadStatus ReadLibFile(const std::string& path, SymbolSink& sink);

// For tests: called with the path once ReadLibFile has opened the file and taken its size and
// before it reads any of its bytes, so a test can change the file then as another program
// might. Null (the default) calls nothing.
void SetReadLibFileProbe(void (*probe)(const std::string& path));

// Walks the archive in `data` and appends the symbols of its linker member to `list`.
ReadStatus ParseArchive(std::string_view data, SymbolList& list);

// Reads the string table of a Microsoft-format second linker member.
ReadStatus ReadLinkerMember(std::string_view member, SymbolList& list);

// Reads the names of a first linker member (big-endian count and offsets), for archives written
// by GNU and LLVM tools that have no second linker member. Names come out in ascending byte
// order, as a second linker member would hold them.
ReadStatus ReadFirstLinkerMember(std::string_view member, SymbolList& list);

}  // namespace zandrel
