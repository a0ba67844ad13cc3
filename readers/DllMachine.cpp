#include "readers/DllMachine.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace zandrel {

namespace {

// The few header fields are read straight from the file; a field reaching past the end reads
// as 0 so that a header cut short fails the check that reads it.
class HeaderReader {
public:
    virtual ~HeaderReader() = default;
    virtual std::uint64_t Size() const = 0;
    virtual bool Read(std::uint64_t at, unsigned char* out, std::size_t n) const = 0;

    std::uint32_t Le(std::uint64_t at, std::size_t width) const {
        unsigned char b[4] = {0, 0, 0, 0};
        if (at > Size() || Size() - at < width || !Read(at, b, width)) return 0;
        std::uint32_t v = 0;
        for (std::size_t i = width; i-- > 0;) v = (v << 8) | b[i];
        return v;
    }
};

class MemoryReader : public HeaderReader {
public:
    explicit MemoryReader(std::string_view d) : d_(d) {}
    std::uint64_t Size() const override { return d_.size(); }
    bool Read(std::uint64_t at, unsigned char* out, std::size_t n) const override {
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(d_[at + i]);
        return true;
    }

private:
    std::string_view d_;
};

class FileReader : public HeaderReader {
public:
    FileReader(std::FILE* f, std::uint64_t size) : f_(f), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t at, unsigned char* out, std::size_t n) const override {
#if defined(_WIN32)
        if (_fseeki64(f_, static_cast<long long>(at), SEEK_SET) != 0) return false;
#else
        if (fseeko(f_, static_cast<off_t>(at), SEEK_SET) != 0) return false;
#endif
        return std::fread(out, 1, n, f_) == n;
    }

private:
    std::FILE* f_;
    std::uint64_t size_;
};

DllMachine Classify(const HeaderReader& r) {
    const std::uint64_t size = r.Size();
    if (size < 512) return NotAnImage;
    if (r.Le(0, 2) != 0x5A4D) return NotAnImage;
    const std::int64_t pe = static_cast<std::int32_t>(r.Le(60, 4));
    if (pe < 0 || static_cast<std::uint64_t>(pe) > size - 4) return NotAnImage;
    const std::uint64_t at = static_cast<std::uint64_t>(pe);
    if (r.Le(at, 4) != 0x00004550) return NotAnImage;
    if ((r.Le(at + 22, 2) & 0x0002) == 0) return NotAnImage;
    switch (r.Le(at + 24, 2)) {
        case 0x10B: return X86;
        case 0x20B: return X64;
        default: return NotAnImage;
    }
}

}  // namespace

DllMachine DetectDllMachine(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return Unreadable;
    // A folder opens on some systems but cannot be read.
    if (std::fgetc(file.get()) == EOF && std::ferror(file.get())) return Unreadable;
#if defined(_WIN32)
    if (_fseeki64(file.get(), 0, SEEK_END) != 0) return Unreadable;
    long long size = _ftelli64(file.get());
#else
    if (fseeko(file.get(), 0, SEEK_END) != 0) return Unreadable;
    long long size = ftello(file.get());
#endif
    if (size < 0) return Unreadable;
    return Classify(FileReader(file.get(), static_cast<std::uint64_t>(size)));
}

DllMachine DetectDllMachineFromBytes(std::string_view file) {
    return Classify(MemoryReader(file));
}

const char* DllMachineName(DllMachine machine) {
    switch (machine) {
        case X86: return "X86";
        case X64: return "X64";
        case NotAnImage: return "NotAnImage";
        case Unreadable: return "Unreadable";
    }
    return "Unreadable";
}

}  // namespace zandrel
