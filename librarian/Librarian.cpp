#include "librarian/Librarian.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <random>

#include "base/Path.h"
#include "librarian/FileBytes.h"
#include "librarian/PeImage.h"
#include "librarian/ReplaceFile.h"

namespace zandrel::librarian {

namespace {

// No DLL comes near this size; a bigger file is refused before it is read, so a huge (or sparse)
// file cannot exhaust memory.
constexpr long long kMaxDllBytes = 1ll << 30;

constexpr const char* kNoMz = "not a PE image (no MZ header)";

// What refuses a file as a DLL before anything more is read: its first bytes and its size.
bool Refused(std::string_view head, long long size, std::string& reason) {
    if (head.size() < 2 || head[0] != 'M' || head[1] != 'Z') {
        reason = kNoMz;
        return true;
    }
    if (size > kMaxDllBytes) {
        reason = "file too large for a DLL (over 1 GiB)";
        return true;
    }
    return false;
}

// The file's size, -1 when it cannot be told. Leaves the position at the end.
long long SizeOf(std::FILE* f) {
#if defined(_WIN32)
    if (_fseeki64(f, 0, SEEK_END) == 0) return _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) == 0) return ftello(f);
#endif
    return -1;
}

// The file's first `count` bytes into `bytes`. Read a piece at a time and appended: sizing the
// string first would fill megabytes with zeros only to overwrite them, and the new memory's
// first touch (a page fault for every page) is most of what reading costs.
bool ReadFirst(std::FILE* f, long long count, std::string& bytes, std::string& reason) {
    constexpr std::size_t kPiece = 64 * 1024;
    const std::size_t total = static_cast<std::size_t>(count);
    std::unique_ptr<char[]> piece;
    try {
        bytes.clear();
        bytes.reserve(total);
        piece.reset(new char[kPiece]);
    } catch (const std::bad_alloc&) {
        reason = "not enough memory to read the file";
        return false;
    }
    std::rewind(f);
    while (bytes.size() < total) {
        const std::size_t want = std::min(kPiece, total - bytes.size());
        const std::size_t got = std::fread(piece.get(), 1, want, f);
        bytes.append(piece.get(), got);
        if (got != want) {
            reason = std::ferror(f) ? "read error" : "the file shrank while it was read";
            bytes.clear();
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadDllFile(const std::string& path, std::string& bytes, std::string& reason) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.clear();
    // The image's first bytes settle most refusals without reading the rest.
    char head[2] = {};
    if (std::fread(head, 1, 2, f.get()) != 2) {
        reason = std::ferror(f.get()) ? "read error" : kNoMz;
        return false;
    }
    const long long size = SizeOf(f.get());
    if (size < 0) {
        reason = "cannot tell the file's size";
        return false;
    }
    if (Refused(std::string_view(head, 2), size, reason)) return false;
    return ReadFirst(f.get(), size, bytes, reason);
}

namespace {

// A section the code reader leaves out: discarded at load time, no code, and none of the
// directories the code walk reads (exports, imports, base relocations, delay-loaded imports).
// Debug information is such a section, and often most of the file.
bool SectionUnneeded(const PeImage& img, const PeSection& s) {
    if (!(s.Characteristics & 0x02000000u) || s.Code()) return false;
    for (unsigned index : {0u, 1u, 5u, 13u}) {
        std::uint32_t rva = 0, size = 0;
        if (!img.Directory(index, rva, size)) continue;
        const std::uint64_t extent = std::max(s.VirtualSize, s.RawSize);
        if (rva >= s.Rva && rva - static_cast<std::uint64_t>(s.Rva) < extent) return false;
    }
    return true;
}

// How much of a file of `size` bytes the code walk needs, from its first bytes `head`: up to the
// end of the last section needed, so every offset keeps its meaning and every read the walk
// makes sees the same bytes as in the whole file; what follows (trailing debug sections, the
// COFF symbol table) is left out. The whole file where the headers do not place the sections.
std::uint64_t CodeExtent(std::string_view head, std::uint64_t size) {
    PeImage img;
    std::string why;
    if (!img.Open(head, why)) return size;
    std::uint64_t keep = std::max<std::uint64_t>(img.HeaderSize, img.SectionTableEnd);
    for (const PeSection& s : img.Sections)
        if (s.RawSize != 0 && !SectionUnneeded(img, s))
            keep = std::max<std::uint64_t>(keep, static_cast<std::uint64_t>(s.RawOffset) + s.RawSize);
    return std::min(keep, size);
}

}  // namespace

bool ReadDllCode(const std::string& path, FileBytes& bytes, std::string& reason) {
    // The headers and section table of any ordinary image lie in its first pages.
    constexpr std::size_t kHead = 64 * 1024;
    bytes.clear();  // nothing of an earlier file is left to be taken for this one
    FileBytes whole;
    if (MapWholeFile(path, whole)) {
        // Pages past the part kept, and those of it nothing reads, are never touched.
        if (Refused(whole.View().substr(0, 2), static_cast<long long>(whole.size()), reason)) return false;
        bytes = whole.Prefix(CodeExtent(whole.View().substr(0, kHead), whole.size()));
        return true;
    }
    std::string read;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) {
        reason = std::strerror(errno);
        return false;
    }
    std::string head(kHead, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f.get()));
    const long long size = SizeOf(f.get());
    const std::uint64_t keep = size < 0 || std::ferror(f.get()) ? 0 : CodeExtent(head, static_cast<std::uint64_t>(size));
    bool ok;
    if (keep == 0 || keep >= static_cast<std::uint64_t>(size) || size > kMaxDllBytes) {
        f.reset();
        ok = ReadDllFile(path, read, reason);  // its refusals and reasons, as for any image
    } else {
        ok = ReadFirst(f.get(), static_cast<long long>(keep), read, reason);
    }
    if (ok) bytes = FileBytes(std::move(read));
    return ok;
}

namespace {

bool WriteNewFile(const std::string& path, const std::string& bytes, std::string& reason) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        reason = std::string("cannot create the file: ") + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    const int err = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) reason = std::string("cannot write the file: ") + (err ? std::strerror(err) : "write error");
    return ok;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// True when `arg` is the option `name` ("MACHINE:", "OUT:", "NOUND"), led by "/" or "-".
bool IsOption(const std::string& arg, const char* name, bool takes_value) {
    const std::size_t n = std::strlen(name);
    if (arg.size() < n + 1 || (arg[0] != '/' && arg[0] != '-')) return false;
    if (!takes_value && arg.size() != n + 1) return false;
    return Upper(arg.substr(1, n)) == name;
}

// Runs of blanks and tabs as one blank: what splitting and joining the arguments leaves.
std::string CollapseBlanks(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\t';
        if (blank && !out.empty() && out.back() == ' ') continue;
        out += blank ? ' ' : c;
    }
    return out;
}

constexpr std::uint16_t kMachineX86 = 0x14C, kMachineX64 = 0x8664;

std::string MachineName(std::uint16_t machine) {
    switch (machine) {
    case kMachineX86: return "X86";
    case kMachineX64: return "X64";
    case 0x1C0: case 0x1C2: case 0x1C4: return "ARM";
    case 0xAA64: return "ARM64";
    case 0xA641: return "ARM64EC";
    case 0x200: return "IA64";
    default: break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", machine);
    return std::string("machine ") + hex;
}

}  // namespace

std::string LibraryNameForDll(const std::string& dll_path) {
    std::string name = FilePart(dll_path);
    name.resize(name.size() >= 3 ? name.size() - 3 : 0);
    return name + "lib";
}

bool BuildImportLibraryFile(const std::string& dll_path, Machine machine, const std::string& out_path,
                            std::uint32_t timestamp, BuildReport& report, std::string& error,
                            const ImageLoader& loader, bool want_counts) {
    report = BuildReport{};
    std::string image, reason;
    std::error_code ec;
    if (std::filesystem::equivalent(dll_path, out_path, ec)) {
        // A DLL named like its own library ("x.lib" gives "x.lib"): never overwrite the input.
        error = out_path + ": the library would replace the DLL itself";
        return false;
    }
    if (!ReadDllFile(dll_path, image, reason)) {
        error = dll_path + ": " + reason;
        return false;
    }
    PeExports exports;
    if (!ReadPeExports(image, exports, reason)) {
        error = dll_path + ": " + reason;
        return false;
    }
    // A library for another machine than the image's would link but never load.
    const std::uint16_t wanted = machine == Machine::X64 ? kMachineX64 : kMachineX86;
    if (exports.Machine != wanted) {
        error = dll_path + ": the image is for " + MachineName(exports.Machine) + ", not " + MachineName(wanted);
        return false;
    }
    report.OrdinalOnly = exports.OrdinalOnly.size();

    // What the code says decides the stdcall decoration of each name.
    // x64 names carry no counts, so there the code is read only for a caller that wants them.
    std::vector<Signature> signatures;
    if (machine == Machine::X86 || want_counts)
        signatures =
            InferSignatures(image, exports, loader ? loader : FolderImageLoader({FolderOfDll(dll_path)}, machine));
    image = std::string();  // the exports hold copies of what they need
    if (want_counts) report.Counts = CountsBySymbol(exports, machine, signatures);
    const std::string dll_name = FilePart(dll_path);
    LibraryContents plan = PlanImports(exports, machine, dll_name, signatures);
    report.Warnings = std::move(plan.Warnings);
    for (const ImportEntry& e : plan.Imports) (e.Type == ImportData ? report.Data : report.Functions)++;

    std::string library;
    if (!WriteImportLibrary(plan.Imports, dll_name, machine, timestamp, library, reason)) {
        error = dll_path + ": " + reason;
        return false;
    }

    std::random_device random;
    const std::string temp = out_path + ".~" + std::to_string(random() % 1000000) + ".tmp";
    if (!WriteNewFile(temp, library, reason)) {
        std::remove(temp.c_str());
        error = out_path + ": " + reason;
        return false;
    }
    // One step: a failure leaves the old library as it was.
    if (!ReplaceFileWith(temp, out_path, reason)) {
        error = out_path + ": cannot replace the file: " + reason;
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

PolibCommand ParsePolibCommand(const std::vector<std::string>& args) {
    PolibCommand cmd;
    auto usage = [&cmd](std::string why) {
        cmd.Action = PolibCommand::Usage;
        cmd.Error = std::move(why);
        return cmd;
    };
    if (args.empty()) return usage("no DLL given");
    if (args.size() == 1) {
        const std::string& a = args[0];
        if (a == "/?" || a == "-?" || a == "-h" || a == "--help" || Upper(a) == "/HELP") {
            cmd.Action = PolibCommand::Help;
            return cmd;
        }
        if (a == "--version") {
            cmd.Action = PolibCommand::Version;
            return cmd;
        }
    }
    cmd.Dll = args[0];
    if (cmd.Dll.empty()) return usage("no DLL given");
    bool have_machine = false, have_out = false;
    for (std::size_t i = 1; i < args.size() && !have_out; ++i) {
        const std::string& a = args[i];
        if (IsOption(a, "MACHINE:", true)) {
            const std::string value = Upper(a.substr(9));
            if (value == "X86") cmd.Target = Machine::X86;
            else if (value == "X64") cmd.Target = Machine::X64;
            else return usage("unknown machine \"" + a.substr(9) + "\" (X86 or X64)");
            have_machine = true;
        } else if (IsOption(a, "NOUND", false)) {
            // The only mode there is: import names are the export names exactly.
        } else if (IsOption(a, "OUT:", true)) {
            cmd.Out = a.substr(5);
            for (std::size_t k = i + 1; k < args.size(); ++k) cmd.Out += " " + args[k];
            have_out = true;
        } else {
            return usage("unknown argument \"" + a + "\"");
        }
    }
    if (!have_machine) return usage("/MACHINE:X86 or /MACHINE:X64 is missing");
    if (!have_out || cmd.Out.empty()) return usage("/OUT:<library name> is missing");
    // Splitting lost the exact blanks; when the name is the one made from the DLL's, take that.
    const std::string expected = LibraryNameForDll(cmd.Dll);
    if (CollapseBlanks(expected) == cmd.Out) cmd.Out = expected;
    cmd.Action = PolibCommand::Build;
    return cmd;
}

}  // namespace zandrel::librarian
