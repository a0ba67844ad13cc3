// zandrel-cli: the scriptable front end of the same core the GUI uses.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "base/Number.h"
#include "base/Path.h"
#include "base/Version.h"
#include "librarian/InferredCounts.h"
#include "librarian/Librarian.h"
#include "librarian/PeExports.h"
#include "librarian/Signatures.h"
#include "readers/DllMachine.h"
#include "readers/ImportLib.h"
#include "readers/Symbols.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"

using namespace zandrel;

namespace {

const char kUsage[] =
    "Usage:\n"
    "  zandrel-cli symbols LIB|DLL [--lib-dir DIR]\n"
    "  zandrel-cli import LIB|DLL [--convention STDCALL|CDECL|FASTCALL] [--no-alias] [-o FILE]\n"
    "                             [--lib-dir DIR]\n"
    "  zandrel-cli machine FILE\n"
    "  zandrel-cli signatures DLL\n"
    "  zandrel-cli --help | --version\n";

const char kHelp[] =
    "zandrel-cli reads an import library (a COFF archive such as user32.lib) and prints what\n"
    "Zandrel shows for it. Given a DLL (a 32-bit or 64-bit PE image) instead, it first builds\n"
    "the DLL's import library, as polib does for the program, and then reads that. A count\n"
    "that the library's names do not carry (cdecl and 64-bit functions: 0) is then taken\n"
    "from the DLL's code where that shows it (exactly, or at least that many), as the\n"
    "program does after Open DLL; with a library given as such, counts are its own.\n"
    "\n"
    "  symbols LIB|DLL   one line per function: the symbol name, a tab, the parameter count,\n"
    "                a tab, the function name in the host language.\n"
    "  import LIB|DLL    the import block Zandrel generates right after opening LIB: all rows\n"
    "                selected, default cells, library name = file name of LIB.\n"
    "      --convention STDCALL|CDECL|FASTCALL   calling convention (default STDCALL)\n"
    "      --no-alias                            declarations without the \"As\" alias\n"
    "      -o FILE                               write to FILE instead of standard output\n"
    "                The \"; created:\" line shows the local time, or the moment given by\n"
    "                SOURCE_DATE_EPOCH (seconds since 1970, shown in UTC) when it is set.\n"
    "      --lib-dir DIR  (both) where the library built from a DLL goes and stays, named\n"
    "                as the program names it (user32.dll gives user32.lib); by default it\n"
    "                is built in a temporary folder that is removed afterwards.\n"
    "  machine FILE  X86 or X64 for a 32-bit or 64-bit PE image (DLL or EXE); otherwise\n"
    "                NotAnImage or Unreadable, with exit status 1.\n"
    "  signatures DLL  what the DLL's machine code says of each named export, one line\n"
    "                each in export order: name, calling convention (stdcall, cdecl, x64,\n"
    "                unknown), certainty (exact, at least, unknown) and parameter count\n"
    "                (x86: 4-byte stack slots; x64: arguments), tab-separated, plus a fifth\n"
    "                field \"variadic\" for a function that takes more after those. Forwarded\n"
    "                and imported functions are followed into DLLs for the same machine\n"
    "                found beside DLL, the case of their names ignored.\n"
    "\n"
    "Exit status: 0 success, 1 the file could not be read or is not what was expected,\n"
    "2 wrong usage. A damaged library that still gave functions prints those, with a\n"
    "warning on stderr, and exits 0.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

void Fail(const std::string& file, const char* reason) {
    std::fprintf(stderr, "zandrel-cli: %s: %s\n", file.c_str(), reason);
}

// Reads LIB and reports a failure on stderr; returns false when nothing usable was read.
bool LoadSymbols(const std::string& path, SymbolList& symbols) {
    ReadStatus status = ReadLibFile(path, symbols);
    if (IsReadFailure(status)) {
        Fail(path, ReadStatusText(status));
        return false;
    }
    if (status == ReadStatus::TruncatedNames || status == ReadStatus::TooManySymbols)
        std::fprintf(stderr, "zandrel-cli: %s: warning: %s\n", path.c_str(), ReadStatusText(status));
    return true;
}

bool WriteAll(std::FILE* f, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
}

std::uint32_t Timestamp() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch)
        return static_cast<std::uint32_t>(ParseNumber(epoch));
    return static_cast<std::uint32_t>(std::time(nullptr));
}

// Where the library read for FILE comes from: FILE itself, or the library built from FILE
// when it is a DLL. A temporary folder made for that is removed with this object.
class LibrarySource {
public:
    LibrarySource() = default;
    LibrarySource(const LibrarySource&) = delete;
    LibrarySource& operator=(const LibrarySource&) = delete;
    ~LibrarySource() {
        std::error_code ec;
        if (!temp_.empty()) std::filesystem::remove_all(temp_, ec);
    }

    // Returns false (after a message) when FILE is a DLL that gives no library.
    bool Resolve(const std::string& file, const std::string& lib_dir) {
        DllMachine machine = DetectDllMachine(file);
        if (machine != X86 && machine != X64) {
            std::string ext = ExtensionPart(file);
            for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            if (ext == "dll" && machine == NotAnImage) {
                Fail(file, "corrupt DLL (not a 32-bit or 64-bit PE image)");
                return false;
            }
            lib = file;  // a library, or whatever the library reader makes of it
            return true;
        }
        std::string dir = lib_dir;
        if (dir.empty()) {
            std::random_device random;
            std::error_code ec;
            auto temp = std::filesystem::temp_directory_path(ec) / ("zandrel-cli-" + std::to_string(random()));
            if (ec || !std::filesystem::create_directory(temp, ec)) {
                Fail(temp.string(), "cannot create a temporary folder");
                return false;
            }
            temp_ = temp;
            dir = temp.string();
        }
        if (dir.back() != '/' && dir.back() != '\\') dir += '/';
        lib = dir + librarian::LibraryNameForDll(file);
        librarian::BuildReport report;
        std::string error;
        const auto target = machine == X64 ? librarian::Machine::X64 : librarian::Machine::X86;
        if (!librarian::BuildImportLibraryFile(file, target, lib, Timestamp(), report, error)) {
            std::fprintf(stderr, "zandrel-cli: %s\n", error.c_str());
            return false;
        }
        for (const std::string& w : report.Warnings)
            std::fprintf(stderr, "zandrel-cli: %s: warning: %s\n", file.c_str(), w.c_str());
        counts = std::move(report.Counts);
        return true;
    }

    // Counts the library's names cannot carry take those the DLL's code gives, as the program
    // fills its "Parameter" column after Open DLL.
    void FillCounts(SymbolList& symbols) const {
        if (counts.empty()) return;
        for (SymbolEntry& e : symbols)
            if (const librarian::InferredCount* c = librarian::InferredCountFor(counts, e.Name, e.ParamCount))
                e.ParamCount = static_cast<std::int32_t>(std::min<std::uint32_t>(c->Count, INT32_MAX));
    }

    std::string lib;
    librarian::InferredCounts counts;  // empty for a library given as such

private:
    std::filesystem::path temp_;
};

// The lines of `symbols`, written as the library is read, block by block: no list of all names
// and no whole listing is ever held, and every line is put together in place.
class SymbolPrinter final : public SymbolSink {
public:
    // `counts`: those read from a DLL's code, for the counts its library's names cannot carry
    // (empty for a library given as such).
    SymbolPrinter(std::FILE* to, const librarian::InferredCounts& counts)
        : to_(to), counts_(counts), block_(new char[kBlock]), capacity_(kBlock) {}

    void Add(std::string_view name, std::int32_t paramCount) override {
        if (!counts_.empty())
            if (const librarian::InferredCount* c = librarian::InferredCountFor(counts_, std::string(name), paramCount))
                paramCount = static_cast<std::int32_t>(std::min<std::uint32_t>(c->Count, INT32_MAX));
        // name, tab, count (at most 11 characters), tab, host name (never longer than the name), newline
        const std::size_t most = 2 * name.size() + 14;
        if (capacity_ - used_ < most) {
            Flush();
            if (capacity_ < most) {
                block_.reset(new char[most]);
                capacity_ = most;
            }
        }
        char* p = block_.get() + used_;
        std::memcpy(p, name.data(), name.size());
        p += name.size();
        *p++ = '\t';
        p = std::to_chars(p, p + 11, paramCount).ptr;
        *p++ = '\t';
        p += WritePBFunctionName(name, p);
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - block_.get());
    }

    // Writes what is left; false when any write failed.
    bool Finish() {
        Flush();
        return ok_ && std::fflush(to_) == 0;
    }

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    void Flush() {
        if (ok_ && used_ && std::fwrite(block_.get(), 1, used_, to_) != used_) ok_ = false;
        used_ = 0;
    }
    std::FILE* to_;
    const librarian::InferredCounts& counts_;
    std::unique_ptr<char[]> block_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

int Symbols(const std::vector<std::string>& args) {
    std::string file, lib_dir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--lib-dir") {
            if (++i == args.size() || args[i].empty()) return Usage();
            lib_dir = args[i];
        } else if (!args[i].empty() && args[i][0] == '-' && args[i] != "-") {
            return Usage();
        } else if (file.empty()) {
            file = args[i];
        } else {
            return Usage();
        }
    }
    if (file.empty()) return Usage();
    LibrarySource source;
    if (!source.Resolve(file, lib_dir)) return 1;
    SymbolPrinter printer(stdout, source.counts);
    const ReadStatus status = ReadLibFile(source.lib, printer);
    if (IsReadFailure(status)) {
        Fail(source.lib, ReadStatusText(status));
        return 1;
    }
    if (status == ReadStatus::TruncatedNames || status == ReadStatus::TooManySymbols)
        std::fprintf(stderr, "zandrel-cli: %s: warning: %s\n", source.lib.c_str(), ReadStatusText(status));
    if (!printer.Finish()) {
        Fail("<stdout>", "write failed");
        return 1;
    }
    return 0;
}

int Import(const std::vector<std::string>& args) {
    std::string lib, output, lib_dir;
    bool have_output = false;
    ImportOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--convention") {
            if (++i == args.size()) return Usage();
            const std::string& c = args[i];
            if (c != "STDCALL" && c != "CDECL" && c != "FASTCALL") return Usage();
            options.CallingConvention = c;
        } else if (a == "--lib-dir") {
            if (++i == args.size() || args[i].empty()) return Usage();
            lib_dir = args[i];
        } else if (a == "--no-alias") {
            options.Alias = true;
        } else if (a == "-o") {
            if (++i == args.size()) return Usage();
            output = args[i];
            have_output = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage();
        } else if (lib.empty()) {
            lib = a;
        } else {
            return Usage();
        }
    }
    if (lib.empty()) return Usage();
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        std::int64_t seconds = ParseNumber(epoch);
        options.Now = [seconds] { return UtcClockTime(seconds); };
    }
    LibrarySource source;
    if (!source.Resolve(lib, lib_dir)) return 1;
    SymbolList symbols;
    if (!LoadSymbols(source.lib, symbols)) return 1;
    source.FillCounts(symbols);
    options.LibName = FilePart(source.lib);
    std::string text = GenerateImportSource(RowsFromSymbols(symbols), options);
    if (!have_output) {
        if (!WriteAll(stdout, text)) {
            Fail("<stdout>", "write failed");
            return 1;
        }
        return 0;
    }
    std::FILE* f = std::fopen(output.c_str(), "wb");
    if (!f) {
        Fail(output, std::strerror(errno));
        return 1;
    }
    bool ok = WriteAll(f, text);
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        Fail(output, "write failed");
        return 1;
    }
    return 0;
}

int Machine(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    DllMachine m = DetectDllMachine(args[0]);
    std::printf("%s\n", DllMachineName(m));
    if (m == X86 || m == X64) return 0;
    Fail(args[0], m == Unreadable ? "cannot open the file" : "not a PE image");
    return 1;
}

int Signatures(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty()) return Usage();
    const std::string& dll = args[0];
    librarian::FileBytes bytes;
    std::string reason;
    librarian::PeExports exports;
    if (!librarian::ReadDllCode(dll, bytes, reason) || !librarian::ReadPeExports(bytes, exports, reason)) {
        Fail(dll, reason.c_str());
        return 1;
    }
    // Only x86 and x64 code is walked: for any other machine no other DLL is asked for.
    const auto machine = exports.Machine == static_cast<std::uint16_t>(librarian::Machine::X64) ? librarian::Machine::X64
                                                                                                : librarian::Machine::X86;
    const auto sigs = librarian::InferSignatures(
        bytes, exports, librarian::FolderImageLoader({librarian::FolderOfDll(dll)}, machine));
    std::string out;
    for (std::size_t i = 0; i < sigs.size(); ++i) {
        const librarian::Signature& g = sigs[i];
        out += exports.Named[i].Name + '\t' + librarian::CallConventionText(g.Convention) + '\t' +
               librarian::CertaintyText(g.Sure) + '\t' + std::to_string(g.Count);
        if (g.Variadic) out += "\tvariadic";
        out += '\n';
    }
    if (!WriteAll(stdout, out)) {
        Fail("standard output", "write failed");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // Output is exact bytes: the CR LF of the import block must not become CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2) return Usage();
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h") {
        std::fputs(kHelp, stdout);
        std::fputs("\n", stdout);
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("zandrel-cli %s\n", ZANDREL_VERSION);
        return 0;
    }
    if (command == "symbols") return Symbols(args);
    if (command == "import") return Import(args);
    if (command == "machine") return Machine(args);
    if (command == "signatures") return Signatures(args);
    return Usage();
}
