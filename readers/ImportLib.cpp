#include "readers/ImportLib.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#if !defined(_WIN32)
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
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

// Fills a list from entry `start` on. Entries already there are overwritten, their strings
// keeping their room: reading a library again into the same list allocates nothing.
class ListSink final : public SymbolSink {
public:
    ListSink(SymbolList& list, std::size_t start) : list_(list), next_(start) {}
    void Expect(std::size_t count) override { list_.reserve(next_ + count); }
    void Add(std::string_view name, std::int32_t paramCount) override {
        SymbolEntry& e = next_ < list_.size() ? list_[next_] : list_.emplace_back();
        e.Name.assign(name);
        e.ParamCount = paramCount;
        ++next_;
    }
    // Drops the entries that were not overwritten.
    void End() { list_.resize(next_); }

private:
    SymbolList& list_;
    std::size_t next_;
};

// Hands the entries on and counts them against kMaxSymbols, from what a list held before.
struct Output {
    SymbolSink& sink;
    std::size_t held;
};

// An open file, read at given offsets.
class InputFile {
public:
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
#if defined(_WIN32)
    explicit InputFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~InputFile() {
        if (file_) std::fclose(file_);
    }
    bool IsOpen() const { return file_ != nullptr; }
    long long Size() {
        if (_fseeki64(file_, 0, SEEK_END) != 0) return -1;
        return _ftelli64(file_);
    }
    bool ReadAt(std::uint64_t at, char* to, std::size_t len) {
        if (_fseeki64(file_, static_cast<long long>(at), SEEK_SET) != 0) return false;
        return std::fread(to, 1, len, file_) == len;
    }

private:
    std::FILE* file_;
#else
    explicit InputFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~InputFile() {
        if (fd_ >= 0) close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }
    long long Size() { return lseek(fd_, 0, SEEK_END); }
    // A short read means the file is shorter than it was when measured: a read error.
    bool ReadAt(std::uint64_t at, char* to, std::size_t len) {
        while (len > 0) {
            ssize_t got = pread(fd_, to, len, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            to += got;
            at += static_cast<std::uint64_t>(got);
            len -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
#endif
};

// The bytes of an archive as the walk asks for them: a buffer in memory, or a file of which
// only the asked-for parts are read, through one buffer that is reused. Reading piece by piece
// keeps the memory touched small: fresh pages cost more than copying the bytes.
class ArchiveBytes {
public:
    explicit ArchiveBytes(std::string_view data) : data_(data), size_(data.size()) {}
    ArchiveBytes(InputFile& file, std::uint64_t size) : file_(&file), size_(size) {}

    std::uint64_t Size() const { return size_; }

    // The bytes from `at` (at most Size()) on: at least `least` of them unless the data ends
    // first, more when they are at hand. False when the file could not be read.
    bool From(std::uint64_t at, std::uint64_t least, std::string_view& out) {
        if (!file_) {
            out = data_.substr(static_cast<std::size_t>(at));
            return true;
        }
        const std::uint64_t left = size_ - at;
        least = std::min(least, left);
        const std::uint64_t held_end = held_at_ + held_;
        if (at >= held_at_ && at + least <= held_end && held_ > 0) {
            out = std::string_view(buffer_ + (at - held_at_), static_cast<std::size_t>(held_end - at));
            return true;
        }
        const auto wanted = static_cast<std::size_t>(std::min(left, std::max(least, kChunk)));
        // What is held from `at` on moves to the front instead of being read again.
        const std::size_t kept = at >= held_at_ && at < held_end ? static_cast<std::size_t>(held_end - at) : 0;
        if (wanted > capacity_) {
            std::unique_ptr<char[]> bigger(new (std::nothrow) char[wanted]);
            if (!bigger) return false;
            if (kept) std::memcpy(bigger.get(), buffer_ + (at - held_at_), kept);
            grown_ = std::move(bigger);
            buffer_ = grown_.get();
            capacity_ = wanted;
        } else if (kept) {
            std::memmove(buffer_, buffer_ + (at - held_at_), kept);
        }
        held_at_ = at;
        held_ = 0;
        if (!file_->ReadAt(at + kept, buffer_ + kept, wanted - kept)) return false;
        held_ = wanted;
        out = std::string_view(buffer_, wanted);
        return true;
    }

private:
    // Small enough to stay in the processor's cache, large enough that system calls are few.
    static constexpr std::uint64_t kChunk = 64 * 1024;
    std::string_view data_;
    InputFile* file_ = nullptr;
    std::uint64_t size_;
    // On the stack unless a name outgrows it: a large allocation per read would also make the
    // allocator sort all its small free blocks, those of the list's strings among them.
    char initial_[kChunk];
    std::unique_ptr<char[]> grown_;
    char* buffer_ = initial_;
    std::size_t capacity_ = kChunk;
    std::uint64_t held_at_ = 0;
    std::size_t held_ = 0;
};

// The string table of a second linker member that starts at `base` and runs to the end of
// the bytes (its own size field is not trusted).
ReadStatus ReadSecondMember(ArchiveBytes& bytes, std::uint64_t base, Output& out) {
    const std::uint64_t size = bytes.Size() - base;
    if (size < 4) return ReadStatus::CorruptTable;
    std::string_view v;
    if (!bytes.From(base, 4, v)) return ReadStatus::Unreadable;
    const std::uint64_t members = ReadLE32(v, 0);
    const std::uint64_t count_at = 4 + 4 * members;
    if (count_at + 4 > size) return ReadStatus::CorruptTable;
    // The member offsets and the indices between are of no use here and are never read.
    if (!bytes.From(base + count_at, 4, v)) return ReadStatus::Unreadable;
    const std::uint64_t count = ReadLE32(v, 0);
    const std::uint64_t table = count_at + 4 + 2 * count;
    if (table > size) return ReadStatus::CorruptTable;
    // Each name takes at least its zero byte, which bounds the room a list reserves up front
    // (one allocation instead of its doublings; a huge count over a large file must not).
    out.sink.Expect(static_cast<std::size_t>(std::min<std::uint64_t>({count, size - table, kMaxSymbols})));
    std::string_view window;  // the bytes at hand, from member offset window_at on
    std::uint64_t window_at = 0;
    std::uint64_t cursor = table;
    std::uint64_t i = 0;
    // One name handed on: false when the list is full.
    auto take = [&](std::string_view name) {
        if (IsSkippedSymbol(name)) return true;
        if (out.held >= kMaxSymbols) return false;
        out.sink.Add(name, ParamCountFromName(name));
        ++out.held;
        return true;
    };
    while (i < count) {
        if (cursor >= size) return ReadStatus::TruncatedNames;
        if (cursor < window_at || cursor >= window_at + window.size()) {
            if (!bytes.From(base + cursor, 1, window)) return ReadStatus::Unreadable;
            window_at = cursor;
        }
        // The names that end within the bytes at hand, one after the other.
        const char* p = window.data() + (cursor - window_at);
        const char* const stop = window.data() + window.size();
        for (; i < count && p != stop; ++i) {
            const auto* zero = static_cast<const char*>(std::memchr(p, '\0', static_cast<std::size_t>(stop - p)));
            if (!zero) break;
            if (!take(std::string_view(p, static_cast<std::size_t>(zero - p)))) return ReadStatus::TooManySymbols;
            p = zero + 1;
        }
        cursor = window_at + static_cast<std::uint64_t>(p - window.data());
        if (i == count || p == stop) continue;
        // A name that runs past the bytes at hand: more of them, twice as many each time.
        auto from = static_cast<std::size_t>(p - window.data());
        const void* zero = nullptr;
        while (!zero && window_at + window.size() < size) {
            if (!bytes.From(base + cursor, 2 * (window.size() - from), window)) return ReadStatus::Unreadable;
            window_at = cursor;
            from = 0;
            zero = std::memchr(window.data(), '\0', window.size());
        }
        // A name missing its terminator ends at the end of the data.
        const std::size_t end = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - window.data())
                                     : window.size();
        if (!take(window.substr(from, end - from))) return ReadStatus::TooManySymbols;
        ++i;
        cursor = window_at + end + 1;
    }
    return ReadStatus::Ok;
}

ReadStatus ReadFirstMember(std::string_view d, Output& out) {
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
        if (out.held >= kMaxSymbols) return ReadStatus::TooManySymbols;
        out.sink.Add(name, ParamCountFromName(name));
        ++out.held;
    }
    if (wanted < count && complete) return ReadStatus::TooManySymbols;
    return complete ? ReadStatus::Ok : ReadStatus::TruncatedNames;
}

// Walks the archive to its symbol table and reads that.
ReadStatus WalkArchive(ArchiveBytes& bytes, Output& out) {
    const std::uint64_t size = bytes.Size();
    std::string_view v;
    if (!bytes.From(0, kSignature.size() + kHeaderSize, v)) return ReadStatus::Unreadable;
    if (size < kSignature.size() || v.substr(0, kSignature.size()) != kSignature) return ReadStatus::NotAnArchive;
    const std::uint64_t first = kSignature.size();
    if (first + kHeaderSize > size) return ReadStatus::CorruptHeader;
    const std::string_view first_header = v.substr(first, kHeaderSize);
    // Member sizes are decimal text; a negative one can only mean a corrupt file.
    std::int64_t first_size = ParseNumber(first_header.substr(48, 10));
    if (first_size < 0) return ReadStatus::CorruptHeader;
    const bool first_is_linker = IsLinkerMemberName(first_header);
    std::uint64_t second = first + kHeaderSize + static_cast<std::uint64_t>(first_size);
    second += second & 1;
    if (second == size) return ReadStatus::NoSymbolTable;
    if (second > size || size - second < kHeaderSize) return ReadStatus::CorruptHeader;
    if (!bytes.From(second, kHeaderSize, v)) return ReadStatus::Unreadable;
    const std::string_view header = v.substr(0, kHeaderSize);
    if (header[58] != '`' || header[59] != '\n') return ReadStatus::CorruptHeader;
    if (!IsLinkerMemberName(header)) {
        // GNU and LLVM archives have only the first linker member; its names serve instead.
        if (!first_is_linker) return ReadStatus::NoSymbolTable;
        const std::uint64_t first_data = first + kHeaderSize;
        const std::uint64_t len = std::min<std::uint64_t>(static_cast<std::uint64_t>(first_size), size - first_data);
        if (!bytes.From(first_data, len, v)) return ReadStatus::Unreadable;
        return ReadFirstMember(v.substr(0, static_cast<std::size_t>(len)), out);
    }
    // The member data is whatever follows the header; its own size field is not trusted.
    return ReadSecondMember(bytes, second + kHeaderSize, out);
}

void (*g_read_probe)(const std::string&) = nullptr;

ReadStatus ReadFile(const std::string& path, Output& out) {
    InputFile file(path);
    if (!file.IsOpen()) return ReadStatus::Unreadable;
    const long long size = file.Size();
    if (size < 0) return ReadStatus::Unreadable;
    if (size < 1) return ReadStatus::EmptyFile;
    if (g_read_probe) g_read_probe(path);
    // Beyond kMaxReadBytes the rest of a huge (or sparse, hostile) file is left unread.
    ArchiveBytes bytes(file, std::min<std::uint64_t>(static_cast<std::uint64_t>(size), kMaxReadBytes));
    return WalkArchive(bytes, out);
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
    ListSink sink(list, 0);
    Output out{sink, 0};
    ReadStatus status = ReadFile(path, out);
    sink.End();
    if (status == ReadStatus::Unreadable) list.clear();
    return status;
}

ReadStatus ReadLibFile(const std::string& path, SymbolSink& sink) {
    Output out{sink, 0};
    return ReadFile(path, out);
}

void SetReadLibFileProbe(void (*probe)(const std::string& path)) { g_read_probe = probe; }

ReadStatus ParseArchive(std::string_view data, SymbolList& list) {
    ListSink sink(list, list.size());
    Output out{sink, list.size()};
    ArchiveBytes bytes(data);
    return WalkArchive(bytes, out);
}

ReadStatus ReadLinkerMember(std::string_view d, SymbolList& list) {
    ListSink sink(list, list.size());
    Output out{sink, list.size()};
    ArchiveBytes bytes(d);
    return ReadSecondMember(bytes, 0, out);
}

ReadStatus ReadFirstLinkerMember(std::string_view d, SymbolList& list) {
    ListSink sink(list, list.size());
    Output out{sink, list.size()};
    return ReadFirstMember(d, out);
}

}  // namespace zandrel
