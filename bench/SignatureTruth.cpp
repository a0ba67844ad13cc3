#include "SignatureTruth.h"

#include <cctype>

using zandrel::librarian::CallConvention;
using zandrel::librarian::Certainty;
using zandrel::librarian::Signature;

namespace zbench {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Next blank-separated word; empty at the end.
std::string_view NextWord(std::string_view& s) {
    s = Trim(s);
    std::size_t n = 0;
    while (n < s.size() && !IsSpace(s[n])) ++n;
    std::string_view w = s.substr(0, n);
    s.remove_prefix(n);
    return w;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::vector<std::string> SplitComma(std::string_view s) {
    std::vector<std::string> out;
    while (!s.empty()) {
        std::size_t p = s.find(',');
        out.emplace_back(s.substr(0, p));
        if (p == std::string_view::npos) break;
        s.remove_prefix(p + 1);
    }
    return out;
}

bool TypeFromWord(std::string_view w, SpecEntry::Type& t) {
    using T = SpecEntry::Type;
    static const struct {
        const char* word;
        T type;
    } kTypes[] = {{"stdcall", T::Stdcall}, {"cdecl", T::Cdecl},   {"varargs", T::Varargs},
                  {"thiscall", T::Thiscall}, {"pascal", T::Pascal}, {"stub", T::Stub},
                  {"extern", T::Extern},   {"equate", T::Equate}, {"variable", T::Variable}};
    for (const auto& k : kTypes)
        if (w == k.word) {
            t = k.type;
            return true;
        }
    return false;
}

// The machine names a -arch= entry may use for each of ours.
bool Names(Machine m, std::string_view cpu) {
    if (m == Machine::X86) return cpu == "i386" || cpu == "win32";
    return cpu == "x86_64" || cpu == "win64";
}

}  // namespace

bool ParseSpecLine(std::string_view line, SpecEntry& out) {
    out = SpecEntry{};
    std::string_view rest = line;
    std::string_view ordinal = NextWord(rest);
    if (ordinal.empty()) return false;
    if (ordinal != "@" && !AllDigits(ordinal)) return false;  // apiset lines, garbage
    out.Ordinal = std::string(ordinal);
    if (!TypeFromWord(NextWord(rest), out.Kind)) return false;

    // Flags, each starting with '-'.
    for (;;) {
        rest = Trim(rest);
        if (rest.empty() || rest.front() != '-') break;
        std::string_view flag = NextWord(rest);
        if (flag.substr(0, 6) == "-arch=") {
            for (auto& a : SplitComma(flag.substr(6))) out.Arch.push_back(a);
        } else if (flag == "-i386") {  // the old spelling of -arch=i386
            out.Arch.push_back("i386");
        } else if (flag == "-noname") {
            out.Noname = true;
        } else if (flag == "-fastcall") {
            out.Fastcall = true;
        } else if (flag == "-thiscall") {
            out.Kind = SpecEntry::Type::Thiscall;
        } else if (flag == "-register") {
            out.Register = true;
        }
        // -private, -norelay, -ret16, -ret64, -ordinal, -import, -syscall change nothing the
        // benchmark measures.
    }
    rest = Trim(rest);
    if (rest.empty()) return false;

    switch (out.Kind) {
    case SpecEntry::Type::Extern: {
        out.Name = std::string(NextWord(rest));
        out.Handler = std::string(NextWord(rest));
        out.Forwarder = out.Handler.find('.') != std::string::npos;
        return true;
    }
    case SpecEntry::Type::Equate:
        out.Name = std::string(NextWord(rest));
        return true;
    default:
        break;
    }

    // NAME, then an argument list in parentheses (optional for a stub), then the handler.
    std::size_t open = rest.find('(');
    std::size_t blank = 0;
    while (blank < rest.size() && !IsSpace(rest[blank])) ++blank;
    if (open == std::string_view::npos || open > blank) {
        if (out.Kind != SpecEntry::Type::Stub) return false;
        out.Name = std::string(NextWord(rest));
        return true;
    }
    out.Name = std::string(Trim(rest.substr(0, open)));
    if (out.Name.empty()) return false;
    std::size_t close = rest.find(')', open);
    if (close == std::string_view::npos) return false;
    std::string_view args = rest.substr(open + 1, close - open - 1);
    for (std::string_view a = NextWord(args); !a.empty(); a = NextWord(args)) out.Args.emplace_back(a);
    rest.remove_prefix(close + 1);
    out.Handler = std::string(NextWord(rest));
    // "dll.Function" forwards; a C handler never holds a dot. (A stub's handler is meaningless.)
    out.Forwarder = out.Kind != SpecEntry::Type::Stub && out.Handler.find('.') != std::string::npos;
    return true;
}

std::vector<SpecEntry> ParseSpec(std::string_view text, int* bad) {
    std::vector<SpecEntry> out;
    std::string logical;
    auto finish = [&] {
        std::string_view l = Trim(logical);
        if (!l.empty()) {
            SpecEntry e;
            if (ParseSpecLine(l, e))
                out.push_back(std::move(e));
            else if (bad && l.substr(0, 6) != "apiset")
                ++*bad;
        }
        logical.clear();
    };
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        bool continued = !line.empty() && line.back() == '\\';
        if (continued) line.remove_suffix(1);
        logical.append(line);
        logical.push_back(' ');
        if (!continued) finish();
    }
    finish();
    return out;
}

bool AppliesTo(const SpecEntry& e, Machine m) {
    if (e.Arch.empty()) return true;
    bool anyPositive = false, named = false, excluded = false;
    for (const std::string& a : e.Arch) {
        if (!a.empty() && a[0] == '!') {
            if (Names(m, std::string_view(a).substr(1))) excluded = true;
        } else {
            anyPositive = true;
            if (Names(m, a)) named = true;
        }
    }
    if (excluded) return false;
    return anyPositive ? named : true;
}

std::uint32_t SlotsOf(std::string_view arg) {
    if (arg == "int64" || arg == "double") return 2;
    if (arg == "int128") return 4;
    return 1;
}

Truth TruthFor(const SpecEntry& e, Machine m) {
    using T = SpecEntry::Type;
    using K = Truth::Kind;
    Truth t;
    switch (e.Kind) {
    case T::Stub: t.What = K::Stub; return t;
    case T::Extern:
    case T::Equate:
    case T::Variable: t.What = e.Forwarder ? K::Forwarder : K::Data; return t;
    case T::Pascal: t.What = K::Win16; return t;
    default: break;
    }
    if (e.Forwarder) {
        t.What = K::Forwarder;
        return t;
    }
    if (m == Machine::X64) {
        t.What = e.Kind == T::Varargs ? K::Varargs : K::X64;
        t.Count = static_cast<std::uint32_t>(e.Args.size());
        return t;
    }
    std::uint32_t slots = 0;
    for (const std::string& a : e.Args) slots += SlotsOf(a);
    t.Count = slots;
    if (e.Kind == T::Varargs) {
        t.What = K::Varargs;
    } else if (e.Kind == T::Cdecl) {
        t.What = K::Cdecl;
    } else if (e.Kind == T::Thiscall) {
        // `this` travels in ecx; the rest is on the stack, popped by the callee.
        t.What = K::Thiscall;
        t.Count = e.Args.empty() ? 0 : slots - SlotsOf(e.Args.front());
    } else if (e.Fastcall) {
        // The first two arguments of one slot go in ecx and edx; wider ones stay on the stack.
        t.What = K::Fastcall;
        int inRegisters = 0;
        for (const std::string& a : e.Args)
            if (inRegisters < 2 && SlotsOf(a) == 1 && a != "float") {
                ++inRegisters;
                --t.Count;
            }
    } else {
        t.What = K::Stdcall;
    }
    return t;
}

bool IsFunction(Truth::Kind k) {
    using K = Truth::Kind;
    return k == K::Stdcall || k == K::Cdecl || k == K::Varargs || k == K::Thiscall || k == K::Fastcall ||
           k == K::X64;
}

const char* TruthKindText(Truth::Kind k) {
    using K = Truth::Kind;
    switch (k) {
    case K::Stdcall: return "stdcall";
    case K::Cdecl: return "cdecl";
    case K::Varargs: return "varargs";
    case K::Thiscall: return "thiscall";
    case K::Fastcall: return "fastcall";
    case K::X64: return "x64";
    case K::Stub: return "stub";
    case K::Forwarder: return "forwarder";
    case K::Data: return "data";
    case K::Win16: return "win16";
    }
    return "?";
}

const char* VerdictText(Verdict v) {
    switch (v) {
    case Verdict::Exact: return "exact";
    case Verdict::LowerBound: return "lower bound";
    case Verdict::Unknown: return "unknown";
    case Verdict::TooHigh: return "too high";
    case Verdict::TooLow: return "too low";
    case Verdict::WrongConvention: return "wrong convention";
    }
    return "?";
}

Verdict Classify(const Truth& t, Machine m, const Signature& s) {
    if (s.Sure == Certainty::Unknown) return Verdict::Unknown;
    using K = Truth::Kind;
    CallConvention want;
    if (m == Machine::X64)
        want = CallConvention::X64;
    else if (t.What == K::Cdecl || t.What == K::Varargs)
        want = CallConvention::Cdecl;
    else
        want = CallConvention::Stdcall;  // stdcall, and what thiscall and fastcall pop

    bool conventionOk = s.Convention == CallConvention::Unknown || s.Convention == want;
    // Nothing on the stack: `ret` and `ret 0` are the same call.
    if (m == Machine::X86 && t.Count == 0 && s.Count == 0 &&
        (s.Convention == CallConvention::Stdcall || s.Convention == CallConvention::Cdecl))
        conventionOk = true;

    if (s.Sure == Certainty::Exact) {
        if (s.Count > t.Count) return Verdict::TooHigh;
        if (s.Count < t.Count) return Verdict::TooLow;
        return conventionOk ? Verdict::Exact : Verdict::WrongConvention;
    }
    // A lower bound.
    if (s.Count > t.Count) return Verdict::TooHigh;
    return conventionOk ? Verdict::LowerBound : Verdict::WrongConvention;
}

bool ParseMingwStdcall(std::string_view symbol, std::string& name, std::uint32_t& slots) {
    if (symbol.size() < 4 || symbol[0] != '_' || symbol.substr(0, 6) == "__imp_") return false;
    std::size_t at = symbol.rfind('@');
    if (at == std::string_view::npos || at < 2) return false;
    std::string_view digits = symbol.substr(at + 1);
    if (!AllDigits(digits) || digits.size() > 6) return false;
    std::uint32_t bytes = static_cast<std::uint32_t>(std::stoul(std::string(digits)));
    if (bytes % 4 != 0) return false;
    std::string_view base = symbol.substr(1, at - 1);
    // C++ names keep their own '@'s and '?'; a decoration never follows them.
    if (base.find('@') != std::string_view::npos || base.find('?') != std::string_view::npos) return false;
    name = std::string(base);
    slots = bytes / 4;
    return true;
}

std::map<std::string, Signature> ParseGendef(std::string_view def, const std::vector<std::string>& known) {
    std::map<std::string, bool> names;
    for (const std::string& k : known) names.emplace(k, true);
    std::map<std::string, Signature> out;
    bool inExports = false;
    while (!def.empty()) {
        std::size_t nl = def.find('\n');
        std::string_view line = def.substr(0, nl);
        def.remove_prefix(nl == std::string_view::npos ? def.size() : nl + 1);
        std::string_view comment;
        if (std::size_t semi = line.find(';'); semi != std::string_view::npos) {
            comment = line.substr(semi + 1);
            line = line.substr(0, semi);
        }
        line = Trim(line);
        if (line.empty()) continue;
        if (line == "EXPORTS") {
            inExports = true;
            continue;
        }
        if (!inExports) continue;
        std::string_view rest = line;
        std::string_view token = NextWord(rest);
        rest = Trim(rest);
        if (!rest.empty() && rest.front() == '=') continue;  // forwarder
        if (rest.find("DATA") != std::string_view::npos) continue;
        bool check = comment.find("Check!!!") != std::string_view::npos;

        Signature s;  // unknown unless a count is given
        std::string name;
        if (names.count(std::string(token))) {
            name = std::string(token);
            // A C++ name already holds '@'s, so gendef gives its count in a comment.
            const std::string_view tag = "has WINAPI (@";
            if (std::size_t p = comment.find(tag); p != std::string_view::npos && !check) {
                std::string_view n = comment.substr(p + tag.size());
                std::size_t e = 0;
                while (e < n.size() && n[e] >= '0' && n[e] <= '9') ++e;
                if (e > 0 && e <= 6) {
                    s.Convention = CallConvention::Stdcall;
                    s.Sure = Certainty::Exact;
                    s.Count = static_cast<std::uint32_t>(std::stoul(std::string(n.substr(0, e)))) / 4;
                }
            }
        } else {
            std::size_t at = token.rfind('@');
            if (at == std::string_view::npos || !AllDigits(token.substr(at + 1)) || token.size() - at > 7)
                continue;
            name = std::string(token.substr(0, at));
            if (!names.count(name)) continue;  // ordinal-only "ord_12@8" and the like
            if (!check) {
                s.Convention = CallConvention::Stdcall;
                s.Sure = Certainty::Exact;
                s.Count = static_cast<std::uint32_t>(std::stoul(std::string(token.substr(at + 1)))) / 4;
            }
        }
        out[name] = s;
    }
    return out;
}

std::string TruthText(const Truth& t) {
    std::string s = TruthKindText(t.What);
    if (IsFunction(t.What)) {
        s += " " + std::to_string(t.Count);
        if (t.What == Truth::Kind::Varargs) s += "+";
    }
    return s;
}

namespace {
const char* ConventionWord(CallConvention c) {
    switch (c) {
    case CallConvention::Stdcall: return "stdcall";
    case CallConvention::Cdecl: return "cdecl";
    case CallConvention::X64: return "x64";
    case CallConvention::Unknown: break;
    }
    return "unknown";
}
}  // namespace

std::string SignatureText(const Signature& s) {
    std::string out;
    switch (s.Sure) {
    case Certainty::Unknown:
        return s.Convention == CallConvention::Unknown ? "unknown"
                                                       : std::string("unknown (") + ConventionWord(s.Convention) + ")";
    case Certainty::LowerBound: out = "at least "; break;
    case Certainty::Exact: out = "exact "; break;
    }
    out += ConventionWord(s.Convention);
    out += " " + std::to_string(s.Count);
    if (s.Variadic) out += " variadic";
    return out;
}

}  // namespace zbench
