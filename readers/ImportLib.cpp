#include "readers/ImportLib.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

#include "base/Number.h"
#include "readers/Symbols.h"

namespace zandrel {

namespace {

constexpr std::string_view kSignature = "!<arch>\n";
constexpr std::uint64_t kHeaderSize = 60;

std::uint32_t ReadLE32(std::string_view d, std::uint64_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(d.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t ReadBE32(std::string_view d, std::uint64_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(d.data() + at);
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// A linker member's name field: "/" followed by blanks only.
bool IsLinkerMemberName(std::string_view header) {
    if (header.size() < 16 || header[0] != '/') return false;
    for (std::size_t i = 1; i < 16; ++i)
        if (header[i] != ' ') return false;
    return true;
}

// Appends the entry for one name unless the decoding rules skip it.
void AddSymbol(std::string_view name, SymbolList& list) {
    if (IsSkippedSymbol(name)) return;
    list.push_back(SymbolEntry{std::string(name), ParamCountFromName(name)});
}

// The GNU import-library bookkeeping symbols (one head and one name-table symbol per DLL).
bool IsGnuBookkeeping(std::string_view name) {
    auto starts = [&](std::string_view p) { return name.substr(0, p.size()) == p; };
    constexpr std::string_view tail = "_iname";
    return starts("__head_") || starts("_head_") ||
           (name.size() >= tail.size() && name.substr(name.size() - tail.size()) == tail);
}

// A GNU table lists each function two or three times (the function, its __imp_ pointer, the
// DLL's bookkeeping); beyond this many names the table cannot be a real library's.
constexpr std::uint64_t kMaxNamesToSort = 4 * kMaxSymbols;

// Splits `count` zero-terminated names starting at `start`; a name missing its terminator
// ends at the end of the data. Returns false when the data ran out before `count` names.
bool SplitNames(std::string_view d, std::uint64_t start, std::uint64_t count,
                std::vector<std::string_view>& names) {
    std::uint64_t cursor = start;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (cursor >= d.size()) return false;
        std::size_t end = d.find('\0', cursor);
        if (end == std::string_view::npos) end = d.size();
        names.push_back(d.substr(cursor, end - cursor));
        cursor = static_cast<std::uint64_t>(end) + 1;
    }
    return true;
}

}  // namespace

const char* ReadStatusText(ReadStatus status) {
    switch (status) {
        case ReadStatus::Ok: return "ok";
        case ReadStatus::NoSymbolTable: return "archive has no symbol table";
        case ReadStatus::Unreadable: return "cannot open or read the file";
        case ReadStatus::EmptyFile: return "file is empty";
        case ReadStatus::NotAnArchive: return "not an archive (no !<arch> signature)";
        case ReadStatus::CorruptHeader: return "corrupt archive: second member header is cut off or has no end marker";
        case ReadStatus::CorruptTable: return "corrupt archive: symbol table lies beyond the end of its member";
        case ReadStatus::TruncatedNames: return "symbol table holds fewer names than its count";
        case ReadStatus::TooManySymbols: return "symbol table holds more than 200000 functions; only the first are listed";
    }
    return "unknown";
}

ReadStatus ReadLibFile(const std::string& path, SymbolList& list) {
    list.clear();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return ReadStatus::Unreadable;
    // Size by seeking: portable and 64-bit on every platform we build for.
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return ReadStatus::Unreadable;
    long long size = 0;
#if defined(_WIN32)
    size = _ftelli64(file.get());
#else
    size = ftello(file.get());
#endif
    if (size < 0) return ReadStatus::Unreadable;
    if (size < 1) return ReadStatus::EmptyFile;
    // The signature first: a large file that is no archive is never taken into memory.
    char head[kSignature.size()];
    std::rewind(file.get());
    std::size_t got = std::fread(head, 1, sizeof head, file.get());
    if (got < sizeof head) return ParseArchive(std::string_view(head, got), list);
    if (std::string_view(head, sizeof head) != kSignature) return ReadStatus::NotAnArchive;
    // Only the two linker members at the front are ever parsed; beyond kMaxReadBytes the rest
    // of a huge (or sparse, hostile) file is left unread, so memory stays bounded.
    const std::uint64_t wanted = std::min<std::uint64_t>(static_cast<std::uint64_t>(size), kMaxReadBytes);
#if !defined(_WIN32)
    // Mapped, only the pages the parser touches are read, and none is zeroed or copied first.
    if (void* view = mmap(nullptr, static_cast<std::size_t>(wanted), PROT_READ, MAP_PRIVATE, fileno(file.get()), 0);
        view != MAP_FAILED) {
        ReadStatus status = ParseArchive(std::string_view(static_cast<const char*>(view), wanted), list);
        munmap(view, static_cast<std::size_t>(wanted));
        return status;
    }
#endif
    // One buffer, not zero-filled: the read overwrites it whole.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(wanted)]);
    if (!buffer) return ReadStatus::Unreadable;
    std::rewind(file.get());
    if (std::fread(buffer.get(), 1, static_cast<std::size_t>(wanted), file.get()) != wanted)
        return ReadStatus::Unreadable;
    return ParseArchive(std::string_view(buffer.get(), static_cast<std::size_t>(wanted)), list);
}

ReadStatus ParseArchive(std::string_view data, SymbolList& list) {
    if (data.size() < kSignature.size() || data.substr(0, kSignature.size()) != kSignature)
        return ReadStatus::NotAnArchive;
    const std::uint64_t size = data.size();
    const std::uint64_t first = kSignature.size();
    if (first + kHeaderSize > size) return ReadStatus::CorruptHeader;
    // Member sizes are decimal text; a negative one can only mean a corrupt file.
    std::int64_t first_size = ParseNumber(data.substr(first + 48, 10));
    if (first_size < 0) return ReadStatus::CorruptHeader;
    std::uint64_t second = first + kHeaderSize + static_cast<std::uint64_t>(first_size);
    second += second & 1;
    if (second == size) return ReadStatus::NoSymbolTable;
    if (second > size || size - second < kHeaderSize) return ReadStatus::CorruptHeader;
    std::string_view header = data.substr(second, kHeaderSize);
    if (header[58] != '`' || header[59] != '\n') return ReadStatus::CorruptHeader;
    if (!IsLinkerMemberName(header)) {
        // GNU and LLVM archives have only the first linker member; its names serve instead.
        std::string_view first_header = data.substr(first, kHeaderSize);
        if (!IsLinkerMemberName(first_header)) return ReadStatus::NoSymbolTable;
        std::uint64_t first_data = first + kHeaderSize;
        std::uint64_t len = std::min<std::uint64_t>(static_cast<std::uint64_t>(first_size), size - first_data);
        return ReadFirstLinkerMember(data.substr(first_data, len), list);
    }
    // The member data is whatever follows the header; its own size field is not trusted.
    return ReadLinkerMember(data.substr(second + kHeaderSize), list);
}

ReadStatus ReadLinkerMember(std::string_view d, SymbolList& list) {
    const std::uint64_t size = d.size();
    if (size < 4) return ReadStatus::CorruptTable;
    const std::uint64_t members = ReadLE32(d, 0);
    const std::uint64_t count_at = 4 + 4 * members;
    if (count_at + 4 > size) return ReadStatus::CorruptTable;
    const std::uint64_t count = ReadLE32(d, count_at);
    const std::uint64_t table = count_at + 4 + 2 * count;
    if (table > size) return ReadStatus::CorruptTable;
    // Names go straight into the list: a huge count over a large file must not first build a
    // second list of its own. Each name takes at least its zero byte, which bounds the room
    // reserved up front (one allocation instead of the list's doublings).
    list.reserve(list.size() + static_cast<std::size_t>(std::min<std::uint64_t>({count, size - table, kMaxSymbols})));
    std::uint64_t cursor = table;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (cursor >= size) return ReadStatus::TruncatedNames;
        std::size_t end = d.find('\0', cursor);
        if (end == std::string_view::npos) end = d.size();
        if (!IsSkippedSymbol(d.substr(cursor, end - cursor)) && list.size() >= kMaxSymbols)
            return ReadStatus::TooManySymbols;
        AddSymbol(d.substr(cursor, end - cursor), list);
        cursor = static_cast<std::uint64_t>(end) + 1;
    }
    return ReadStatus::Ok;
}

ReadStatus ReadFirstLinkerMember(std::string_view d, SymbolList& list) {
    const std::uint64_t size = d.size();
    if (size < 4) return ReadStatus::CorruptTable;
    const std::uint64_t count = ReadBE32(d, 0);
    const std::uint64_t table = 4 + 4 * count;
    if (table > size) return ReadStatus::CorruptTable;
    // Each entry needs four bytes of offset, so the count is bounded by the member; the names
    // must all be in hand to be sorted, but never more than a few per listed symbol.
    std::vector<std::string_view> names;
    const std::uint64_t wanted = std::min<std::uint64_t>(count, kMaxNamesToSort);
    names.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size - table)));
    bool complete = SplitNames(d, table, wanted, names);
    // string_view compares bytes as unsigned, the order of a second linker member.
    std::stable_sort(names.begin(), names.end());
    for (std::string_view name : names) {
        if (IsGnuBookkeeping(name) || IsSkippedSymbol(name)) continue;
        if (list.size() >= kMaxSymbols) return ReadStatus::TooManySymbols;
        AddSymbol(name, list);
    }
    if (wanted < count && complete) return ReadStatus::TooManySymbols;
    return complete ? ReadStatus::Ok : ReadStatus::TruncatedNames;
}

}  // namespace zandrel
