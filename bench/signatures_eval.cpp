// How often InferSignatures gets a DLL's parameter counts right, measured against truths nobody
// here wrote: the argument lists of Wine's .spec files for Wine's own DLLs of both machines, and
// for 32-bit stdcall also the decorated names of MinGW's import libraries. gendef's answers on the
// same DLLs stand beside ours. scripts/signatures-eval.sh fetches the truths and runs this; the
// options are listed by --help.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "SignatureTruth.h"
#include "librarian/ImportLibrary.h"
#include "librarian/PeExports.h"
#include "librarian/Signatures.h"
#include "readers/ImportLib.h"
#include "readers/Symbols.h"

namespace fs = std::filesystem;
using namespace zbench;
using zandrel::librarian::CallConvention;
using zandrel::librarian::Certainty;
using zandrel::librarian::PeExports;
using zandrel::librarian::Signature;

namespace {

const char kUsage[] =
    "usage: signatures_eval --spec-dir DIR [--x86-dir DIR] [--x64-dir DIR] [--mingw-dir DIR]\n"
    "                       [--gendef-dir DIR] [--label TEXT] [--dll NAME[,NAME...]]...\n"
    "                       [--wrong] [--list VERDICT[,VERDICT...]] [--disagreements]\n"
    "                       [--markdown]\n"
    "  --spec-dir    Wine's dlls/ source folder: DIR/NAME/NAME.spec for each module\n"
    "  --x86-dir     Wine's 32-bit Windows modules (i386-windows)\n"
    "  --x64-dir     Wine's 64-bit Windows modules (x86_64-windows)\n"
    "  --mingw-dir   MinGW's 32-bit import libraries (libNAME.a), a second truth for stdcall\n"
    "  --gendef-dir  gendef's output for the 32-bit modules, one FILE.def per module FILE\n"
    "  --label       names the truth's version in the heading\n"
    "  --dll         only these modules (file name, with or without .dll)\n"
    "  --wrong       lists every wrong answer of ours: machine, module, name, truth, ours\n"
    "  --list        lists ours of these verdicts: exact, lower, unknown, high, low, convention, wrong\n"
    "  --disagreements  lists the functions where MinGW's names and Wine's .spec differ\n"
    "  --markdown    prints the table as Markdown\n";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ReadWhole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Processor time is the figure: this machine is shared, and the wall clock counts the others'
// work too. The program does its work in one thread, so the process's time is the engine's.
struct Stamp {
    std::chrono::steady_clock::time_point wall;
    std::clock_t cpu;
    static Stamp Now() { return {std::chrono::steady_clock::now(), std::clock()}; }
};
struct Spent {
    double cpu = 0, wall = 0;
    void AddSince(const Stamp& t0) {
        Stamp t1 = Stamp::Now();
        cpu += static_cast<double>(t1.cpu - t0.cpu) / CLOCKS_PER_SEC;
        wall += std::chrono::duration<double>(t1.wall - t0.wall).count();
    }
    Spent& operator-=(const Spent& o) {
        cpu -= o.cpu;
        wall -= o.wall;
        return *this;
    }
    Spent& operator+=(const Spent& o) {
        cpu += o.cpu;
        wall += o.wall;
        return *this;
    }
};

struct Tally {
    long n = 0;
    long v[kVerdicts] = {};
    void Add(Verdict x) {
        ++n;
        ++v[static_cast<int>(x)];
    }
    long Wrong() const {
        return v[int(Verdict::TooHigh)] + v[int(Verdict::TooLow)] + v[int(Verdict::WrongConvention)];
    }
    double Pct(long k) const { return n ? 100.0 * k / n : 0.0; }
};

// A row of the table: one machine, one truth source, one convention; ours and gendef's.
struct Row {
    Tally ours, gendef;
    bool hasGendef = false;
};

// Everything left out of the rows, and what it took.
struct MachineStats {
    int modules = 0, notPe = 0, noSpec = 0;
    long named = 0, noEntry = 0, stubs = 0, specForwarders = 0, peForwarders = 0, data = 0, win16 = 0;
    long noname = 0, absent = 0;
    long varargsFlagged = 0, varargsTotal = 0, otherFlagged = 0;
    Spent infer, loader;
    long inferExports = 0;
};

struct Options {
    std::string specDir, x86Dir, x64Dir, mingwDir, gendefDir, label;
    std::set<std::string> only;
    std::set<Verdict> list;
    bool disagreements = false;
    bool markdown = false;  // the table as Markdown, for docs/SIGNATURES.md
};

// Finds the images forwarders name beside the module, keeps them for the next forwarder, and
// says how long the reading took so it can be taken out of the engine's time.
class FolderLoader {
public:
    explicit FolderLoader(std::string dir) : dir_(std::move(dir)) {}
    bool Load(const std::string& dllName, zandrel::librarian::FileBytes& image) {
        Stamp t0 = Stamp::Now();
        std::string file = Lower(dllName);
        if (file.find('.') == std::string::npos) file += ".dll";
        auto it = cache_.find(file);
        if (it == cache_.end()) {
            std::string bytes;
            bool ok = file.find('/') == std::string::npos && ReadWhole(dir_ + "/" + file, bytes);
            it = cache_.emplace(file, std::make_pair(ok, zandrel::librarian::FileBytes(std::move(bytes)))).first;
        }
        readTime_.AddSince(t0);
        if (!it->second.first) return false;
        image = it->second.second;
        return true;
    }
    Spent TakeReadTime() {
        Spent d = readTime_;
        readTime_ = {};
        return d;
    }

private:
    std::string dir_;
    std::map<std::string, std::pair<bool, zandrel::librarian::FileBytes>> cache_;  // shared, not copied
    Spent readTime_;
};

// Whether the export becomes a row of the table, which leaves out compiler-mangled names.
bool Shown(Machine m, const zandrel::librarian::PeExport& e) {
    using LibMachine = zandrel::librarian::Machine;
    const LibMachine machine = m == Machine::X86 ? LibMachine::X86 : LibMachine::X64;
    return !zandrel::IsSkippedSymbol(zandrel::librarian::ImportFor(e, machine).Symbol);
}

struct Eval {
    Options opt;
    std::map<std::string, Row> rows;  // key: sort prefix + label
    std::map<std::string, Tally> shown;  // ours against the .spec, only rows the table shows; by label
    MachineStats stats[2];
    long exactClaims[2] = {}, exactWrong[2] = {};  // [0] ours, [1] gendef, against what Wine declares
    long mingwExactClaims[2] = {}, mingwExactWrong[2] = {};
    long zeroStdcall = 0, zeroOursExact = 0, zeroGendefExact = 0;
    long gendefBareWithParams = 0;  // bare gendef names of stdcall functions with parameters
    long truthsDisagree = 0;        // MinGW's decoration against Wine's spec
    int gendefMissing = 0;

    static std::string RowKey(Machine m, const std::string& source, Truth::Kind k) {
        // Order: machine, then the source, then the convention as listed in the enum.
        char order[8];
        std::snprintf(order, sizeof order, "%d%d%d", int(m), source == "spec" ? 0 : source == "mingw" ? 1 : 2,
                      k == Truth::Kind::X64 ? 0 : int(k) + 1);
        std::string kind = k == Truth::Kind::X64 ? "" : std::string(" ") + TruthKindText(k);
        return std::string(order) + "|" + (m == Machine::X86 ? "x86" : "x64") + kind +
               (source == "spec" ? "" : source == "mingw" ? " (MinGW names)" : " (forwarded)");
    }

    // The row's label, as printed: its key without the sort prefix.
    static std::string LabelOf(const std::string& key) { return key.substr(key.find('|') + 1); }

    void Listing(Machine m, const std::string& module, const std::string& name, const std::string& source,
                 const Truth& t, const Signature& s, Verdict v) {
        if (!opt.list.count(v)) return;
        std::printf("%s  %-16s %-40s %-6s truth %-14s ours %-24s %s\n", m == Machine::X86 ? "x86" : "x64",
                    module.c_str(), name.c_str(), source.c_str(), TruthText(t).c_str(), SignatureText(s).c_str(),
                    VerdictText(v));
    }

    void RunModule(Machine m, const std::string& dir, const std::string& file, FolderLoader& loader) {
        MachineStats& st = stats[int(m)];
        std::string lower = Lower(file);
        std::string base = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0
                               ? lower.substr(0, lower.size() - 4)
                               : lower;
        if (!opt.only.empty() && !opt.only.count(lower) && !opt.only.count(base)) return;
        std::string specText;
        if (!ReadWhole(opt.specDir + "/" + base + "/" + base + ".spec", specText)) {
            ++st.noSpec;
            return;
        }
        std::string image;
        PeExports exports;
        std::string reason;
        if (!ReadWhole(dir + "/" + file, image) || !zandrel::librarian::ReadPeExports(image, exports, reason)) {
            ++st.notPe;
            return;
        }
        ++st.modules;

        std::map<std::string, Truth> truth, forwardedTruth;
        std::set<std::string> exportedNames;
        for (const auto& e : exports.Named) exportedNames.insert(e.Name);
        for (const SpecEntry& e : ParseSpec(specText)) {
            if (!AppliesTo(e, m)) continue;
            if (e.Noname || e.Name == "@") {
                ++st.noname;
                continue;
            }
            Truth t = TruthFor(e, m);
            if (IsFunction(t.What) && !exportedNames.count(e.Name)) ++st.absent;
            if (t.What == Truth::Kind::Forwarder) {
                SpecEntry local = e;
                local.Forwarder = false;
                if (Truth f = TruthFor(local, m); IsFunction(f.What)) forwardedTruth.emplace(e.Name, f);
            }
            truth.emplace(e.Name, t);
        }

        loader.TakeReadTime();
        Stamp t0 = Stamp::Now();
        std::vector<Signature> ours = zandrel::librarian::InferSignatures(
            image, exports, [&loader](const std::string& n, zandrel::librarian::FileBytes& img) { return loader.Load(n, img); });
        Spent spent;
        spent.AddSince(t0);
        Spent read = loader.TakeReadTime();
        spent -= read;
        st.infer += spent;
        st.loader += read;
        st.inferExports += static_cast<long>(exports.Named.size());
        st.named += static_cast<long>(exports.Named.size());
        if (ours.size() != exports.Named.size()) {
            std::fprintf(stderr, "%s: InferSignatures gave %zu answers for %zu exports\n", file.c_str(), ours.size(),
                         exports.Named.size());
            ours.resize(exports.Named.size());
        }

        // gendef's claims, where it ran (32-bit only: on 64-bit modules it gives no counts).
        bool haveGendef = false;
        std::map<std::string, Signature> gendef;
        if (m == Machine::X86 && !opt.gendefDir.empty()) {
            std::string def;
            if (ReadWhole(opt.gendefDir + "/" + file + ".def", def)) {
                std::vector<std::string> names(exportedNames.begin(), exportedNames.end());
                gendef = ParseGendef(def, names);
                haveGendef = true;
            } else {
                ++gendefMissing;
            }
        }
        auto gendefFor = [&](const std::string& name) {
            auto g = gendef.find(name);
            return g == gendef.end() ? Signature{} : g->second;
        };

        // MinGW's decorated names for this module.
        std::map<std::string, std::uint32_t> mingw;
        if (m == Machine::X86 && !opt.mingwDir.empty()) {
            zandrel::SymbolList symbols;
            // The library is named for the module without its extension: winspool.drv has
            // libwinspool.a.
            std::string stem = lower.substr(0, lower.rfind('.'));
            std::string lib = opt.mingwDir + "/lib" + stem + ".a";
            if (fs::exists(lib) && !zandrel::IsReadFailure(zandrel::ReadLibFile(lib, symbols))) {
                for (const auto& sym : symbols) {
                    std::string name;
                    std::uint32_t slots = 0;
                    if (ParseMingwStdcall(sym.Name, name, slots)) mingw.emplace(name, slots);
                }
            }
        }

        for (std::size_t i = 0; i < exports.Named.size(); ++i) {
            const auto& e = exports.Named[i];
            const Signature& s = ours[i];
            auto tr = truth.find(e.Name);
            bool stub = tr != truth.end() && tr->second.What == Truth::Kind::Stub;
            bool forwarder = !e.Forwarder.empty() || (tr != truth.end() && tr->second.What == Truth::Kind::Forwarder);

            // The second truth: MinGW's decorations, stubs and forwarders left out here too.
            if (auto mg = mingw.find(e.Name); mg != mingw.end() && !stub && !forwarder) {
                Truth t{Truth::Kind::Stdcall, mg->second};
                Row& row = rows[RowKey(m, "mingw", Truth::Kind::Stdcall)];
                Verdict v = Classify(t, m, s);
                row.ours.Add(v);
                Listing(m, file, e.Name, "mingw", t, s, v);
                if (s.Sure == Certainty::Exact) {
                    ++mingwExactClaims[0];
                    if (v != Verdict::Exact) ++mingwExactWrong[0];
                }
                if (haveGendef) {
                    Signature g = gendefFor(e.Name);
                    Verdict gv = Classify(t, m, g);
                    row.hasGendef = true;
                    row.gendef.Add(gv);
                    if (g.Sure == Certainty::Exact) {
                        ++mingwExactClaims[1];
                        if (gv != Verdict::Exact) ++mingwExactWrong[1];
                    }
                }
                // Thiscall and fastcall pop their stack slots as stdcall does; only a count, or a
                // caller that pops, is a disagreement (none without parameters: the same call).
                const Truth& st2 = tr != truth.end() ? tr->second : Truth{};
                bool callerPops = st2.What == Truth::Kind::Cdecl || st2.What == Truth::Kind::Varargs;
                if (tr != truth.end() && IsFunction(st2.What) &&
                    (st2.Count != mg->second || (callerPops && st2.Count > 0))) {
                    ++truthsDisagree;
                    if (opt.disagreements)
                        std::printf("x86  %-16s %-40s .spec %-14s MinGW stdcall %u\n", file.c_str(), e.Name.c_str(),
                                    TruthText(tr->second).c_str(), mg->second);
                }
            }

            if (tr == truth.end()) {
                ++st.noEntry;
                continue;
            }
            const Truth& t = tr->second;
            if (stub) {
                ++st.stubs;
                continue;
            }
            if (forwarder) {
                if (t.What == Truth::Kind::Forwarder)
                    ++st.specForwarders;
                else
                    ++st.peForwarders;
                // Where the .spec gives the arguments, the answer through the forwarder is shown apart.
                if (auto f = forwardedTruth.find(e.Name); f != forwardedTruth.end()) {
                    const Verdict fv = Classify(f->second, m, s);
                    rows[RowKey(m, "forwarded", f->second.What)].ours.Add(fv);
                    Listing(m, file, e.Name, "forwarded", f->second, s, fv);
                }
                continue;
            }
            if (t.What == Truth::Kind::Data) {
                ++st.data;
                continue;
            }
            if (t.What == Truth::Kind::Win16) {
                ++st.win16;
                continue;
            }

            Verdict v = Classify(t, m, s);
            const std::string key = RowKey(m, "spec", t.What);
            Row& row = rows[key];
            row.ours.Add(v);
            if (Shown(m, e)) shown[LabelOf(key)].Add(v);
            Listing(m, file, e.Name, "spec", t, s, v);
            if (s.Sure == Certainty::Exact) {
                ++exactClaims[0];
                if (v != Verdict::Exact) ++exactWrong[0];
            }
            if (t.What == Truth::Kind::Varargs) {
                ++st.varargsTotal;
                if (s.Variadic) ++st.varargsFlagged;
            } else if (s.Variadic) {
                ++st.otherFlagged;
            }
            Verdict gv = Verdict::Unknown;
            if (haveGendef) {
                Signature g = gendefFor(e.Name);
                gv = Classify(t, m, g);
                row.hasGendef = true;
                row.gendef.Add(gv);
                if (g.Sure == Certainty::Exact) {
                    ++exactClaims[1];
                    if (gv != Verdict::Exact) ++exactWrong[1];
                }
                if (t.What == Truth::Kind::Stdcall && t.Count > 0 && g.Sure == Certainty::Unknown &&
                    gendef.count(e.Name))
                    ++gendefBareWithParams;
            }
            if (m == Machine::X86 && t.What == Truth::Kind::Stdcall && t.Count == 0) {
                ++zeroStdcall;
                if (v == Verdict::Exact) ++zeroOursExact;
                if (gv == Verdict::Exact) ++zeroGendefExact;
            }
        }
    }

    void RunMachine(Machine m, const std::string& dir) {
        if (dir.empty()) return;
        std::vector<std::string> files;
        std::error_code ec;
        for (const auto& ent : fs::directory_iterator(dir, ec))
            if (ent.is_regular_file()) files.push_back(ent.path().filename().string());
        if (ec) {
            std::fprintf(stderr, "signatures_eval: %s: %s\n", dir.c_str(), ec.message().c_str());
            return;
        }
        std::sort(files.begin(), files.end());
        FolderLoader loader(dir);
        for (const std::string& f : files) RunModule(m, dir, f, loader);
    }

    void Cell(const Tally& t, long k) const {
        if (opt.markdown)
            std::printf(" %.2f %% (%ld) |", t.Pct(k), k);
        else
            std::printf(" %6.2f%% %6ld", t.Pct(k), k);
    }

    void Line(const char* label, const char* who, const Tally& t) const {
        if (opt.markdown)
            std::printf("| %s | %s | %ld |", label, who, t.n);
        else
            std::printf("%-28s %-6s %7ld", label, who, t.n);
        for (Verdict v : {Verdict::Exact, Verdict::LowerBound, Verdict::Unknown}) Cell(t, t.v[int(v)]);
        Cell(t, t.Wrong());
        for (Verdict v : {Verdict::TooHigh, Verdict::TooLow, Verdict::WrongConvention}) Cell(t, t.v[int(v)]);
        std::printf("\n");
    }

    static std::string OneIn(long claims, long wrong) {
        if (claims == 0) return "no exact answers";
        char buf[96];
        if (wrong == 0)
            std::snprintf(buf, sizeof buf, "%ld exact answers, none wrong", claims);
        else
            std::snprintf(buf, sizeof buf, "%ld exact answers, %ld wrong: 1 in %.0f", claims, wrong,
                          static_cast<double>(claims) / wrong);
        return buf;
    }

    void Print() {
        std::printf("\nParameter counts of Wine's own modules against %s\n",
                    opt.label.empty() ? "Wine's .spec files" : opt.label.c_str());
        if (opt.markdown)
            std::printf("\n| | | N | exact | lower bound | unknown | wrong | too high | too low | convention |\n"
                        "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|\n");
        else
            std::printf("%-28s %-6s %7s %15s %15s %15s %15s %15s %15s %15s\n", "", "", "N", "exact", "lower bound",
                        "unknown", "wrong", "too high", "too low", "convention");
        for (const auto& [key, row] : rows) {
            const std::string label = LabelOf(key);
            Line(label.c_str(), "ours", row.ours);
            if (row.hasGendef) Line("", "gendef", row.gendef);
        }
        std::printf("\n'wrong' = too high + too low + convention. Rows marked (forwarded) are outside every other "
                    "figure.\n");
        for (Machine m : {Machine::X86, Machine::X64}) {
            const MachineStats& s = stats[int(m)];
            if (s.modules == 0 && s.notPe == 0) continue;
            std::printf("\n%s: %d modules with a .spec (%d more without one, %d not readable as PE exports), "
                        "%ld named exports\n",
                        m == Machine::X86 ? "x86" : "x64", s.modules, s.noSpec, s.notPe, s.named);
            std::printf("  left out: %ld stubs, %ld forwarders by the .spec, %ld more forwarders in the image, "
                        "%ld data, %ld 16-bit, %ld without a .spec entry\n",
                        s.stubs, s.specForwarders, s.peForwarders, s.data, s.win16, s.noEntry);
            std::printf("  not exported by name: %ld -noname entries, %ld other functions of the .spec\n", s.noname,
                        s.absent);
            std::printf("  variadic flag: on %ld of %ld varargs functions, on %ld others\n", s.varargsFlagged,
                        s.varargsTotal, s.otherFlagged);
            double perExport = s.inferExports ? 1e6 * s.infer.cpu / s.inferExports : 0.0;
            std::printf("  time in InferSignatures: %.2f s of processor time for %ld exports, %.1f us per export "
                        "(wall clock %.2f s; reading forwarded-to images, %.2f s, not included)\n",
                        s.infer.cpu, s.inferExports, perExport, s.infer.wall, s.loader.cpu);
        }
        std::printf("\nExact answers against the .spec files: ours %s", OneIn(exactClaims[0], exactWrong[0]).c_str());
        if (exactClaims[1] || gendefMissing < stats[0].modules)
            std::printf("; gendef %s", OneIn(exactClaims[1], exactWrong[1]).c_str());
        std::printf("\n");
        if (mingwExactClaims[0] || mingwExactClaims[1])
            std::printf("Exact answers against MinGW's names: ours %s; gendef %s\n",
                        OneIn(mingwExactClaims[0], mingwExactWrong[0]).c_str(),
                        OneIn(mingwExactClaims[1], mingwExactWrong[1]).c_str());
        if (zeroStdcall)
            std::printf("x86 stdcall without parameters: %ld; exact: ours %ld (%.1f%%), gendef %ld (%.1f%%)\n",
                        zeroStdcall, zeroOursExact, 100.0 * zeroOursExact / zeroStdcall, zeroGendefExact,
                        100.0 * zeroGendefExact / zeroStdcall);
        if (gendefBareWithParams)
            std::printf("gendef wrote %ld stdcall functions with parameters undecorated (counted unknown; read as "
                        "cdecl they would be wrong)\n",
                        gendefBareWithParams);
        if (truthsDisagree)
            std::printf("MinGW's names and Wine's .spec disagree on %ld functions\n", truthsDisagree);
        if (gendefMissing) std::printf("gendef's output missing for %d modules\n", gendefMissing);
        PrintGoals();
    }

    const Tally* Find(const std::string& label) const {
        for (const auto& [key, row] : rows)
            if (LabelOf(key) == label) return &row.ours;
        return nullptr;
    }

    // The targets the engine is held to, each with its figure.
    void PrintGoals() const {
        std::printf("\nGoals:\n");
        auto goal = [](const char* what, bool met, const std::string& figure) {
            std::printf("  %-58s %-8s %s\n", what, met ? "met" : "not met", figure.c_str());
        };
        char buf[128];
        if (const Tally* t = Find("x86 stdcall")) {
            double exact = t->Pct(t->v[int(Verdict::Exact)]), wrong = t->Pct(t->Wrong());
            std::snprintf(buf, sizeof buf, "%.2f%% exact, %.2f%% wrong", exact, wrong);
            goal("x86 stdcall: >= 98% exact, <= 0.1% wrong", exact >= 98.0 && wrong <= 0.1, buf);
        }
        for (const char* label : {"x86 cdecl", "x64"}) {
            if (const Tally* t = Find(label)) {
                double exact = t->Pct(t->v[int(Verdict::Exact)]), high = t->Pct(t->v[int(Verdict::TooHigh)]);
                double low = t->Pct(t->v[int(Verdict::TooLow)] + t->v[int(Verdict::WrongConvention)]);
                std::snprintf(buf, sizeof buf, "%.2f%% exact, %.2f%% too high, %.2f%% other wrong", exact, high, low);
                std::string what = std::string(label) + ": >= 90% exact, <= 2% too high, no other wrong";
                goal(what.c_str(), exact >= 90.0 && high <= 2.0 && low == 0.0, buf);
            }
        }
        // C++ functions are in the .spec files but never in the table.
        for (const char* label : {"x86 cdecl", "x64"}) {
            auto it = shown.find(label);
            if (it == shown.end()) continue;
            const Tally& t = it->second;
            std::printf("    %s, only the functions the table shows (%ld): %.2f%% exact, %.2f%% too high, "
                        "%.2f%% other wrong\n",
                        label, t.n, t.Pct(t.v[int(Verdict::Exact)]), t.Pct(t.v[int(Verdict::TooHigh)]),
                        t.Pct(t.v[int(Verdict::TooLow)] + t.v[int(Verdict::WrongConvention)]));
        }
        if (exactClaims[0]) {
            std::snprintf(buf, sizeof buf, "%ld of %ld wrong", exactWrong[0], exactClaims[0]);
            goal("an exact answer wrong in fewer than 1 case in 500", exactWrong[0] * 500 < exactClaims[0], buf);
        }
    }
};

bool ParseVerdicts(const std::string& list, std::set<Verdict>& out) {
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string w = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (w == "exact") out.insert(Verdict::Exact);
        else if (w == "lower") out.insert(Verdict::LowerBound);
        else if (w == "unknown") out.insert(Verdict::Unknown);
        else if (w == "high") out.insert(Verdict::TooHigh);
        else if (w == "low") out.insert(Verdict::TooLow);
        else if (w == "convention") out.insert(Verdict::WrongConvention);
        else if (w == "wrong") out.insert({Verdict::TooHigh, Verdict::TooLow, Verdict::WrongConvention});
        else return false;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Eval ev;
    Options& o = ev.opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "signatures_eval: %s needs a value\n%s", a.c_str(), kUsage);
                std::exit(2);
            }
            into = argv[++i];
        };
        std::string v;
        if (a == "--spec-dir") value(o.specDir);
        else if (a == "--x86-dir") value(o.x86Dir);
        else if (a == "--x64-dir") value(o.x64Dir);
        else if (a == "--mingw-dir") value(o.mingwDir);
        else if (a == "--gendef-dir") value(o.gendefDir);
        else if (a == "--label") value(o.label);
        else if (a == "--dll") {
            value(v);
            std::size_t pos = 0;
            for (;;) {
                std::size_t c = v.find(',', pos);
                std::string n = Lower(v.substr(pos, c == std::string::npos ? std::string::npos : c - pos));
                if (!n.empty()) o.only.insert(n);
                if (c == std::string::npos) break;
                pos = c + 1;
            }
        } else if (a == "--wrong") {
            o.list.insert({Verdict::TooHigh, Verdict::TooLow, Verdict::WrongConvention});
        } else if (a == "--markdown") {
            o.markdown = true;
        } else if (a == "--disagreements") {
            o.disagreements = true;
        } else if (a == "--list") {
            value(v);
            if (!ParseVerdicts(v, o.list)) {
                std::fprintf(stderr, "signatures_eval: unknown verdict in '%s'\n%s", v.c_str(), kUsage);
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "signatures_eval: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (o.specDir.empty() || !fs::is_directory(o.specDir)) {
        std::fprintf(stderr, "signatures_eval: no .spec folder given or found ('%s')\n%s", o.specDir.c_str(), kUsage);
        return 2;
    }
    ev.RunMachine(Machine::X86, o.x86Dir);
    ev.RunMachine(Machine::X64, o.x64Dir);
    ev.Print();
    return 0;
}
