// The headers and sections of a PE image (DLL or EXE) held in memory, and bounds-checked reads
// of it by file offset or by address (RVA). Shared by the export reader and the code reader.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::librarian {

struct PeSection {
    std::uint32_t Rva = 0;
    std::uint32_t VirtualSize = 0;
    std::uint32_t RawSize = 0;
    std::uint32_t RawOffset = 0;
    std::uint32_t Characteristics = 0;

    bool Code() const { return (Characteristics & (0x00000020u | 0x20000000u)) != 0; }
    bool Writable() const { return (Characteristics & 0x80000000u) != 0; }
};

// All arithmetic on offsets is done in 64 bits, so no sum of 32-bit fields can wrap.
class PeImage {
public:
    // Reads the headers and the section table. On failure returns false and sets `reason` to a
    // short English explanation. `file` must outlive this object.
    bool Open(std::string_view file, std::string& reason);

    std::string_view File() const { return file_; }
    bool Has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= file_.size() && length <= file_.size() - offset;
    }
    std::uint32_t U16(std::uint64_t at) const {
        return static_cast<unsigned char>(file_[at]) | static_cast<unsigned char>(file_[at + 1]) << 8;
    }
    std::uint32_t U32(std::uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
    std::uint64_t U64(std::uint64_t at) const {
        return U32(at) | static_cast<std::uint64_t>(U32(at + 4)) << 32;
    }

    // The data directory `index` (0 exports, 1 imports, 5 base relocations); false when the
    // header has no such entry or it is empty.
    bool Directory(unsigned index, std::uint32_t& rva, std::uint32_t& size) const;

    // The bytes of the section (or the headers) that hold `rva`, as [begin, end) file offsets;
    // false when no part of the file backs that address.
    bool Region(std::uint32_t rva, std::uint64_t& begin, std::uint64_t& end) const;
    // File offset of `length` bytes at `rva`, all inside one section's data.
    bool Map(std::uint32_t rva, std::uint64_t length, std::uint64_t& offset) const;
    // The zero-terminated text at `rva`; false when it leaves its section unterminated.
    bool Text(std::uint32_t rva, std::string& text) const;
    // The same text where the file holds it (valid as long as the file).
    bool TextView(std::uint32_t rva, std::string_view& text) const;
    // The section whose loaded extent holds `rva` (virtual size included), or null.
    const PeSection* SectionOf(std::uint32_t rva) const;

    // Addresses [Lo, Hi) for which SectionOf and Region find the same two sections (Lo == Hi:
    // none kept), and where those bytes lie: from file offset Raw (for address Rva) up to End.
    struct Span {
        std::uint64_t Lo = 0, Hi = 0, Rva = 0, Raw = 0, End = 0;
    };
    // Whether `rva` is code (its SectionOf holds code) that the file backs, with the Region of
    // it as [begin, end); `span`, when given and sections answered both, gets where the same
    // answer holds, so that a walk of many addresses in turn need not ask again.
    bool Code(std::uint32_t rva, std::uint64_t& begin, std::uint64_t& end, Span* span = nullptr) const;

    bool Pe32Plus = false;
    std::uint16_t Machine = 0;
    std::uint64_t ImageBase = 0;
    std::uint64_t HeaderSize = 0;
    std::uint64_t SectionTableEnd = 0;  // file offset just past the section table
    std::vector<PeSection> Sections;

private:
    std::string_view file_;
    std::uint64_t directories_ = 0;       // file offset of the data directories
    std::uint32_t directory_count_ = 0;   // how many of them the header holds
};

}  // namespace zandrel::librarian
