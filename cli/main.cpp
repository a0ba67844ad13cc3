// zandrel-cli: the scriptable front end of the same core the GUI uses.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "base/Number.h"
#include "base/Path.h"
#include "base/Version.h"
#include "readers/DllMachine.h"
#include "readers/ImportLib.h"
#include "table/FunctionTable.h"
#include "table/ImportSource.h"

using namespace zandrel;

namespace {

const char kUsage[] =
    "Usage:\n"
    "  zandrel-cli symbols LIB\n"
    "  zandrel-cli import LIB [--convention STDCALL|CDECL|FASTCALL] [--no-alias] [-o FILE]\n"
    "  zandrel-cli machine FILE\n"
    "  zandrel-cli --help | --version\n";

const char kHelp[] =
    "zandrel-cli reads an import library (a COFF archive such as user32.lib) and prints what\n"
    "Zandrel shows for it.\n"
    "\n"
    "  symbols LIB   one line per function: the symbol name, a tab, the parameter count,\n"
    "                a tab, the function name in the host language.\n"
    "  import LIB    the import block Zandrel generates right after opening LIB: all rows\n"
    "                selected, default cells, library name = file name of LIB.\n"
    "      --convention STDCALL|CDECL|FASTCALL   calling convention (default STDCALL)\n"
    "      --no-alias                            declarations without the \"As\" alias\n"
    "      -o FILE                               write to FILE instead of standard output\n"
    "                The \"; created:\" line shows the local time, or the moment given by\n"
    "                SOURCE_DATE_EPOCH (seconds since 1970, shown in UTC) when it is set.\n"
    "  machine FILE  X86 or X64 for a 32-bit or 64-bit PE image (DLL or EXE); otherwise\n"
    "                NotAnImage or Unreadable, with exit status 1.\n"
    "\n"
    "Exit status: 0 success, 1 the file could not be read or is not what was expected,\n"
    "2 wrong usage.\n";

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
    if (status == ReadStatus::TruncatedNames)
        std::fprintf(stderr, "zandrel-cli: %s: warning: %s\n", path.c_str(), ReadStatusText(status));
    return true;
}

bool WriteAll(std::FILE* f, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
}

int Symbols(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    SymbolList symbols;
    if (!LoadSymbols(args[0], symbols)) return 1;
    std::string out;
    for (const SymbolEntry& e : symbols) {
        FunctionRow row = DefaultRowCells(e);
        out += e.Name + "\t" + std::to_string(e.ParamCount) + "\t" + row[ColPBFunctionName] + "\n";
    }
    if (!WriteAll(stdout, out)) {
        Fail("<stdout>", "write failed");
        return 1;
    }
    return 0;
}

int Import(const std::vector<std::string>& args) {
    std::string lib, output;
    bool have_output = false;
    ImportOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--convention") {
            if (++i == args.size()) return Usage();
            const std::string& c = args[i];
            if (c != "STDCALL" && c != "CDECL" && c != "FASTCALL") return Usage();
            options.CallingConvention = c;
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
    SymbolList symbols;
    if (!LoadSymbols(lib, symbols)) return 1;
    options.LibName = FilePart(lib);
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
    return Usage();
}
