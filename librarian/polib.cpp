// polib: builds a Microsoft-format import library from a DLL, as Zandrel runs it:
//   polib "<dll path>" /MACHINE:X86 /NOUND /OUT:<library name>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "base/Version.h"
#include "librarian/Librarian.h"

using namespace zandrel::librarian;

namespace {

const char kUsage[] =
    "Usage: polib \"<dll path>\" /MACHINE:X86|X64 [/NOUND] /OUT:<library name>\n"
    "       polib /? | -h | --help | --version\n";

const char kHelp[] =
    "polib reads the export directory of a DLL and writes a Microsoft-format import library for\n"
    "it into the current folder, for linking programs against that DLL.\n"
    "\n"
    "  /MACHINE:X86   32-bit library: public names carry the C \"_\" (\"_MessageBoxA\"); a\n"
    "                 function whose code shows it is stdcall with a known number of\n"
    "                 parameter bytes gets the full decoration (\"_MessageBoxA@16\"); names\n"
    "                 the DLL exports decorated keep it (\"_Name@8\", \"@Name@8\", \"?...\";\n"
    "                 \"Name@8\" gets \"_Name@8\"). The linker imports the export name\n"
    "                 exactly as the DLL spells it\n"
    "  /MACHINE:X64   64-bit library: public names are the export names (they carry no\n"
    "                 counts, so the code is not read)\n"
    "  /NOUND         accepted; it is the only mode (no underscore is ever added to the name\n"
    "                 that is imported at run time)\n"
    "  /OUT:name      the library's file name; it comes last and takes the rest of the line,\n"
    "                 so a name with blanks needs no quotes\n"
    "\n"
    "The code is read, never run, and only where it is certain does a name get a byte count.\n"
    "Forwarded exports are followed into DLLs found beside this one.\n"
    "\n"
    "Every named export gets an import object: code exports the public name and its __imp_\n"
    "pointer, data exports (those in sections that are not executable) only the __imp_\n"
    "pointer. Forwarded exports are imported from this DLL like any other. Exports that have\n"
    "only an ordinal and no name are left out: there is no name to link them by.\n"
    "\n"
    "A DLL for another machine than the one asked for (an ARM64 DLL with /MACHINE:X64, say)\n"
    "is refused: its library would link but never load.\n"
    "\n"
    "The library is written under a temporary name and then put in the place of any older one\n"
    "in one step, so a failure never leaves a partial library nor loses the older one.\n"
    "SOURCE_DATE_EPOCH (seconds since 1970), when set, fixes the time stamps for reproducible\n"
    "output.\n"
    "\n"
    "Exit status: 0 success, 1 the DLL could not be read or is for another machine, or the\n"
    "library could not be written, 2 wrong usage.\n";

std::uint32_t Timestamp() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch)
        return static_cast<std::uint32_t>(std::strtoull(epoch, nullptr, 10));
    return static_cast<std::uint32_t>(std::time(nullptr));
}

int Run(const std::vector<std::string>& args) {
    PolibCommand cmd = ParsePolibCommand(args);
    switch (cmd.Action) {
    case PolibCommand::Help:
        std::fputs(kHelp, stdout);
        std::fputs("\n", stdout);
        std::fputs(kUsage, stdout);
        return 0;
    case PolibCommand::Version:
        std::printf("polib (Zandrel) %s\n", ZANDREL_VERSION);
        return 0;
    case PolibCommand::Usage:
        std::fprintf(stderr, "polib: %s\n%s", cmd.Error.c_str(), kUsage);
        return 2;
    case PolibCommand::Build:
        break;
    }
    BuildReport report;
    std::string error;
    // The program reads the counts the library cannot carry itself, beside this run.
    if (!BuildImportLibraryFile(cmd.Dll, cmd.Target, cmd.Out, Timestamp(), report, error, {}, false)) {
        std::fprintf(stderr, "polib: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& w : report.Warnings)
        std::fprintf(stderr, "polib: %s: warning: %s\n", cmd.Dll.c_str(), w.c_str());
    std::printf("%s: %zu functions, %zu data, %zu ordinal-only exports left out\n", cmd.Out.c_str(),
                report.Functions, report.Data, report.OrdinalOnly);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "polib: out of memory\n");
        return 1;
    }
}
