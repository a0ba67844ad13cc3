// Parameter counts from machine code. Each export is followed from its entry along every path a
// compiler's layout allows, with the stack pointer (and the registers that hold addresses in the
// stack) tracked relative to the entry. What the paths together show about the argument area,
// the returns and (on x64) the argument registers becomes one Signature. Anything the walk cannot
// follow makes the result weaker, never a guess.
#include "librarian/Signatures.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include <Zydis/Decoder.h>
#include <Zydis/Register.h>
#include <Zydis/Utils.h>

#include "librarian/PeImage.h"

namespace zandrel::librarian {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i64 = std::int64_t;

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr int kSp = 4;  // esp/rsp in the encoding order of the general registers
constexpr int kBp = 5;

// What the walk knows of a general register: nothing (it holds no stack address), a stack
// address at a known offset from the entry's stack pointer, one at most that offset (after
// aligning), or some stack address it lost track of.
enum Kind : std::uint8_t { kNone, kExact, kAtMost, kLost, kImport };
// kImport: not a stack address but a function pointer loaded from an import slot (`off`), so a
// call through the register reaches the imported function.
inline bool Stacky(Kind k) { return k == kExact || k == kAtMost || k == kLost; }
// The walk's states carry no padding the compiler adds (the spare bytes are members, always
// zero), so a state's bytes are its value: states are hashed and compared as bytes.
struct Reg {
    constexpr Reg() = default;
    constexpr Reg(Kind k, std::int32_t o) : kind(k), off(o) {}
    Kind kind = kNone;
    std::uint8_t spare_[3] = {};
    std::int32_t off = 0;
    bool operator==(const Reg&) const = default;
};

struct State {
    std::array<Reg, 16> r{};
    // x64: how many bytes of rcx, rdx, r8, r9 this path wrote; bit k set: xmm k written.
    std::array<std::uint8_t, 4> gpr_written{};
    std::uint8_t xmm_written = 0;
    // x64: argument registers spilled to their home slots, not yet known to be used: evidence at
    // the path's end unless a va_list over them shows they were the variadic part.
    std::uint8_t pending = 0;
    std::uint8_t va_from = 0xFF;  // x64: first home slot walked as a va_list on this path
    bool r10_rcx = false;  // x64: r10 holds rcx as it came, as system call stubs copy it
    // x64: argument registers saved on the stack as they came (code: p general, 4+p xmm), so
    // that loading one back into its own register gives the argument again, unread.
    struct Save {
        std::int32_t off = 0;
        std::uint8_t code = 0xFF;
        Kind kind = kNone;
        std::uint8_t spare_[2] = {};
        bool operator==(const Save&) const = default;
    };
    std::array<Save, 8> saves{};
    // x64: argument positions whose register was written and not read since: set up for a call.
    std::uint8_t setup = 0;
    // x86: whether a `sub esp, N` now only makes up for what an unknown callee popped (below).
    bool compensate = false;
    // Bounds of a jump table's index: the last `cmp reg, imm`, and what a branch on it proved.
    std::uint8_t cmp_reg = 0xFF;
    std::uint8_t bound_reg = 0xFF;
    // Stack addresses pushed from a register, so a pop gives them back (x86 prologues that align
    // the stack keep the way back to the arguments so).
    struct Pushed {
        Reg value;
        std::int32_t at = 0;
        Kind at_kind = kNone;  // the stack pointer's, when pushed
        std::uint8_t spare_[3] = {};
        bool operator==(const Pushed&) const = default;
    };
    std::array<Pushed, 4> pushed{};
    // x86: bytes pushed since the stack pointer last moved otherwise (arguments pushed for a
    // call).
    std::uint16_t push_run = 0;
    std::uint8_t spare_[2] = {};
    u32 cmp_imm = 0;
    u32 bound = 0;
    bool operator==(const State& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};
static_assert(std::has_unique_object_representations_v<State>, "a state's bytes are its value");

// Made in place in their vectors (a state is some 300 bytes; a temporary would copy it twice).
struct SeenNode {
    SeenNode(const State& state, std::uint64_t h, std::uint32_t n) : s(state), hash(h), next(n) {}
    State s;
    std::uint64_t hash;
    std::uint32_t next;  // index + 1 of the next node of the same address, 0 at the end
};
// What the walk reads of a decoded instruction and its operands, under the decoder's names: a
// walk keeps thousands of instructions, and the decoder's own records are twice the size.
struct Instr {
    ZydisMnemonic mnemonic = ZYDIS_MNEMONIC_INVALID;
    struct {
        ZydisInstructionCategory category = ZYDIS_CATEGORY_INVALID;
    } meta;
    std::uint8_t length = 0;
    std::uint8_t operand_count = 0;  // once digested, those kept (KeepOperands)
    std::uint8_t operand_count_visible = 0;
    std::uint8_t operand_width = 0;
    // Judged once at decoding: the instruction moves the stack pointer itself (IsStackOp), and
    // it only sets a register to zero (IsZeroIdiom).
    bool stack_op = false;
    bool zero_idiom = false;
    // What every visit would otherwise work out again from the operands (Digest): the operands
    // that are memory the walk looks at, whether one touches memory or names the image, ...
    bool touches = false;
    std::uint16_t mem_ops = 0;  // bit i: operand i
    // ... the general registers the visible operands read and all operands write (the stack
    // pointer apart), and the argument positions and xmm0-3 surely written, ...
    std::uint16_t escape_gprs = 0;
    std::uint16_t write_gprs = 0;
    bool writes_sp = false;
    std::uint8_t sure_args = 0;
    std::uint8_t sure_xmm = 0;
    // ... what it reads of the argument registers: position p counts as read when fewer than
    // read_need[p] of its bytes were written; xmm k unwritten (bit k); r10 as copied from rcx ...
    std::array<std::uint8_t, 4> read_need{};
    std::uint8_t xmm_reads = 0;
    bool reads_r10 = false;
    // ... and, x64, the argument positions it reads and writes for Setups (unless it keeps them).
    bool setup_keep = false;
    std::uint8_t setup_read = 0, setup_written = 0;
};
// Only the part of the decoder's register, memory or immediate operand that its type names is
// kept (the decoder holds them in one union); the rest stays zero.
struct Operand {
    std::uint8_t type = ZYDIS_OPERAND_TYPE_UNUSED;
    std::uint8_t visibility = ZYDIS_OPERAND_VISIBILITY_INVALID;
    std::uint8_t actions = 0;
    std::uint16_t size = 0;
    // Beside each register its numbers as GprOf(), XmmId() and ArgPosition() (for the walk's
    // machine) give them, -1 for none.
    struct {
        ZydisRegister value = ZYDIS_REGISTER_NONE;
        std::int8_t gpr = -1, xmm = -1, arg = -1;
        std::uint8_t bytes = 0;  // the register's width
    } reg;
    struct {
        std::uint8_t type = ZYDIS_MEMOP_TYPE_INVALID;
        std::uint8_t scale = 0;
        std::int8_t base_gpr = -1, base_xmm = -1, base_arg = -1, index_gpr = -1, index_xmm = -1, index_arg = -1;
        ZydisRegister segment = ZYDIS_REGISTER_NONE, base = ZYDIS_REGISTER_NONE, index = ZYDIS_REGISTER_NONE;
        struct {
            i64 value = 0;
        } disp;
    } mem;
    struct {
        bool is_relative = false;
        union {
            u64 u;
            i64 s;
        } value{0};
    } imm;
};

// A place a walk has still to go, with the state it goes there with.
struct WorkItem {
    WorkItem(std::uint32_t at, const State& state) : rva(at), s(state) {}
    std::uint32_t rva;
    State s;
};
// Memory one walk needs, kept for the next: walks nest (a call walks its callee), so there is a
// stack of these.
struct Scratch {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> slots;
    // Instructions decoded in this walk, by address: paths meet and part again, and each
    // instruction is reached with several states, so most would be decoded three times or more.
    // They are kept in the session's DecodedStack, this table says where.
    std::vector<std::uint32_t> decoded_slot;  // the slots this walk filled
    std::vector<std::pair<std::uint32_t, std::uint32_t>> decoded_slots;  // rva+1, index+1 in DecodedStack
};
// Instructions decoded by the walks under way, one stack for all: a walk adds above those of
// the walk that called it and takes its own away at its end, so nested walks share the memory.
struct DecodedStack {
    // The states the walks under way met, as chains by address (see Walker::Run).
    std::vector<SeenNode> nodes;
    std::vector<WorkItem> work;  // where the walks under way have still to go
    std::vector<Instr> ins;
    std::vector<Operand> ops;    // each instruction's operands in turn
    std::vector<std::uint32_t> first;        // where they start in `ops`, by instruction
};
// Decoded instructions one walk keeps (some 500 KB); a longer walk decodes the rest each time.
constexpr std::size_t kDecodedKept = 2048;
// The table of them starts small and doubles (most walks are short), up to twice the entries
// kept.
constexpr std::size_t kDecodedSlotsFirst = 128;
// Operands kept of each decoded instruction at the least: the steps read the first two of some
// instructions without asking how many there are.
constexpr std::size_t kOpsKept = 2;

// What all paths of one function showed, seen from its entry.
struct Facts {
    bool returns = false;     // some path reaches a return
    bool conflict = false;    // returns that pop different amounts (x86)
    bool incomplete = false;  // some path could not be followed, or lost the stack
    bool escaped = false;     // an address in the argument area was handed on (va_list, &arg)
    bool acts = false;        // touches memory or calls: more than a constant function
    bool calls = false;       // calls a function (one reached by a tail jump counts as ours)
    // Not seen whole from here, though it may well return: a jump into another DLL's export,
    // or a function still being walked (recursion). A caller's path goes on after it.
    bool unseen = false;
    // A callee, here or deeper, was left unwalked at the limit of nested calls: walked from a
    // shallower place these facts may come out more complete.
    bool cut = false;
    u32 ret_pop = 0;          // x86: bytes the return pops
    u32 arg_bytes = 0;        // x86: bytes of the argument area used, from the first argument
    u32 escaped_at = UINT32_MAX;  // lowest such address handed on, from the first argument
    std::uint8_t reg_reads = 0;   // x64: bit k rcx/rdx/r8/r9 read before written, bit 4+k xmm k
    u32 variadic_from = UINT32_MAX;  // x64: first argument spilled and walked as a va_list
    u32 stack_args = 0;           // x64: highest stack argument used (5, 6, ...)

    bool NoReturn() const { return !returns && !incomplete; }
    void AddReturn(u32 pop) {
        if (returns && ret_pop != pop) conflict = true;
        returns = true;
        ret_pop = pop;
    }
    void Escape(u32 at) {
        escaped = true;
        escaped_at = std::min(escaped_at, at);
    }
};

Facts UnknownFacts() {
    Facts f;
    f.incomplete = true;
    return f;
}

// x64: how many arguments the facts show (positions of registers, then the stack).
u32 ArgCount(const Facts& f) {
    u32 count = 0;
    for (int p = 0; p < 4; ++p)
        if (f.reg_reads & (0x11u << p)) count = static_cast<u32>(p + 1);
    return std::max(count, f.stack_args);
}

// x64: the argument registers a path has not written yet (bit p general, bit 4+p xmm).
std::uint8_t Open(const State& s) {
    std::uint8_t open = 0;
    for (int p = 0; p < 4; ++p) {
        if (s.gpr_written[p] < 8) open |= static_cast<std::uint8_t>(1u << p);
        if (!(s.xmm_written & (1u << p))) open |= static_cast<std::uint8_t>(0x10u << p);
    }
    return open;
}

// Functions that end the process, the thread or the frame: a call to them is a path's end.
bool NoReturnImport(std::string_view name) {
    static const std::unordered_set<std::string_view> names = {
        "ExitProcess", "ExitThread", "FreeLibraryAndExitThread", "RaiseException",
        "RtlExitUserProcess", "RtlExitUserThread", "RtlRaiseException", "RtlRaiseStatus",
        "RtlUnwind", "RtlUnwindEx", "abort", "exit", "_exit", "_Exit", "quick_exit",
        "_amsg_exit", "longjmp", "_longjmp", "_assert", "_wassert", "__stack_chk_fail",
        "_CxxThrowException", "_invalid_parameter_noinfo_noreturn", "__report_gsfailure",
        "terminate", "__std_terminate", "__wine_spec_unimplemented_stub"};
    return names.count(name) != 0;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// "KERNEL32.dll" and "kernel32" name the same module.
std::string ModuleKey(std::string_view name) {
    std::string key = Lower(std::string(name));
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".dll") == 0) key.resize(key.size() - 4);
    return key;
}

// Names where the image (or its exports' forwarder text) holds them, which outlive the session:
// a module imports thousands of functions, and a copy of each name was an allocation each.
struct ImportRef {
    std::string_view dll;
    std::string_view name;  // empty when imported by ordinal
    u32 ordinal = 0;
};

class Session;

// One image with what the walk needs of it: its code, import slots, relocated pointers and
// export entries, and the facts of every function walked so far.
class Module {
public:
    Module(Session& session, std::string_view file) : session_(session), file_(file) {}
    bool Open(const PeExports* exports);

    bool X64() const { return x64_; }
    const PeExports& Exports() const { return *exports_; }
    // Facts of the function at `rva`, walked once and then remembered.
    Facts Function(u32 rva, int depth);
    // Facts of the export `name` (or `ordinal` when the name is empty), following forwarders.
    Facts Export(std::string_view name, u32 ordinal, int depth, int forward_depth);
    Facts ExportAt(const PeExport& e, int depth, int forward_depth);

private:
    friend class Walker;
    void ReadImports();
    void ReadImportSlots(std::string_view dll, u32 names, u32 slots, u64& budget);
    void ReadDelayImports();
    void ReadRelocations();
    bool Relocated(u32 rva) const { return std::binary_search(relocs_.begin(), relocs_.end(), rva); }
    // The pointer stored at `slot` when the image itself fills it in: a relocated address of code
    // in this image.
    bool PointerAt(u32 slot, u32& target) const;
    bool IsCode(u32 rva) const {
        u64 b = 0, e = 0;
        return img_.Code(rva, b, e);
    }
    // IsCode(rva) and then the Region of rva, answered from the span of code met last when rva
    // lies in it.
    bool CodeRegion(u32 rva, u64& begin, u64& end) {
        if (rva >= code_.Lo && rva < code_.Hi) {
            begin = code_.Raw + (rva - code_.Rva);
            end = code_.End;
            return begin < end;
        }
        return img_.Code(rva, begin, end, &code_);
    }

    Session& session_;
    std::string_view file_;
    PeImage img_;
    // The exports: the caller's for the image inferred (they outlive the session), else own_.
    const PeExports* exports_ = &own_exports_;
    PeExports own_exports_;
    bool x64_ = false;
    std::unordered_map<u32, ImportRef> imports_;  // import address slot -> what it imports
    std::vector<u32> relocs_;                      // sorted slots holding absolute addresses
    std::vector<u32> starts_;                      // export entries, sorted
    bool Start(u32 rva) const { return std::binary_search(starts_.begin(), starts_.end(), rva); }
    // The named exports by name, as indices into exports_->Named (the first of equal names
    // first): made when a name is first looked up, as most modules are only walked into.
    std::vector<u32> by_name_;
    bool by_name_made_ = false;
    struct Memo {
        Facts facts;
        bool busy = true;
        int depth = 0;  // of the call it was walked for
    };
    std::unordered_map<u32, Memo> memo_;
    PeImage::Span code_;  // the span of code met last
};

// The modules met while inferring one image's exports: forwarders and imports lead into others.
class Session {
public:
    Scratch& TakeScratch() {
        if (free_scratch_.empty()) free_scratch_.push_back(std::make_unique<Scratch>());
        owned_scratch_.push_back(std::move(free_scratch_.back()));
        free_scratch_.pop_back();
        Scratch& sc = *owned_scratch_.back();
        sc.slots.assign(64, {0, 0});
        // Only the slots the last walk used are cleared: most walks are short.
        if (sc.decoded_slots.empty()) sc.decoded_slots.assign(kDecodedSlotsFirst, {0, 0});
        for (std::uint32_t slot : sc.decoded_slot) sc.decoded_slots[slot] = {0, 0};
        sc.decoded_slot.clear();
        return sc;
    }
    void GiveScratch(Scratch& sc) {
        for (std::size_t i = owned_scratch_.size(); i-- > 0;)
            if (owned_scratch_[i].get() == &sc) {
                free_scratch_.push_back(std::move(owned_scratch_[i]));
                owned_scratch_.erase(owned_scratch_.begin() + static_cast<std::ptrdiff_t>(i));
                return;
            }
    }

    Session(const ImageLoader& loader, const InferLimits& limits) : loader_(loader), limits_(limits) {
        // Room reserved, not touched: few copies as walks nest, and pages only as used.
        decoded_.ins.reserve(4 * kDecodedKept);
        decoded_.ops.reserve(16 * kDecodedKept);
        decoded_.first.reserve(4 * kDecodedKept);
        decoded_.nodes.reserve(4 * kDecodedKept);
        decoded_.work.reserve(kDecodedKept);
    }
    DecodedStack& Decoded() { return decoded_; }

    const InferLimits& Limits() const { return limits_; }
    bool Spend(u64 n) {
        spent_ += n;
        // Asked now and then only: the flag is another thread's cache line.
        if (limits_.Stop && (spent_ & 0x3FF) == 0 && limits_.Stop->load(std::memory_order_relaxed))
            spent_ = limits_.InstructionsPerImage + 1;
        return spent_ <= limits_.InstructionsPerImage;
    }
    Module* Load(std::string_view dll_name);
    void Register(const std::string& dll_name, Module* m) {
        if (!dll_name.empty()) modules_.emplace(ModuleKey(dll_name), m);
    }
    // `walk`: a function known never to return is walked all the same, for what it reads: where
    // it stands for the caller's own body (a forwarder, a jump at entry), or on x64 for the
    // registers a call hands on to it as they came.
    Facts Import(const ImportRef& ref, std::uint16_t machine, int depth, int forward_depth, bool walk = false);

private:
    const ImageLoader& loader_;
    InferLimits limits_;
    u64 spent_ = 0;
    std::vector<std::unique_ptr<Scratch>> free_scratch_, owned_scratch_;
    DecodedStack decoded_;
    struct Loaded {
        FileBytes image;
        std::unique_ptr<Module> module;
    };
    std::vector<std::unique_ptr<Loaded>> owned_;
    std::unordered_map<std::string, Module*> modules_;  // null: not found or not readable
};

Module* Session::Load(std::string_view dll_name) {
    const std::string key = ModuleKey(dll_name);
    auto it = modules_.find(key);
    if (it != modules_.end()) return it->second;
    modules_[key] = nullptr;  // also guards against a loader that leads back here
    if (!loader_ || owned_.size() >= limits_.Modules) return nullptr;
    auto loaded = std::make_unique<Loaded>();
    // The loader is asked by module name, as a forwarder gives it: "KERNEL32", not "KERNEL32.dll".
    std::string name(dll_name);
    if (ModuleKey(name).size() + 4 == name.size()) name.resize(name.size() - 4);
    if (!loader_(name, loaded->image)) return nullptr;
    loaded->module = std::make_unique<Module>(*this, loaded->image);
    if (!loaded->module->Open(nullptr)) return nullptr;
    Module* m = loaded->module.get();
    owned_.push_back(std::move(loaded));
    modules_[key] = m;
    return m;
}

Facts Session::Import(const ImportRef& ref, std::uint16_t machine, int depth, int forward_depth, bool walk) {
    const bool no_return = !ref.name.empty() && NoReturnImport(ref.name);
    // A call to a function known never to return ends the path, whatever its code shows.
    if (no_return && !walk) return Facts{};
    if (forward_depth > static_cast<int>(limits_.ForwardDepth)) return no_return ? Facts{} : UnknownFacts();
    Module* m = Load(ref.dll);
    if (!m || m->Exports().Machine != machine) return no_return ? Facts{} : UnknownFacts();
    Facts f = m->Export(ref.name, ref.ordinal, depth, forward_depth + 1);
    if (no_return) {
        // Its reads are evidence; whatever its walk could not follow, it does not return.
        f.returns = f.conflict = f.incomplete = false;
        f.ret_pop = 0;
    }
    return f;
}

bool Module::Open(const PeExports* exports) {
    std::string reason;
    if (!img_.Open(file_, reason)) return false;
    if (exports) {
        exports_ = exports;
    } else if (!ReadPeExports(file_, own_exports_, reason)) {
        // A module without exports can still be walked (an EXE's code), it just names nothing.
        own_exports_ = PeExports{};
        own_exports_.Machine = img_.Machine;
        own_exports_.Pe32Plus = img_.Pe32Plus;
    }
    if (img_.Machine == kMachineAmd64 && img_.Pe32Plus) {
        x64_ = true;
    } else if (img_.Machine != kMachineI386 || img_.Pe32Plus) {
        return false;
    }
    for (std::size_t i = 0; i < exports_->Named.size(); ++i)
        if (exports_->Named[i].Forwarder.empty()) starts_.push_back(exports_->Named[i].Rva);
    for (const PeExport& e : exports_->OrdinalOnly)
        if (e.Forwarder.empty()) starts_.push_back(e.Rva);
    std::sort(starts_.begin(), starts_.end());
    starts_.erase(std::unique(starts_.begin(), starts_.end()), starts_.end());
    ReadImports();
    ReadDelayImports();
    ReadRelocations();
    return true;
}

// One descriptor's list of names (`names`) beside its address slots (`slots`): what each slot
// imports, by name or ordinal, until the list ends or `budget` runs out.
void Module::ReadImportSlots(std::string_view dll, u32 names, u32 slots, u64& budget) {
    const u32 entry = x64_ ? 8 : 4;
    for (u32 i = 0; budget > 0; ++i, --budget) {
        u64 p = 0;
        if (!img_.Map(names + i * entry, entry, p)) break;
        const u64 value = x64_ ? img_.U64(p) : img_.U32(p);
        if (value == 0) break;
        ImportRef ref;
        ref.dll = dll;
        if (value >> (x64_ ? 63 : 31)) {
            ref.ordinal = static_cast<u32>(value & 0xFFFF);
        } else if (!img_.TextView(static_cast<u32>(value) + 2, ref.name)) {
            continue;
        }
        imports_.emplace(slots + i * entry, std::move(ref));
    }
}

// The import address table: which slot the loader fills with which DLL's function.
void Module::ReadImports() {
    u32 rva = 0, size = 0;
    if (!img_.Directory(1, rva, size)) return;
    u64 budget = 1u << 20;  // slots over all descriptors; far above any real image
    for (u32 d = 0; d < 65536 && budget > 0; ++d) {
        u64 at = 0;
        if (!img_.Map(rva + 20 * d, 20, at)) return;
        const u32 names = img_.U32(at), dll_rva = img_.U32(at + 12), slots = img_.U32(at + 16);
        if (dll_rva == 0 && slots == 0) return;
        std::string_view dll;
        if (!img_.TextView(dll_rva, dll) || dll.empty()) continue;
        ReadImportSlots(dll, names != 0 ? names : slots, slots, budget);
    }
}

// Delay-loaded imports: their slots first point at a loader stub, but name the same functions.
void Module::ReadDelayImports() {
    u32 rva = 0, size = 0;
    if (!img_.Directory(13, rva, size)) return;
    u64 budget = 1u << 20;
    for (u32 d = 0; d < 65536 && budget > 0; ++d) {
        u64 at = 0;
        if (!img_.Map(rva + 32 * d, 32, at)) return;
        const u32 attributes = img_.U32(at), dll_rva = img_.U32(at + 4), slots = img_.U32(at + 12),
                  names = img_.U32(at + 16);
        if (dll_rva == 0) return;
        // Old images hold addresses instead of RVAs; their tables are not worth decoding.
        if ((attributes & 1) == 0) continue;
        std::string_view dll;
        if (!img_.TextView(dll_rva, dll) || dll.empty()) continue;
        ReadImportSlots(dll, names, slots, budget);
    }
}

// Base relocations name every slot that holds an absolute address; a pointer the image stores
// for itself (a function pointer table, a jump table) is found through them.
void Module::ReadRelocations() {
    u32 rva = 0, size = 0;
    if (!img_.Directory(5, rva, size)) return;
    u32 done = 0;
    while (done + 8 <= size) {
        u64 at = 0;
        if (!img_.Map(rva + done, 8, at)) break;
        const u32 page = img_.U32(at), block = img_.U32(at + 4);
        if (block < 8 || block > size - done) break;
        u64 items = 0;
        if (!img_.Map(rva + done + 8, block - 8, items)) break;
        for (u32 i = 0; i + 2 <= block - 8; i += 2) {
            const u32 item = img_.U16(items + i);
            const u32 type = item >> 12;
            if ((x64_ && type == 10) || (!x64_ && type == 3)) relocs_.push_back(page + (item & 0xFFF));
        }
        done += block;
    }
    std::sort(relocs_.begin(), relocs_.end());
}

bool Module::PointerAt(u32 slot, u32& target) const {
    if (!Relocated(slot)) return false;
    u64 p = 0;
    if (!img_.Map(slot, x64_ ? 8 : 4, p)) return false;
    const u64 value = x64_ ? img_.U64(p) : img_.U32(p);
    if (value < img_.ImageBase || value - img_.ImageBase > UINT32_MAX) return false;
    target = static_cast<u32>(value - img_.ImageBase);
    return IsCode(target);
}

// One walk over the paths of one function.
class Walker {
public:
    Walker(Module& m, u32 entry, int depth)
        : m_(m), entry_(entry), depth_(depth), scratch_(m.session_.TakeScratch()), work_(m.session_.Decoded().work), seen_nodes_(m.session_.Decoded().nodes),
          seen_slots_(scratch_.slots), decoded_(m.session_.Decoded()), decoded_base_(decoded_.ins.size()),
          decoded_ops_base_(decoded_.ops.size()), seen_base_(seen_nodes_.size()) {
        ZydisDecoderInit(&decoder_, m.x64_ ? ZYDIS_MACHINE_MODE_LONG_64 : ZYDIS_MACHINE_MODE_LEGACY_32,
                         m.x64_ ? ZYDIS_STACK_WIDTH_64 : ZYDIS_STACK_WIDTH_32);
        slot_ = m.x64_ ? 8 : 4;
        work_base_ = work_.size();
    }
    ~Walker() {
        // What a walk that ran out of budget left.
        work_.erase(work_.begin() + static_cast<std::ptrdiff_t>(work_base_), work_.end());
        decoded_.ins.resize(decoded_base_);
        decoded_.first.resize(decoded_base_);
        decoded_.ops.resize(decoded_ops_base_);
        seen_nodes_.erase(seen_nodes_.begin() + static_cast<std::ptrdiff_t>(seen_base_), seen_nodes_.end());
        m_.session_.GiveScratch(scratch_);
    }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;
    Facts Run();

private:
    enum class Next { Fall, Stop };

    Next Step(u32 rva, State& s);
    Next Decoded(u32 rva, State& s);
    Next Instruction(u32 rva, State& s);
    Next Effects(u32 rva, State& s);
    bool SaveOrRestore(State& s, int& restored);
    void Setups(State& s);
    void Access(const Operand& op, const State& s, bool agen);
    bool StackAddress(const Operand& op, const State& s, Kind& kind, i64& addr, bool& indexed) const;
    void ReadEvidence(const State& s, bool zero_idiom);
    void Writes(State& s, bool skip_stack);
    void Escapes(State& s, int reg);
    void AdjustSp(State& s, i64 delta);
    bool Target(u32 rva, const Operand& op, u32& target, const ImportRef*& import) const;
    bool ImportSlotOf(u32 rva, const Operand& op, u32& slot) const;
    bool AbsoluteSlot(u32 rva, const Operand& op, u32& slot) const;
    Facts Callee(u32 target, const ImportRef* import, bool walk = false);
    void PassThrough(const State& s, const Facts& callee);
    void TailCall(const State& s, const Facts& callee);
    State& Push(u32 rva, const State& s) { return work_.emplace_back(rva, s).s; }
    // The end of a path: spilled and saved registers count as read, but those a va_list covers.
    void Flush(State& s) {
        if (s.va_from < 4) {
            std::uint8_t later = 0;
            for (u32 p = s.va_from; p < 4; ++p) later |= static_cast<std::uint8_t>(0x11u << p);
            if (s.pending & later) f_.variadic_from = std::min<u32>(f_.variadic_from, s.va_from);
            s.pending &= static_cast<std::uint8_t>(~later);
        }
        f_.reg_reads |= s.pending;
    }
    // A path not followed further: what it would have read is not known, so no count is exact.
    void Lose() { f_.incomplete = true; }
    bool JumpTable(u32 rva, const State& s);

    Module& m_;
    u32 entry_;
    int depth_;
    u32 slot_;
    ZydisDecoder decoder_;
    // The instruction being stepped: its cached copy when the walk keeps it, else ins_buf_.
    const Instr* ins_ = nullptr;
    const Operand* ops_ = nullptr;
    std::size_t cached_ = SIZE_MAX;  // its index in DecodedStack, SIZE_MAX for the buffers
    Instr ins_buf_;
    Operand ops_buf_[ZYDIS_MAX_OPERAND_COUNT];
    ZydisDecodedInstruction decoded_ins_;  // as the decoder gives them
    ZydisDecodedOperand decoded_ops_[ZYDIS_MAX_OPERAND_COUNT];
    Facts f_;
    const State* current_ = nullptr;  // the state the instruction being stepped starts from
    // The states each instruction was reached with: chains of nodes per address, found through
    // an open-addressing table (one walk visits most instructions once, so this is hot).
    Scratch& scratch_;
    std::vector<WorkItem>& work_;
    std::size_t work_base_ = 0;  // this walk's items lie above those of the walks it is nested in
    std::vector<SeenNode>& seen_nodes_;
    std::vector<std::pair<u32, u32>>& seen_slots_;  // rva+1, head+1
    std::size_t seen_used_ = 0;
    u32& SeenHead(u32 rva);
    u32* SeenFind(u32 rva);
    bool Decode(u32 rva);
    bool DecodeNew(u32 rva, std::size_t slot);
    void GrowDecodedSlots();
    // ins_ and ops_ anew after a walk nested into a callee, whose instructions may have moved
    // the stack of decoded ones.
    void Repoint() {
        if (cached_ == SIZE_MAX) return;
        ins_ = &decoded_.ins[cached_];
        ops_ = decoded_.ops.data() + decoded_.first[cached_];
    }
    DecodedStack& decoded_;
    std::size_t decoded_base_, decoded_ops_base_;  // where this walk's decoded instructions begin
    std::size_t seen_base_;                         // and its states
    u32 steps_ = 0;
    bool out_of_budget_ = false;
    std::size_t reloc_hint_ = 0;  // index of the first relocation at or above the last instruction
};

// Register number tables, made once: general registers by encoding (0 rax .. 15 r15) and the
// vector registers' numbers, -1 for anything else; and every register's width in bytes.
struct RegisterTables {
    std::array<std::int8_t, ZYDIS_REGISTER_MAX_VALUE + 1> gpr{}, vec{};
    std::array<std::uint8_t, ZYDIS_REGISTER_MAX_VALUE + 1> bytes{};
    RegisterTables() {
        for (int r = 0; r <= ZYDIS_REGISTER_MAX_VALUE; ++r) {
            const auto reg = static_cast<ZydisRegister>(r);
            const ZydisRegisterClass c = ZydisRegisterGetClass(reg);
            bytes[r] = static_cast<std::uint8_t>(ZydisRegisterGetWidth(ZYDIS_MACHINE_MODE_LONG_64, reg) / 8);
            gpr[r] = vec[r] = -1;
            if (c == ZYDIS_REGCLASS_GPR8 || c == ZYDIS_REGCLASS_GPR16 || c == ZYDIS_REGCLASS_GPR32 ||
                c == ZYDIS_REGCLASS_GPR64) {
                const int id = ZydisRegisterGetId(ZydisRegisterGetLargestEnclosing(ZYDIS_MACHINE_MODE_LONG_64, reg));
                if (id >= 0 && id < 16) gpr[r] = static_cast<std::int8_t>(id);
            } else if (c == ZYDIS_REGCLASS_XMM || c == ZYDIS_REGCLASS_YMM || c == ZYDIS_REGCLASS_ZMM) {
                vec[r] = static_cast<std::int8_t>(ZydisRegisterGetId(reg));
            }
        }
    }
};
// Made before any walk (not on first use) so that the lookups in the hot loop need no guard.
const RegisterTables kRegisterTables;
inline const RegisterTables& Registers() { return kRegisterTables; }


// Position (0..3) of a general register among the x64 argument registers, or -1.
// x64: rcx, rdx, r8, r9; x86: the registers compilers pass their own functions' arguments in
// (eax, edx, ecx). By general register number, -1 for the rest.
constexpr std::int8_t kArgPosition64[16] = {-1, 0, 1, -1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, -1, -1};
constexpr std::int8_t kArgPosition32[16] = {0, 2, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
inline int ArgPosition(int gpr, bool x64 = true) {
    if (static_cast<unsigned>(gpr) >= 16) return -1;
    return x64 ? kArgPosition64[gpr] : kArgPosition32[gpr];
}

int XmmId(ZydisRegister reg) {
    const unsigned r = static_cast<unsigned>(reg);
    return r <= ZYDIS_REGISTER_MAX_VALUE ? Registers().vec[r] : -1;
}

int GprOf(ZydisRegister reg) {
    const unsigned r = static_cast<unsigned>(reg);
    return r <= ZYDIS_REGISTER_MAX_VALUE ? Registers().gpr[r] : -1;
}

unsigned RegBytes(ZydisRegister reg) {
    const unsigned r = static_cast<unsigned>(reg);
    return r <= ZYDIS_REGISTER_MAX_VALUE ? Registers().bytes[r] : 0;
}

Instr Compact(const ZydisDecodedInstruction& d) {
    Instr i;
    i.mnemonic = d.mnemonic;
    i.meta.category = d.meta.category;
    i.length = d.length;
    i.operand_count = d.operand_count;
    i.operand_count_visible = d.operand_count_visible;
    i.operand_width = d.operand_width;
    return i;
}

// Into `o` (in place: the record is large enough that a copy costs as much as filling it).
void Compact(const ZydisDecodedOperand& d, bool x64, Operand& o) {
    o = Operand{};
    o.type = static_cast<std::uint8_t>(d.type);
    o.visibility = static_cast<std::uint8_t>(d.visibility);
    o.actions = d.actions;
    o.size = d.size;
    switch (d.type) {
        case ZYDIS_OPERAND_TYPE_REGISTER:
            o.reg.value = d.reg.value;
            o.reg.gpr = static_cast<std::int8_t>(GprOf(d.reg.value));
            o.reg.xmm = static_cast<std::int8_t>(XmmId(d.reg.value));
            o.reg.arg = static_cast<std::int8_t>(ArgPosition(o.reg.gpr, x64));
            o.reg.bytes = static_cast<std::uint8_t>(RegBytes(d.reg.value));
            break;
        case ZYDIS_OPERAND_TYPE_MEMORY:
            o.mem.type = static_cast<std::uint8_t>(d.mem.type);
            o.mem.scale = d.mem.scale;
            o.mem.segment = d.mem.segment;
            o.mem.base = d.mem.base;
            o.mem.index = d.mem.index;
            o.mem.base_gpr = static_cast<std::int8_t>(GprOf(d.mem.base));
            o.mem.base_xmm = static_cast<std::int8_t>(XmmId(d.mem.base));
            o.mem.index_gpr = static_cast<std::int8_t>(GprOf(d.mem.index));
            o.mem.index_xmm = static_cast<std::int8_t>(XmmId(d.mem.index));
            o.mem.base_arg = static_cast<std::int8_t>(ArgPosition(o.mem.base_gpr, x64));
            o.mem.index_arg = static_cast<std::int8_t>(ArgPosition(o.mem.index_gpr, x64));
            o.mem.disp.value = d.mem.disp.value;
            break;
        case ZYDIS_OPERAND_TYPE_IMMEDIATE:
            o.imm.is_relative = d.imm.is_relative;
            o.imm.value.u = d.imm.value.u;
            break;
        default:
            break;
    }
}


// What no later step reads is cleared before a state is kept, so that paths differing only there
// meet: a compare's value once no register is compared (it is read only beside its register), a
// switch bound once no register holds it. Left as they were, the last values of such fields
// made the walk visit each instruction with a third more states for nothing.
inline void Settle(State& s) {
    if (s.cmp_reg == 0xFF) s.cmp_imm = 0;
    if (s.bound_reg == 0xFF) s.bound = 0;
}

// Hashes the registers and the small fields, not the saves and pushes (rarely all that tells two
// states at one address apart): equal states hash alike, and the bytes are compared anyway.
u64 HashState(const State& s) {
    static_assert((offsetof(State, saves) - offsetof(State, r)) % 8 == 0 &&
                      offsetof(State, pushed) - offsetof(State, setup) == 4 &&
                      sizeof(State) - offsetof(State, push_run) == 12,
                  "the words hashed");
    const char* bytes = reinterpret_cast<const char*>(&s);
    u64 h = 1469598103934665603ull;
    auto mix = [&h](u64 v) { h = (h ^ v) * 1099511628211ull; };
    for (std::size_t i = offsetof(State, r); i < offsetof(State, saves); i += 8) {
        u64 v;
        std::memcpy(&v, bytes + i, 8);
        mix(v);
    }
    u32 setup, run;
    u64 last;
    std::memcpy(&setup, bytes + offsetof(State, setup), 4);
    std::memcpy(&run, bytes + offsetof(State, push_run), 4);
    std::memcpy(&last, bytes + offsetof(State, push_run) + 4, 8);
    mix(static_cast<u64>(setup) << 32 | run);
    mix(last);
    return h ^ (h >> 29);
}

bool Walker::StackAddress(const Operand& op, const State& s, Kind& kind, i64& addr,
                          bool& indexed) const {
    if (op.type != ZYDIS_OPERAND_TYPE_MEMORY) return false;
    if (op.mem.segment == ZYDIS_REGISTER_FS || op.mem.segment == ZYDIS_REGISTER_GS) return false;
    const int base = op.mem.base_gpr;
    const int index = op.mem.index_gpr;
    if (base < 0 || !Stacky(s.r[base].kind)) {
        // A stack address as the index of an absolute table is not a pattern compilers make.
        if (index >= 0 && Stacky(s.r[index].kind)) {
            kind = kLost;
            indexed = true;
            addr = 0;
            return true;
        }
        return false;
    }
    kind = s.r[base].kind;
    addr = static_cast<i64>(s.r[base].off) + op.mem.disp.value;
    indexed = index >= 0;
    return true;
}

// Evidence from a memory operand: which part of the argument area it touches.
void Walker::Access(const Operand& op, const State& s, bool agen) {
    Kind kind = kNone;
    i64 a = 0;
    bool indexed = false;
    if (!StackAddress(op, s, kind, a, indexed)) return;
    const i64 size = agen ? 1 : std::max<i64>(1, op.size / 8);
    // Entry-relative start of the arguments: the return address lies below them; on x64 the
    // caller's 32-byte home area for the register arguments comes first.
    const i64 args = m_.x64_ ? 0x28 : 4;
    const i64 above_ret = slot_;
    if (kind == kLost) {
        f_.incomplete = true;
        return;
    }
    if (kind == kAtMost) {
        if (a + size > above_ret) f_.incomplete = true;
        return;
    }
    if (agen) return;  // an address computed, not used yet: followed through the register
    if (indexed) {
        if (a + size > above_ret) f_.incomplete = true;
        if (a >= args && !m_.x64_) f_.arg_bytes = std::max<u32>(f_.arg_bytes, static_cast<u32>(std::min<i64>(a + size - args, 1 << 20)));
        return;
    }
    if (a + size <= above_ret) return;  // locals or the return address
    if (a < above_ret) {  // straddles the return address: no compiler does that
        f_.incomplete = true;
        return;
    }
    if (a > (1 << 20)) {  // far above any argument list: not an argument
        f_.incomplete = true;
        return;
    }
    if (!m_.x64_) {
        f_.arg_bytes = std::max<u32>(f_.arg_bytes, static_cast<u32>(a + size - args));
    } else if (a + size > args) {
        const i64 last = std::max<i64>(a, args) + size - 1;
        f_.stack_args = std::max<u32>(f_.stack_args, static_cast<u32>(5 + (last - args) / 8));
    }
}

// An address in the argument area that leaves the walk's sight: a va_list or a pointer to an
// argument given to someone else.
void Walker::Escapes(State& s, int reg) {
    if (reg < 0 || reg == kSp) return;
    const Reg& r = s.r[reg];
    const i64 first = m_.x64_ ? 8 : 4;  // x64: the home area belongs to the arguments too
    if (r.kind == kLost) f_.incomplete = true;
    if (r.kind != kExact || r.off < first) return;
    f_.Escape(static_cast<u32>(r.off - first));
    // va_start: the registers spilled from here on, before or after, are the variadic part.
    if (m_.x64_ && r.off < 0x28 && r.off % 8 == 0)
        s.va_from = std::min<std::uint8_t>(s.va_from, static_cast<std::uint8_t>(r.off / 8 - 1));
}

// Instructions that move the stack pointer as part of what they do, whose hidden stack operand
// is no access to a variable.
bool IsStackOp(ZydisMnemonic mn) {
    return mn == ZYDIS_MNEMONIC_PUSH || mn == ZYDIS_MNEMONIC_POP || mn == ZYDIS_MNEMONIC_CALL ||
           mn == ZYDIS_MNEMONIC_RET || mn == ZYDIS_MNEMONIC_LEAVE || mn == ZYDIS_MNEMONIC_ENTER ||
           mn == ZYDIS_MNEMONIC_PUSHA || mn == ZYDIS_MNEMONIC_PUSHAD || mn == ZYDIS_MNEMONIC_POPA ||
           mn == ZYDIS_MNEMONIC_POPAD || mn == ZYDIS_MNEMONIC_PUSHF || mn == ZYDIS_MNEMONIC_PUSHFD ||
           mn == ZYDIS_MNEMONIC_PUSHFQ || mn == ZYDIS_MNEMONIC_POPF || mn == ZYDIS_MNEMONIC_POPFD ||
           mn == ZYDIS_MNEMONIC_POPFQ;
}

bool IsZeroIdiom(const Instr& ins, const Operand* ops) {
    switch (ins.mnemonic) {
        case ZYDIS_MNEMONIC_XOR: case ZYDIS_MNEMONIC_SUB: case ZYDIS_MNEMONIC_SBB:
        case ZYDIS_MNEMONIC_PXOR: case ZYDIS_MNEMONIC_XORPS: case ZYDIS_MNEMONIC_XORPD:
        case ZYDIS_MNEMONIC_PCMPEQD:
            return ins.operand_count_visible >= 2 && ops[0].type == ZYDIS_OPERAND_TYPE_REGISTER &&
                   ops[1].type == ZYDIS_OPERAND_TYPE_REGISTER && ops[0].reg.value == ops[1].reg.value;
        case ZYDIS_MNEMONIC_VPXOR: case ZYDIS_MNEMONIC_VPXORD: case ZYDIS_MNEMONIC_VPXORQ:
        case ZYDIS_MNEMONIC_VXORPS: case ZYDIS_MNEMONIC_VXORPD:
            return ins.operand_count_visible >= 3 && ops[1].type == ZYDIS_OPERAND_TYPE_REGISTER &&
                   ops[2].type == ZYDIS_OPERAND_TYPE_REGISTER && ops[1].reg.value == ops[2].reg.value;
        default:
            return false;
    }
}

// Scalar SSE operations that keep the upper part of their destination: that operand is read only
// to be merged, which says nothing about an argument in it.
bool MergesDestination(const Instr& ins, const Operand* ops, int i) {
    switch (ins.mnemonic) {
        case ZYDIS_MNEMONIC_MOVSS: case ZYDIS_MNEMONIC_MOVSD: case ZYDIS_MNEMONIC_CVTSI2SS:
        case ZYDIS_MNEMONIC_CVTSI2SD: case ZYDIS_MNEMONIC_CVTSS2SD: case ZYDIS_MNEMONIC_CVTSD2SS:
        case ZYDIS_MNEMONIC_SQRTSS: case ZYDIS_MNEMONIC_SQRTSD: case ZYDIS_MNEMONIC_RCPSS:
        case ZYDIS_MNEMONIC_RSQRTSS: case ZYDIS_MNEMONIC_ROUNDSS: case ZYDIS_MNEMONIC_ROUNDSD:
        case ZYDIS_MNEMONIC_MOVLPS: case ZYDIS_MNEMONIC_MOVHPS: case ZYDIS_MNEMONIC_MOVLPD:
        case ZYDIS_MNEMONIC_MOVHPD: case ZYDIS_MNEMONIC_PINSRB: case ZYDIS_MNEMONIC_PINSRW:
        case ZYDIS_MNEMONIC_PINSRD: case ZYDIS_MNEMONIC_PINSRQ:
            return i == 0;
        case ZYDIS_MNEMONIC_VMOVSS: case ZYDIS_MNEMONIC_VMOVSD: case ZYDIS_MNEMONIC_VCVTSI2SS:
        case ZYDIS_MNEMONIC_VCVTSI2SD: case ZYDIS_MNEMONIC_VCVTSS2SD: case ZYDIS_MNEMONIC_VCVTSD2SS:
        case ZYDIS_MNEMONIC_VSQRTSS: case ZYDIS_MNEMONIC_VSQRTSD: case ZYDIS_MNEMONIC_VRCPSS:
        case ZYDIS_MNEMONIC_VRSQRTSS: case ZYDIS_MNEMONIC_VROUNDSS: case ZYDIS_MNEMONIC_VROUNDSD:
            return i == 1 && ins.operand_count_visible >= 3;
        default:
            (void)ops;
            return false;
    }
}

// What the steps read of an instruction's operands, worked out once when it is decoded (see
// Instr); `x64` as the walk's machine.
void Digest(Instr& in, const Operand* ops, bool x64) {
    // A call or a conditional branch leaves what is set up for a call as it was.
    in.setup_keep = in.mnemonic == ZYDIS_MNEMONIC_CALL || in.meta.category == ZYDIS_CATEGORY_COND_BR;
    // A read of general register `gpr` at argument position `p` with a register of `bytes`.
    auto gpr_read = [&](ZydisRegister reg, int gpr, int p, unsigned bytes) {
        if (gpr == 10 && in.mnemonic != ZYDIS_MNEMONIC_SYSCALL) in.reads_r10 = true;
        if (p < 0) return;
        // A byte register of the high half (ah, ch) reads bits a byte write did not cover.
        const bool high = reg == ZYDIS_REGISTER_CH || reg == ZYDIS_REGISTER_DH;
        const unsigned need = std::max(bytes, high ? 2u : 0u);
        in.read_need[p] = static_cast<std::uint8_t>(std::max<unsigned>(in.read_need[p], need));
    };
    auto position = [](int g, int xmm) {
        if (g >= 0) return g;
        return xmm >= 0 && xmm < 4 ? xmm : -1;
    };
    for (int i = 0; i < in.operand_count; ++i) {
        const Operand& op = ops[i];
        const bool hidden = op.visibility == ZYDIS_OPERAND_VISIBILITY_HIDDEN;
        const bool read = (op.actions & ZYDIS_OPERAND_ACTION_MASK_READ) != 0;
        if (op.type == ZYDIS_OPERAND_TYPE_MEMORY) {
            // The stack operand of a push, pop, call or return is no access to a variable.
            if (!(hidden && in.stack_op)) {
                in.mem_ops |= static_cast<std::uint16_t>(1u << i);
                // Memory touched, or the address of something in the image taken: a function
                // that hands out a global's address is no constant stub.
                if ((op.mem.type != ZYDIS_MEMOP_TYPE_AGEN && !hidden) || op.mem.base == ZYDIS_REGISTER_RIP)
                    in.touches = true;
            }
            gpr_read(op.mem.base, op.mem.base_gpr, op.mem.base_arg, RegBytes(op.mem.base));
            gpr_read(op.mem.index, op.mem.index_gpr, op.mem.index_arg, RegBytes(op.mem.index));
            if (const int p = position(op.mem.base_arg, op.mem.base_xmm); p >= 0)
                in.setup_read |= static_cast<std::uint8_t>(1u << p);
            if (const int p = position(op.mem.index_arg, op.mem.index_xmm); p >= 0)
                in.setup_read |= static_cast<std::uint8_t>(1u << p);
            continue;
        }
        if (op.type != ZYDIS_OPERAND_TYPE_REGISTER) continue;
        const int g = op.reg.gpr, x = op.reg.xmm;
        if (read && i < in.operand_count_visible && g >= 0 && g != kSp)
            in.escape_gprs |= static_cast<std::uint16_t>(1u << g);
        if (read) {
            if (x64 && x >= 0 && x < 4) {
                if (!MergesDestination(in, ops, i)) in.xmm_reads |= static_cast<std::uint8_t>(1u << x);
            } else {
                gpr_read(op.reg.value, g, op.reg.arg, op.reg.bytes);
            }
        }
        if (const int p = position(op.reg.arg, x); p >= 0) {
            if (read && !in.zero_idiom) in.setup_read |= static_cast<std::uint8_t>(1u << p);
            if (op.actions & ZYDIS_OPERAND_ACTION_WRITE) in.setup_written |= static_cast<std::uint8_t>(1u << p);
        }
        if (!(op.actions & ZYDIS_OPERAND_ACTION_MASK_WRITE)) continue;
        const bool sure = (op.actions & ZYDIS_OPERAND_ACTION_WRITE) != 0;
        if (x >= 0) {
            // Vector registers carry no arguments on x86, so only x64 tells them apart.
            if (x < 4 && sure && x64) in.sure_xmm |= static_cast<std::uint8_t>(1u << x);
            continue;
        }
        if (g < 0) continue;
        if (g == kSp) {
            in.writes_sp = true;
            continue;
        }
        in.write_gprs |= static_cast<std::uint16_t>(1u << g);
        if (op.reg.arg >= 0 && sure) in.sure_args |= static_cast<std::uint8_t>(1u << op.reg.arg);
    }
}

// Once digested, the steps read an instruction's visible operands by position and its memory
// operands (mem_ops) only: the rest (flags, the instruction pointer, the stack operands of a
// push) are left out of what a walk keeps, and the slots the steps may read past the
// instruction's own are zero. Returns how many operands are kept.
std::size_t KeepOperands(Instr& in, Operand* ops) {
    std::size_t kept = in.operand_count_visible;
    std::uint16_t mem = static_cast<std::uint16_t>(in.mem_ops & ((1u << kept) - 1));
    for (std::size_t k = kept; k < in.operand_count; ++k)
        if (in.mem_ops >> k & 1u) {
            ops[kept] = ops[k];
            mem |= static_cast<std::uint16_t>(1u << kept);
            ++kept;
        }
    in.mem_ops = mem;
    in.operand_count = static_cast<std::uint8_t>(kept);
    for (std::size_t k = kept; k < kOpsKept; ++k) ops[k] = Operand{};
    return kept;
}

// Argument registers this instruction reads before the path wrote them (x86: those compilers
// pass their own functions' arguments in).
void Walker::ReadEvidence(const State& s, bool zero_idiom) {
    if (zero_idiom) return;
    const Instr& in = *ins_;
    if (s.r10_rcx && in.reads_r10) f_.reg_reads |= 1;
    for (int p = 0; p < 4; ++p)
        if (s.gpr_written[p] < in.read_need[p]) f_.reg_reads |= static_cast<std::uint8_t>(1u << p);
    f_.reg_reads |= static_cast<std::uint8_t>((in.xmm_reads & ~s.xmm_written & 0xF) << 4);
}

void Walker::AdjustSp(State& s, i64 delta) {
    Reg& sp = s.r[kSp];
    if (sp.kind == kExact || sp.kind == kAtMost) {
        const i64 v = sp.off + delta;
        if (v < -(1 << 24) || v > (1 << 24)) {
            sp.kind = kLost;
        } else {
            sp.off = static_cast<std::int32_t>(v);
        }
    }
}

// Registers the instruction writes lose what the walk knew of them.
void Walker::Writes(State& s, bool skip_stack) {
    const Instr& in = *ins_;
    if (in.writes_sp && !skip_stack) s.r[kSp].kind = kLost;
    for (unsigned m = in.write_gprs; m != 0; m &= m - 1) s.r[static_cast<unsigned>(__builtin_ctz(m))] = Reg{};
    if (s.bound_reg < 16 && (in.write_gprs >> s.bound_reg & 1u)) s.bound_reg = 0xFF;
    if (in.write_gprs & (1u << 10)) s.r10_rcx = false;
    // Even a byte written makes later reads of the whole register the code's own: compilers
    // set a byte (setcc) and then move the whole register.
    for (int p = 0; p < 4; ++p)
        if (in.sure_args & (1u << p)) s.gpr_written[p] = 8;
    s.xmm_written |= in.sure_xmm;
}

// The image address a memory operand names ([abs] on x86, [rip+disp] on x64), if it names one.
bool Walker::AbsoluteSlot(u32 rva, const Operand& op, u32& slot) const {
    if (op.type != ZYDIS_OPERAND_TYPE_MEMORY || op.mem.index != ZYDIS_REGISTER_NONE) return false;
    if (op.mem.base == ZYDIS_REGISTER_RIP) {
        slot = static_cast<u32>(rva + ins_->length + op.mem.disp.value);
        return true;
    }
    if (op.mem.base != ZYDIS_REGISTER_NONE || m_.x64_) return false;
    const u64 va = static_cast<u32>(op.mem.disp.value);
    if (va < m_.img_.ImageBase) return false;
    slot = static_cast<u32>(va - m_.img_.ImageBase);
    return true;
}

// The import slot a memory operand names, if it names one.
bool Walker::ImportSlotOf(u32 rva, const Operand& op, u32& slot) const {
    return AbsoluteSlot(rva, op, slot) && m_.imports_.count(slot) != 0;
}

// Where a call or jump goes: an address in this image, an imported function, or unknown.
bool Walker::Target(u32 rva, const Operand& op, u32& target, const ImportRef*& import) const {
    import = nullptr;
    if (op.type == ZYDIS_OPERAND_TYPE_REGISTER) {
        // Through a register that holds an imported function's address.
        const int g = op.reg.gpr;
        if (g < 0 || current_->r[g].kind != kImport) return false;
        auto it = m_.imports_.find(static_cast<u32>(current_->r[g].off));
        if (it == m_.imports_.end()) return false;
        import = &it->second;
        return true;
    }
    if (op.type == ZYDIS_OPERAND_TYPE_IMMEDIATE && op.imm.is_relative) {
        target = static_cast<u32>(rva + ins_->length + op.imm.value.s);
        return true;
    }
    u32 slot = 0;
    if (!AbsoluteSlot(rva, op, slot)) return false;
    auto it = m_.imports_.find(slot);
    if (it != m_.imports_.end()) {
        import = &it->second;
        return true;
    }
    return m_.PointerAt(slot, target);
}

Facts Walker::Callee(u32 target, const ImportRef* import, bool walk) {
    Facts f;
    if (import) {
        f = m_.session_.Import(*import, m_.img_.Machine, depth_ + 1, 0, walk);
    } else if (!m_.IsCode(target)) {
        return UnknownFacts();
    } else {
        f = m_.Function(target, depth_ + 1);
    }
    if (f.cut) f_.cut = true;
    Repoint();
    return f;
}

// x64: registers a callee reads at its entry are read by us when we left them as they came.
void Walker::PassThrough(const State& s, const Facts& callee) {
    const std::uint8_t open = Open(s);
    f_.reg_reads |= callee.reg_reads & open;
    // A position the callee takes that we left as it came: our own argument handed on. What we
    // set up for the call shows positions it takes, too. (A register merely written says
    // nothing: argument registers are scratch registers as well.)
    int top = -1;
    for (int p = 0; p < 4; ++p)
        if (s.setup & (1u << p)) top = p;
    const u32 takes = std::max<u32>(ArgCount(callee), static_cast<u32>(top + 1));
    for (int p = 0; p < 4; ++p) {
        const bool both_open = (open & (0x11u << p)) == (0x11u << p);
        if (both_open && static_cast<u32>(p) < takes) f_.reg_reads |= static_cast<std::uint8_t>(1u << p);
    }
}

// A jump with the stack as it was at entry: the target returns to our caller for us.
void Walker::TailCall(const State& s, const Facts& callee) {
    // A callee that never returns still reads our arguments: they are its own.
    if (callee.returns) f_.AddReturn(callee.ret_pop);
    if (callee.conflict) f_.conflict = true;
    if (callee.incomplete) f_.incomplete = true;
    f_.arg_bytes = std::max(f_.arg_bytes, callee.arg_bytes);
    if (callee.escaped) f_.Escape(callee.escaped_at);
    f_.acts = f_.acts || callee.acts;
    f_.calls = f_.calls || callee.calls;
    if (m_.x64_) {
        PassThrough(s, callee);
        f_.stack_args = std::max(f_.stack_args, callee.stack_args);
        if (callee.variadic_from != UINT32_MAX) f_.variadic_from = std::min(f_.variadic_from, callee.variadic_from);
    }
}

// A jump through a table of relocated code addresses, indexed by a register whose bound an
// earlier compare-and-branch proved (x86 compilers lay out switch statements this way).
bool Walker::JumpTable(u32 rva, const State& s) {
    const Operand& op = ops_[0];
    (void)rva;
    if (m_.x64_ || op.type != ZYDIS_OPERAND_TYPE_MEMORY || op.mem.base != ZYDIS_REGISTER_NONE ||
        op.mem.scale != 4)
        return false;
    const int index = op.mem.index_gpr;
    if (index < 0 || s.bound_reg != index || s.bound == 0 || s.bound > m_.session_.Limits().JumpTableEntries)
        return false;
    const u64 va = static_cast<u32>(op.mem.disp.value);
    if (va < m_.img_.ImageBase) return false;
    const u32 table = static_cast<u32>(va - m_.img_.ImageBase);
    std::vector<u32> targets;
    for (u32 i = 0; i < s.bound; ++i) {
        u32 t = 0;
        if (!m_.PointerAt(table + 4 * i, t)) return false;
        targets.push_back(t);
    }
    State next = s;
    next.bound_reg = 0xFF;
    for (u32 t : targets) Push(t, next);
    return true;
}

// x64: argument registers read by this instruction are no longer set up for a call; those it
// writes are.
void Walker::Setups(State& s) {
    const Instr& in = *ins_;
    if (!in.setup_keep) s.setup = static_cast<std::uint8_t>((s.setup & ~in.setup_read) | in.setup_written);
}

bool IsMove(ZydisMnemonic mn) {
    switch (mn) {
        case ZYDIS_MNEMONIC_MOV: case ZYDIS_MNEMONIC_MOVAPS: case ZYDIS_MNEMONIC_MOVUPS:
        case ZYDIS_MNEMONIC_MOVAPD: case ZYDIS_MNEMONIC_MOVUPD: case ZYDIS_MNEMONIC_MOVDQA:
        case ZYDIS_MNEMONIC_MOVDQU: case ZYDIS_MNEMONIC_MOVQ: case ZYDIS_MNEMONIC_MOVSD:
        case ZYDIS_MNEMONIC_MOVSS: case ZYDIS_MNEMONIC_VMOVAPS: case ZYDIS_MNEMONIC_VMOVUPS:
        case ZYDIS_MNEMONIC_VMOVAPD: case ZYDIS_MNEMONIC_VMOVUPD: case ZYDIS_MNEMONIC_VMOVDQA:
        case ZYDIS_MNEMONIC_VMOVDQU: case ZYDIS_MNEMONIC_VMOVQ: case ZYDIS_MNEMONIC_VMOVSD:
        case ZYDIS_MNEMONIC_VMOVSS:
            return true;
        default:
            return false;
    }
}

// x64: an argument register stored to the stack untouched (a save), or loaded back from where
// it was saved (a restore, `restored` = its code). Returns true when the instruction is a save,
// whose read of the register is not yet evidence.
bool Walker::SaveOrRestore(State& s, int& restored) {
    restored = -1;
    if (!m_.x64_) return false;
    auto code_of = [&](const Operand& op) {
        const int g = op.reg.arg;  // x64 only, as the operands' positions
        if (g >= 0) return op.reg.bytes == 8 ? g : -1;
        const int x = op.reg.xmm;
        return x >= 0 && x < 4 ? 4 + x : -1;
    };
    auto open = [&](int code) {
        return code < 4 ? s.gpr_written[code] < 8 : !(s.xmm_written & (1u << (code - 4)));
    };
    int code = -1;
    i64 at = 0;
    bool save = false;
    Kind save_kind = kExact;
    const ZydisMnemonic mn = ins_->mnemonic;
    if (mn == ZYDIS_MNEMONIC_PUSH || mn == ZYDIS_MNEMONIC_POP) {
        if (ops_[0].type != ZYDIS_OPERAND_TYPE_REGISTER || s.r[kSp].kind != kExact) return false;
        code = code_of(ops_[0]);
        save = mn == ZYDIS_MNEMONIC_PUSH;
        at = s.r[kSp].off - (save ? 8 : 0);
    } else if (IsMove(mn) && ins_->operand_count_visible == 2) {
        const int mem = ops_[0].type == ZYDIS_OPERAND_TYPE_MEMORY ? 0 : 1;
        const Operand& other = ops_[1 - mem];
        if (ops_[mem].type != ZYDIS_OPERAND_TYPE_MEMORY || other.type != ZYDIS_OPERAND_TYPE_REGISTER) return false;
        Kind kind = kNone;
        bool indexed = false;
        if (!StackAddress(ops_[mem], s, kind, at, indexed) || (kind != kExact && kind != kAtMost) || indexed ||
            at >= 0)
            return false;
        save_kind = kind;
        code = code_of(other);
        save = mem == 0;
    } else {
        return false;
    }
    if (code < 0) return false;
    if (save) {
        if (!open(code)) return false;
        for (State::Save& e : s.saves) {
            if (e.code == 0xFF || (e.off == at && e.kind == save_kind)) {
                e = State::Save{static_cast<std::int32_t>(at), static_cast<std::uint8_t>(code), save_kind};
                s.pending |= static_cast<std::uint8_t>(code < 4 ? 1u << code : 0x10u << (code - 4));
                return true;
            }
        }
        return false;
    }
    for (State::Save& e : s.saves) {
        if (e.code == code && e.off == at && e.kind == save_kind) {
            e = State::Save{};
            restored = code;
            return false;
        }
    }
    return false;
}

// Building with ZANDREL_SIGNATURES_TRACE prints every instruction that changed what a walk knows.
Walker::Next Walker::Step(u32 rva, State& s) {
#ifdef ZANDREL_SIGNATURES_TRACE
    const Facts before = f_;
    const Next next = Decoded(rva, s);
    if (before.reg_reads != f_.reg_reads ||
        before.incomplete != f_.incomplete || before.escaped != f_.escaped || before.stack_args != f_.stack_args || before.arg_bytes != f_.arg_bytes)
        std::fprintf(stderr, "  [%x] %x len %u mnemonic %d: reads %02x incomplete %d stack %u bytes %u\n",
                     entry_, rva, ins_->length, ins_->mnemonic, f_.reg_reads, f_.incomplete,
                     f_.stack_args, f_.arg_bytes);
    return next;
#else
    return Decoded(rva, s);
#endif
}

Walker::Next Walker::Decoded(u32 rva, State& s) {
    current_ = &s;
    const Reg sp_before = s.r[kSp];
    const bool compensate = s.compensate;
    s.compensate = false;
    const Next next = Instruction(rva, s);
    if (!m_.x64_) {
        const ZydisMnemonic mn = ins_->mnemonic;
        if (compensate && mn == ZYDIS_MNEMONIC_SUB && ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER &&
            ops_[0].reg.gpr == kSp && ops_[1].type == ZYDIS_OPERAND_TYPE_IMMEDIATE)
            s.r[kSp] = sp_before;  // what the callee popped, taken back
        if (mn == ZYDIS_MNEMONIC_PUSH) {
            s.push_run = static_cast<std::uint16_t>(std::min(s.push_run + 4, 0xFFFF));
        } else if (mn == ZYDIS_MNEMONIC_CALL || !(s.r[kSp] == sp_before)) {
            s.push_run = 0;
        }
    }
    return next;
}

// The instruction at `rva` as ins_ and ops_, from what this walk decoded before when it can;
// false when no code of the image is there or it does not decode.
bool Walker::Decode(u32 rva) {
    std::vector<std::pair<u32, u32>>& slots = scratch_.decoded_slots;
    const u32 key = rva + 1;
    std::size_t i = (key * 2654435761u) & (slots.size() - 1);
    while (slots[i].first != 0 && slots[i].first != key) i = (i + 1) & (slots.size() - 1);
    if (slots[i].first == key) {
        cached_ = slots[i].second - 1;
        Repoint();
        return true;
    }
    return DecodeNew(rva, i);
}

// The instruction at `rva` decoded, and kept at slot `i` of the table when there is room.
bool Walker::DecodeNew(u32 rva, std::size_t i) {
    std::vector<std::pair<u32, u32>>& slots = scratch_.decoded_slots;
    const u32 key = rva + 1;
    u64 begin = 0, end = 0;
    if (!m_.CodeRegion(rva, begin, end)) return false;
    const std::string_view file = m_.file_;
    cached_ = SIZE_MAX;
    ins_ = &ins_buf_;
    ops_ = ops_buf_;
    // The instruction and then only its own operands (the whole decode would clear all ten).
    ZydisDecoderContext context;
    if (ZYAN_FAILED(ZydisDecoderDecodeInstruction(&decoder_, &context, file.data() + begin, end - begin, &decoded_ins_)))
        return false;
    const std::size_t n = decoded_ins_.operand_count;
    if (n > ZYDIS_MAX_OPERAND_COUNT ||
        ZYAN_FAILED(ZydisDecoderDecodeOperands(&decoder_, &context, &decoded_ins_, decoded_ops_, static_cast<ZyanU8>(n))))
        return false;
    ins_buf_ = Compact(decoded_ins_);
    // A hidden register that is neither a general nor a vector one (the flags, the instruction
    // pointer) is nothing the walk reads; it is not even made compact.
    std::size_t m = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const ZydisDecodedOperand& d = decoded_ops_[k];
        if (k >= decoded_ins_.operand_count_visible && d.type == ZYDIS_OPERAND_TYPE_REGISTER &&
            GprOf(d.reg.value) < 0 && XmmId(d.reg.value) < 0)
            continue;
        Compact(d, m_.x64_, ops_buf_[m++]);
    }
    ins_buf_.operand_count = static_cast<std::uint8_t>(m);
    ins_buf_.stack_op = IsStackOp(ins_buf_.mnemonic);
    ins_buf_.zero_idiom = IsZeroIdiom(ins_buf_, ops_buf_);
    Digest(ins_buf_, ops_buf_, m_.x64_);
    const std::size_t kept = KeepOperands(ins_buf_, ops_buf_);
    // The table is kept at most a quarter full, and half when it holds the most it may, so
    // probing always ends at a free slot.
    if (scratch_.decoded_slot.size() < kDecodedKept) {
        if ((scratch_.decoded_slot.size() + 1) * 4 > slots.size() && slots.size() < 2 * kDecodedKept) {
            GrowDecodedSlots();
            i = (key * 2654435761u) & (slots.size() - 1);
            while (slots[i].first != 0) i = (i + 1) & (slots.size() - 1);
        }
        decoded_.ins.push_back(ins_buf_);
        decoded_.first.push_back(static_cast<u32>(decoded_.ops.size()));
        decoded_.ops.insert(decoded_.ops.end(), ops_buf_, ops_buf_ + std::max(kept, kOpsKept));
        scratch_.decoded_slot.push_back(static_cast<u32>(i));
        slots[i] = {key, static_cast<u32>(decoded_.ins.size())};
    }
    return true;
}

void Walker::GrowDecodedSlots() {
    std::vector<std::pair<u32, u32>>& slots = scratch_.decoded_slots;
    std::vector<std::pair<u32, u32>> old(slots.size() * 2, {0, 0});
    old.swap(slots);
    scratch_.decoded_slot.clear();
    for (const auto& e : old) {
        if (e.first == 0) continue;
        std::size_t j = (e.first * 2654435761u) & (slots.size() - 1);
        while (slots[j].first != 0) j = (j + 1) & (slots.size() - 1);
        slots[j] = e;
        scratch_.decoded_slot.push_back(static_cast<u32>(j));
    }
}

Walker::Next Walker::Instruction(u32 rva, State& s) {
    if (!Decode(rva)) {
        Lose();
        return Next::Stop;
    }

    // An absolute address of the image in the instruction (a relocation falls inside it).
    if (!f_.acts) {
        // The first relocation at or above rva, found from where the last instruction's was:
        // straight code moves it a step or two.
        const std::vector<u32>& relocs = m_.relocs_;
        std::size_t at = reloc_hint_;
        if (at > relocs.size() || (at > 0 && relocs[at - 1] >= rva)) {
            at = static_cast<std::size_t>(std::lower_bound(relocs.begin(), relocs.end(), rva) - relocs.begin());
        } else {
            for (int steps = 0; at < relocs.size() && relocs[at] < rva; ++at)
                if (++steps > 8) {
                    at = static_cast<std::size_t>(std::lower_bound(relocs.begin() + static_cast<std::ptrdiff_t>(at),
                                                                   relocs.end(), rva) - relocs.begin());
                    break;
                }
        }
        reloc_hint_ = at;
        if (at < relocs.size() && relocs[at] < rva + ins_->length) f_.acts = true;
    }
    // Evidence first, from the state before the instruction.
    if (ins_->touches) f_.acts = true;
    for (unsigned m = ins_->mem_ops; m != 0; m &= m - 1) {
        const Operand& op = ops_[__builtin_ctz(m)];
        Access(op, s, op.mem.type == ZYDIS_MEMOP_TYPE_AGEN);
    }
    // x64 home-area spills of the argument registers still as they came: evidence only once
    // the path ends without walking them as the variadic part.
    bool spill = false;
    if (m_.x64_ && ins_->operand_count_visible >= 2 && ops_[0].type == ZYDIS_OPERAND_TYPE_MEMORY &&
        ops_[1].type == ZYDIS_OPERAND_TYPE_REGISTER) {
        Kind kind = kNone;
        i64 a = 0;
        bool indexed = false;
        if (StackAddress(ops_[0], s, kind, a, indexed) && kind == kExact && !indexed && a >= 8 && a < 0x28 &&
            a % 8 == 0) {
            const int p = static_cast<int>(a / 8) - 1;
            const int g = ops_[1].reg.arg;
            const int x = ops_[1].reg.xmm;
            if (g == p && s.gpr_written[p] < 8) {
                s.pending |= static_cast<std::uint8_t>(1u << p);
                spill = true;
            } else if (x == p && !(s.xmm_written & (1u << p))) {
                s.pending |= static_cast<std::uint8_t>(0x10u << p);
                spill = true;
            }
        }
    }
    const bool zero_idiom = ins_->zero_idiom;
    if (m_.x64_) Setups(s);
    int restored = -1;
    if (!spill && SaveOrRestore(s, restored)) spill = true;
    // The stub's copy for the system call says nothing of the count: the system reads as many as
    // it likes, so the copy counts only when read by anything else.
    if (m_.x64_ && ins_->mnemonic == ZYDIS_MNEMONIC_MOV && ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER &&
        ops_[0].reg.value == ZYDIS_REGISTER_R10 && ops_[1].type == ZYDIS_OPERAND_TYPE_REGISTER &&
        ops_[1].reg.value == ZYDIS_REGISTER_RCX && s.gpr_written[0] < 8) {
        Writes(s, true);
        s.r10_rcx = true;
        return Next::Fall;
    }
    if (!spill) ReadEvidence(s, zero_idiom);
    if (restored >= 0) {
        // The register holds the argument again: the load is no read of it, and later reads are.
        const std::uint8_t bit = static_cast<std::uint8_t>(restored < 4 ? 1u << restored : 0x10u << (restored - 4));
        bool still = false;
        for (const State::Save& e : s.saves)
            if (e.code == restored) still = true;
        if (!still) s.pending &= static_cast<std::uint8_t>(~bit);
        const Next next = Effects(rva, s);
        if (restored < 4) s.gpr_written[restored] = 0; else s.xmm_written &= static_cast<std::uint8_t>(~(1u << (restored - 4)));
        return next;
    }
    return Effects(rva, s);
}

Walker::Next Walker::Effects(u32 rva, State& s) {
    const ZydisMnemonic mn = ins_->mnemonic;
    // Stack addresses handed on as values.
    switch (mn) {
        case ZYDIS_MNEMONIC_MOV: case ZYDIS_MNEMONIC_LEA: case ZYDIS_MNEMONIC_ADD: case ZYDIS_MNEMONIC_SUB:
        case ZYDIS_MNEMONIC_CMP: case ZYDIS_MNEMONIC_TEST: case ZYDIS_MNEMONIC_AND:
            if (mn == ZYDIS_MNEMONIC_MOV && ops_[0].type == ZYDIS_OPERAND_TYPE_MEMORY &&
                ops_[1].type == ZYDIS_OPERAND_TYPE_REGISTER)
                Escapes(s, ops_[1].reg.gpr);  // stored away
            break;
        case ZYDIS_MNEMONIC_PUSH:
            // Kept on the stack: handed on only if a call finds it among its arguments.
            if (ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER &&
                (s.r[kSp].kind == kExact || s.r[kSp].kind == kAtMost))
                break;
            [[fallthrough]];
        default:
            for (unsigned m = ins_->escape_gprs; m != 0; m &= m - 1) Escapes(s, __builtin_ctz(m));
    }

    const std::uint8_t cmp_reg = s.cmp_reg;
    const u32 cmp_imm = s.cmp_imm;
    s.cmp_reg = 0xFF;
    const i64 width = slot_;

    switch (mn) {
        case ZYDIS_MNEMONIC_RET: {
            const Reg& sp = s.r[kSp];
            if (sp.kind == kLost || (sp.kind == kExact && sp.off == 0)) {
                u32 pop = 0;
                if (ins_->operand_count_visible >= 1 && ops_[0].type == ZYDIS_OPERAND_TYPE_IMMEDIATE)
                    pop = static_cast<u32>(ops_[0].imm.value.u & 0xFFFF);
                f_.AddReturn(pop);
                if (sp.kind == kLost) f_.incomplete = true;
            } else {
                Lose();  // a return into something pushed: not followed
            }
            return Next::Stop;
        }
        case ZYDIS_MNEMONIC_UD0: case ZYDIS_MNEMONIC_UD1: case ZYDIS_MNEMONIC_UD2: case ZYDIS_MNEMONIC_HLT:
            return Next::Stop;  // a trap: the path ends here
        case ZYDIS_MNEMONIC_INT:
            if (ops_[0].type == ZYDIS_OPERAND_TYPE_IMMEDIATE && ops_[0].imm.value.u == 0x29) return Next::Stop;
            break;
        case ZYDIS_MNEMONIC_INT3: {
            // A breakpoint resumes; two in a row are padding between functions.
            u64 b = 0, e = 0;
            if (m_.img_.Region(rva + 1, b, e) && m_.file_[b] == '\xCC') return Next::Stop;
            return Next::Fall;
        }
        case ZYDIS_MNEMONIC_IRET: case ZYDIS_MNEMONIC_IRETD: case ZYDIS_MNEMONIC_IRETQ:
        case ZYDIS_MNEMONIC_SYSENTER: case ZYDIS_MNEMONIC_SYSEXIT: case ZYDIS_MNEMONIC_SYSRET:
            Lose();
            return Next::Stop;
        case ZYDIS_MNEMONIC_SYSCALL:
            // The system reads whatever argument registers and stack it likes.
            Lose();
            Writes(s, true);
            return Next::Fall;
        case ZYDIS_MNEMONIC_CMP:
            // Only x86 switch tables are followed by their bound (JumpTable): on x64 a compare
            // leaves nothing in the state that tells paths apart.
            if (!m_.x64_ && ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER &&
                ops_[1].type == ZYDIS_OPERAND_TYPE_IMMEDIATE) {
                const int g = ops_[0].reg.gpr;
                if (g >= 0) {
                    s.cmp_reg = static_cast<std::uint8_t>(g);
                    s.cmp_imm = static_cast<u32>(ops_[1].imm.value.u);
                }
            }
            return Next::Fall;
        case ZYDIS_MNEMONIC_PUSH: {
            // The operand width, not the operand's: push 1 stores a whole slot.
            AdjustSp(s, -std::max<i64>(2, ins_->operand_width / 8));
            const int g = ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER ? ops_[0].reg.gpr : -1;
            const Reg sp = s.r[kSp];
            if (sp.kind == kExact || sp.kind == kAtMost) {
                for (State::Pushed& p : s.pushed)
                    if (p.value.kind != kNone && p.at_kind == sp.kind && p.at <= sp.off) p = State::Pushed{};
                if (g >= 0 && g != kSp && Stacky(s.r[g].kind)) {
                    for (State::Pushed& p : s.pushed)
                        if (p.value.kind == kNone) {
                            p = State::Pushed{s.r[g], sp.off, sp.kind};
                            break;
                        }
                }
            }
            return Next::Fall;
        }
        case ZYDIS_MNEMONIC_POP: {
            Reg back{};
            if (s.r[kSp].kind == kExact || s.r[kSp].kind == kAtMost)
                for (State::Pushed& p : s.pushed)
                    if (p.value.kind != kNone && p.at_kind == s.r[kSp].kind && p.at == s.r[kSp].off) {
                        back = p.value;
                        p = State::Pushed{};
                    }
            AdjustSp(s, std::max<i64>(2, ins_->operand_width / 8));
            if (ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER) {
                const int g = ops_[0].reg.gpr;
                if (g == kSp) {
                    s.r[kSp].kind = kLost;
                    return Next::Fall;
                }
                Writes(s, true);
                if (g >= 0) s.r[g] = back;
                return Next::Fall;
            }
            Writes(s, true);
            return Next::Fall;
        }
        case ZYDIS_MNEMONIC_PUSHA: case ZYDIS_MNEMONIC_PUSHAD:
            AdjustSp(s, -8 * (ins_->operand_width / 8));
            return Next::Fall;
        case ZYDIS_MNEMONIC_POPA: case ZYDIS_MNEMONIC_POPAD: {
            AdjustSp(s, 8 * (ins_->operand_width / 8));
            for (int g = 0; g < 8; ++g)
                if (g != kSp) s.r[g] = Reg{};
            return Next::Fall;
        }
        case ZYDIS_MNEMONIC_PUSHF: case ZYDIS_MNEMONIC_PUSHFD: case ZYDIS_MNEMONIC_PUSHFQ:
            AdjustSp(s, -(ins_->operand_width / 8));
            return Next::Fall;
        case ZYDIS_MNEMONIC_POPF: case ZYDIS_MNEMONIC_POPFD: case ZYDIS_MNEMONIC_POPFQ:
            AdjustSp(s, ins_->operand_width / 8);
            return Next::Fall;
        case ZYDIS_MNEMONIC_LEAVE:
            s.r[kSp] = !Stacky(s.r[kBp].kind) ? Reg{kLost, 0} : s.r[kBp];
            AdjustSp(s, width);
            s.r[kBp] = Reg{};
            return Next::Fall;
        case ZYDIS_MNEMONIC_ENTER: {
            AdjustSp(s, -width);
            s.r[kBp] = s.r[kSp];
            const i64 level = ops_[1].imm.value.u;
            if (level != 0) {
                s.r[kSp].kind = kLost;
            } else {
                AdjustSp(s, -static_cast<i64>(ops_[0].imm.value.u));
            }
            return Next::Fall;
        }
        case ZYDIS_MNEMONIC_MOV:
            if (ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER && ops_[1].type == ZYDIS_OPERAND_TYPE_MEMORY) {
                // A stack address loaded back from where it was pushed.
                const int d = ops_[0].reg.gpr;
                Kind kind = kNone;
                i64 a = 0;
                bool indexed = false;
                if (d >= 0 && d != kSp && ops_[0].size == width * 8 && StackAddress(ops_[1], s, kind, a, indexed) &&
                    !indexed && (kind == kExact || kind == kAtMost)) {
                    for (const State::Pushed& p : s.pushed)
                        if (p.value.kind != kNone && p.at_kind == kind && p.at == a) {
                            const Reg value = p.value;
                            Writes(s, true);
                            s.r[d] = value;
                            return Next::Fall;
                        }
                }
                // An imported function's address, loaded to be called through the register.
                u32 slot = 0;
                if (d >= 0 && d != kSp && ops_[0].size == width * 8 && ImportSlotOf(rva, ops_[1], slot)) {
                    Writes(s, true);
                    s.r[d] = Reg{kImport, static_cast<std::int32_t>(slot)};
                    return Next::Fall;
                }
            }
            if (ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER && ops_[1].type == ZYDIS_OPERAND_TYPE_REGISTER) {
                const int d = ops_[0].reg.gpr, r = ops_[1].reg.gpr;
                if (d >= 0 && r >= 0 && ops_[0].reg.bytes == width) {
                    const Reg copy = s.r[r];
                    const std::uint8_t bound_reg = s.bound_reg;
                    Writes(s, true);
                    s.r[d] = copy;
                    if (bound_reg == r) s.bound_reg = static_cast<std::uint8_t>(d);
                    if (d == kSp && !Stacky(copy.kind)) s.r[kSp] = Reg{kLost, 0};
                    return Next::Fall;
                }
            }
            break;
        case ZYDIS_MNEMONIC_MOVZX:
            if (ops_[0].type == ZYDIS_OPERAND_TYPE_REGISTER && ops_[1].type == ZYDIS_OPERAND_TYPE_REGISTER) {
                const int d = ops_[0].reg.gpr, r = ops_[1].reg.gpr;
                if (d >= 0 && r >= 0 && s.bound_reg == r) {
                    Writes(s, true);
                    s.bound_reg = static_cast<std::uint8_t>(d);
                    return Next::Fall;
                }
            }
            break;
        case ZYDIS_MNEMONIC_LEA: {
            const int d = ops_[0].reg.gpr;
            const int base = ops_[1].mem.base_gpr;
            Reg value{};
            if (base >= 0 && Stacky(s.r[base].kind)) {
                value = s.r[base];
                if (ops_[1].mem.index != ZYDIS_REGISTER_NONE) {
                    value.kind = kLost;
                } else if (value.kind != kLost) {
                    const i64 v = value.off + ops_[1].mem.disp.value;
                    if (v < -(1 << 24) || v > (1 << 24)) value.kind = kLost; else value.off = static_cast<std::int32_t>(v);
                }
            }
            Writes(s, true);
            if (d >= 0) {
                s.r[d] = value;
                if (d == kSp && !Stacky(value.kind)) s.r[kSp] = Reg{kLost, 0};
            }
            return Next::Fall;
        }
        case ZYDIS_MNEMONIC_ADD: case ZYDIS_MNEMONIC_SUB: case ZYDIS_MNEMONIC_AND: {
            if (ops_[0].type != ZYDIS_OPERAND_TYPE_REGISTER) break;
            const int d = ops_[0].reg.gpr;
            if (d < 0 || !Stacky(s.r[d].kind)) break;
            Reg value = s.r[d];
            if (ops_[1].type == ZYDIS_OPERAND_TYPE_IMMEDIATE) {
                const i64 imm = ops_[1].imm.value.s;
                if (mn == ZYDIS_MNEMONIC_AND) {
                    // Aligning down: at most where it was.
                    if (value.kind == kExact) value.kind = kAtMost;
                    if (imm >= 0) value.kind = kLost;
                } else if (value.kind != kLost) {
                    const i64 v = value.off + (mn == ZYDIS_MNEMONIC_ADD ? imm : -imm);
                    if (v < -(1 << 24) || v > (1 << 24)) value.kind = kLost; else value.off = static_cast<std::int32_t>(v);
                }
            } else if (mn == ZYDIS_MNEMONIC_SUB && d == kSp && value.kind != kLost) {
                value.kind = kAtMost;  // a run-time allocation on the stack
            } else {
                value.kind = kLost;
            }
            Writes(s, true);
            s.r[d] = value;
            return Next::Fall;
        }
        default:
            break;
    }

    const ZydisInstructionCategory cat = ins_->meta.category;
    if (mn == ZYDIS_MNEMONIC_CALL) {
        u32 target = 0;
        const ImportRef* import = nullptr;
        const bool known = Target(rva, ops_[0], target, import);
        const bool self_push = known && !import && target == rva + ins_->length;  // push of its address
        // x64: what a callee that never returns reads in the registers we pass on as they came
        // is ours all the same, so its code is walked too.
        Facts callee = !known ? UnknownFacts() : self_push ? Facts{} : Callee(target, import, m_.x64_);
        // Addresses in registers a callee may take its arguments in.
        if (m_.x64_) {
            for (int g : {1, 2, 8, 9}) Escapes(s, g);
        } else {
            // Compilers pass arguments in registers to their own functions (regparm clones):
            // those the callee reads as they come.
            for (int g : {0, 1, 2})
                if (callee.reg_reads & (1u << ArgPosition(g, false))) Escapes(s, g);
            // A pushed address just above the stack pointer is among the callee's arguments.
            for (const State::Pushed& p : s.pushed)
                if (p.value.kind == kExact && p.value.off >= 4 && p.at_kind == s.r[kSp].kind &&
                    p.at - s.r[kSp].off < s.push_run)
                        f_.Escape(static_cast<u32>(p.value.off - 4));
        }
        if (self_push) {
            AdjustSp(s, -width);
            return Next::Fall;
        }
        // x86: a callee we cannot see, called with the stack as it came, finds our arguments
        // right above the return address, as a system call stub's dispatcher reads them.
        if (!m_.x64_ && !known && s.r[kSp].kind == kExact && s.r[kSp].off == 0) f_.incomplete = true;
        f_.acts = true;
        f_.calls = true;
        if (m_.x64_) PassThrough(s, callee);
        if (callee.NoReturn()) return Next::Stop;
        if (!m_.x64_) {
            if (callee.returns && !callee.conflict) {
                AdjustSp(s, callee.ret_pop);
            } else if (s.push_run == 0 && (s.r[kSp].kind == kExact || s.r[kSp].kind == kAtMost)) {
                // Arguments stored, not pushed: a frame of fixed size, which the code keeps.
                // The callee pops none, or what a `sub esp, N` right after gives back.
                s.compensate = true;
            } else {
                s.r[kSp].kind = kLost;
            }
        }
        // A function of ours that never showed a return may well not return: what follows the
        // call might be the next function. A thunk into another DLL is that DLL's function,
        // called as through the import itself, and a call back into a function still being
        // walked says nothing either way.
        if (known && !import && !callee.returns && !callee.unseen) {
            Lose();
            return Next::Stop;
        }
        // The registers a call may change by convention.
        static constexpr int kVolatile64[] = {0, 1, 2, 8, 9, 10, 11};
        static constexpr int kVolatile32[] = {0, 1, 2};
        if (m_.x64_) {
            for (int g : kVolatile64) s.r[g] = Reg{};
        } else {
            for (int g : kVolatile32) s.r[g] = Reg{};
        }
        s.bound_reg = 0xFF;
        if (m_.x64_) {
            s.gpr_written = {8, 8, 8, 8};
            s.xmm_written = 0xF;
            s.setup = 0;
        } else {
            s.gpr_written = {8, 8, 8, 0};  // eax, edx, ecx: x86 has no fourth position
        }
        return Next::Fall;
    }
    if (mn == ZYDIS_MNEMONIC_JMP) {
        u32 target = 0;
        const ImportRef* import = nullptr;
        if (ops_[0].type == ZYDIS_OPERAND_TYPE_POINTER) {
            Lose();
            return Next::Stop;
        }
        const bool known = Target(rva, ops_[0], target, import);
        const bool at_entry = s.r[kSp].kind == kExact && s.r[kSp].off == 0;
        if (!known) {
            if (!JumpTable(rva, s)) Lose();
            return Next::Stop;
        }
        if (import) {
            if (!at_entry) {
                Lose();
                return Next::Stop;
            }
            if (m_.x64_)
                for (int g : {1, 2, 8, 9}) Escapes(s, g);
            TailCall(s, Callee(0, import, true));
            if (rva == entry_) f_.unseen = true;
            return Next::Stop;
        }
        if (at_entry && target != entry_ && m_.Start(target)) {
            if (m_.x64_)
                for (int g : {1, 2, 8, 9}) Escapes(s, g);
            TailCall(s, Callee(target, nullptr));
            return Next::Stop;
        }
        Push(target, s);
        return Next::Stop;
    }
    if (cat == ZYDIS_CATEGORY_COND_BR) {
        u32 target = 0;
        const ImportRef* import = nullptr;
        if (!Target(rva, ops_[0], target, import) || import) {
            Lose();
            return Next::Stop;
        }
        State& taken = Push(target, s);  // the fall-through's own changes come after
        if (cmp_reg != 0xFF) {
            // An index proven below a bound on one side of the branch.
            if (mn == ZYDIS_MNEMONIC_JNBE) { s.bound_reg = cmp_reg; s.bound = cmp_imm + 1; }
            if (mn == ZYDIS_MNEMONIC_JNB) { s.bound_reg = cmp_reg; s.bound = cmp_imm; }
            if (mn == ZYDIS_MNEMONIC_JBE) { taken.bound_reg = cmp_reg; taken.bound = cmp_imm + 1; }
            if (mn == ZYDIS_MNEMONIC_JB) { taken.bound_reg = cmp_reg; taken.bound = cmp_imm; }
        }
        return Next::Fall;
    }
    if (cat == ZYDIS_CATEGORY_UNCOND_BR || cat == ZYDIS_CATEGORY_RET || cat == ZYDIS_CATEGORY_CALL) {
        Lose();  // a far or unusual transfer
        return Next::Stop;
    }
    Writes(s, false);
    return Next::Fall;
}

u32* Walker::SeenFind(u32 rva) {
    const u32 key = rva + 1;
    std::size_t i = (key * 2654435761u) & (seen_slots_.size() - 1);
    while (seen_slots_[i].first != 0) {
        if (seen_slots_[i].first == key) return &seen_slots_[i].second;
        i = (i + 1) & (seen_slots_.size() - 1);
    }
    return nullptr;
}

u32& Walker::SeenHead(u32 rva) {
    if ((seen_used_ + 1) * 2 > seen_slots_.size()) {
        std::vector<std::pair<u32, u32>> old(seen_slots_.size() * 2, {0, 0});
        old.swap(seen_slots_);
        for (const auto& e : old) {
            if (e.first == 0) continue;
            std::size_t i = (e.first * 2654435761u) & (seen_slots_.size() - 1);
            while (seen_slots_[i].first != 0) i = (i + 1) & (seen_slots_.size() - 1);
            seen_slots_[i] = e;
        }
    }
    const u32 key = rva + 1;
    std::size_t i = (key * 2654435761u) & (seen_slots_.size() - 1);
    while (seen_slots_[i].first != 0 && seen_slots_[i].first != key) i = (i + 1) & (seen_slots_.size() - 1);
    if (seen_slots_[i].first == 0) {
        seen_slots_[i].first = key;
        ++seen_used_;
    }
    return seen_slots_[i].second;
}

Facts Walker::Run() {
    const InferLimits& limits = m_.session_.Limits();
    State start;
    start.r[kSp] = Reg{kExact, 0};
    work_.emplace_back(entry_, start);
    while (work_.size() > work_base_) {
        u32 rva = work_.back().rva;
        State s = work_.back().s;
        work_.pop_back();
        bool fell = false;
        // The first export entry at or above rva: a path only falls forward, so it moves on
        // instead of being searched for at every instruction.
        const std::vector<u32>& starts = m_.starts_;
        auto next_start = std::lower_bound(starts.begin(), starts.end(), rva);
        for (;;) {
            if (fell && rva != entry_) {
                if (next_start != starts.begin() && *(next_start - 1) >= rva)  // wrapped round
                    next_start = std::lower_bound(starts.begin(), starts.end(), rva);
                while (next_start != starts.end() && *next_start < rva) ++next_start;
                if (next_start != starts.end() && *next_start == rva) {
                    // Running into another export: the call before it did not return after all.
                    Lose();
                    break;
                }
            }
            // States are kept where paths may meet: where a jump leads (a work item starts) and
            // wherever states are kept already. Straight code between follows from them.
            u32* at = SeenFind(rva);
            if (!at && !fell) at = &SeenHead(rva);
            if (!at) {
                if (++steps_ > limits.InstructionsPerFunction || !m_.session_.Spend(1)) {
                    Lose();
                    out_of_budget_ = true;
                    break;
                }
                if (Step(rva, s) == Next::Stop) break;
                rva += ins_->length;
                fell = true;
                continue;
            }
            Settle(s);
            u32& head = *at;
            u64 hash = HashState(s);
            auto known = [&]() {
                for (u32 i = head; i != 0; i = seen_nodes_[i - 1].next)
                    if (seen_nodes_[i - 1].hash == hash && seen_nodes_[i - 1].s == s) return true;
                return false;
            };
            if (known()) break;
            // Back at an instruction with a stack address moved on: a loop walking the stack.
            // Its register is given up rather than followed through memory it never reaches.
            bool widened = false;
            u32 count = 0;
            // Only registers holding a known stack address can widen (to lost, which stays).
            std::uint8_t known_regs[16];
            std::size_t known_count = 0;
            for (std::size_t g = 0; g < s.r.size(); ++g)
                if (s.r[g].kind == kExact || s.r[g].kind == kAtMost) known_regs[known_count++] = static_cast<std::uint8_t>(g);
            for (u32 i = head; i != 0; i = seen_nodes_[i - 1].next, ++count) {
                const State& o = seen_nodes_[i - 1].s;
                for (std::size_t k = 0; k < known_count; ++k) {
                    const std::size_t g = known_regs[k];
                    if (o.r[g].kind == s.r[g].kind && (s.r[g].kind == kExact || s.r[g].kind == kAtMost) &&
                        o.r[g].off != s.r[g].off) {
                        s.r[g] = Reg{kLost, 0};
                        widened = true;
                    }
                }
            }
            if (widened) {
                hash = HashState(s);
                if (known()) break;
            }
            if (count >= limits.StatesPerAddress) {
                Lose();
                break;
            }
            seen_nodes_.emplace_back(s, hash, head);
            head = static_cast<u32>(seen_nodes_.size());
            if (++steps_ > limits.InstructionsPerFunction || !m_.session_.Spend(1)) {
                Lose();
                out_of_budget_ = true;
                break;
            }
            if (Step(rva, s) == Next::Stop) break;
            rva += ins_->length;
            fell = true;
        }
        Flush(s);
        if (out_of_budget_) break;
    }
    // The variadic part is no argument a caller must pass, on paths without va_start either.
    if (f_.variadic_from < 4) {
        for (u32 p = f_.variadic_from; p < 4; ++p) f_.reg_reads &= static_cast<std::uint8_t>(~(0x11u << p));
    }
    return f_;
}


Facts Module::Function(u32 rva, int depth) {
    auto it = memo_.find(rva);
    if (it != memo_.end()) {
        // A function still being walked: recursion, which says nothing new.
        if (it->second.busy) {
            Facts f = UnknownFacts();
            f.unseen = true;
            return f;
        }
        // Facts cut short at the limit of nested calls are walked again from a shallower
        // call, which may follow further; so a function's answer does not depend on how
        // deep it was first met. (At most once per level of depth.)
        if (!it->second.facts.cut || depth >= it->second.depth) return it->second.facts;
    }
    if (depth > static_cast<int>(session_.Limits().CallDepth)) {
        Facts f = UnknownFacts();
        f.cut = true;
        return f;
    }
    memo_[rva] = Memo{};
    Walker w(*this, rva, depth);
    Facts f = w.Run();
    Memo& m = memo_[rva];
    m.facts = f;
    m.busy = false;
    m.depth = depth;
    return f;
}

Facts Module::ExportAt(const PeExport& e, int depth, int forward_depth) {
    if (!e.Forwarder.empty()) {
        const std::size_t dot = e.Forwarder.rfind('.');
        if (dot == std::string::npos || dot == 0) return UnknownFacts();
        ImportRef ref;
        const std::string_view forwarder = e.Forwarder;
        ref.dll = forwarder.substr(0, dot);
        const std::string_view rest = forwarder.substr(dot + 1);
        if (!rest.empty() && rest[0] == '#') {
            // The number runs to the end of the forwarder's text, which ends in a zero.
            ref.ordinal = static_cast<u32>(std::strtoul(rest.data() + 1, nullptr, 10));
        } else {
            ref.name = rest;
        }
        if (ref.name.empty() && ref.ordinal == 0) return UnknownFacts();
        return session_.Import(ref, img_.Machine, depth, forward_depth, true);
    }
    if (e.Data || !IsCode(e.Rva)) return UnknownFacts();
    return Function(e.Rva, depth);
}

Facts Module::Export(std::string_view name, u32 ordinal, int depth, int forward_depth) {
    if (!name.empty()) {
        const std::vector<PeExport>& named = exports_->Named;
        if (!by_name_made_) {
            by_name_.resize(named.size());
            for (std::size_t i = 0; i < named.size(); ++i) by_name_[i] = static_cast<u32>(i);
            std::stable_sort(by_name_.begin(), by_name_.end(),
                             [&named](u32 a, u32 b) { return named[a].Name < named[b].Name; });
            by_name_made_ = true;
        }
        auto it = std::lower_bound(by_name_.begin(), by_name_.end(), name,
                                   [&named](u32 i, std::string_view n) { return named[i].Name < n; });
        if (it == by_name_.end() || named[*it].Name != name) return UnknownFacts();
        return ExportAt(named[*it], depth, forward_depth);
    }
    for (const auto* list : {&exports_->Named, &exports_->OrdinalOnly})
        for (const PeExport& e : *list)
            if (e.Ordinal == ordinal) return ExportAt(e, depth, forward_depth);
    return UnknownFacts();
}

Signature Judge(const Facts& f, bool x64) {
    Signature sig;
    if (f.conflict) return sig;
    if (!x64) {
        // What a return pops tells the convention; without one nothing does. The stack slots
        // read are arguments all the same (a function that only exits or throws, or hands on
        // through a pointer), so they give what it takes at least, under no convention.
        if (!f.returns) {
            if (f.arg_bytes == 0 || f.arg_bytes > 1024 || f.escaped) return sig;
            sig.Count = (f.arg_bytes + 3) / 4;
            sig.Sure = Certainty::LowerBound;
            return sig;
        }
        if (f.ret_pop > 0) {
            if (f.ret_pop % 4 != 0 || f.ret_pop > 1024) return sig;
            // Code that touches more of the stack than it pops was not understood.
            if (f.arg_bytes > f.ret_pop) return sig;
            sig.Convention = CallConvention::Stdcall;
            sig.Sure = Certainty::Exact;
            sig.Count = f.ret_pop / 4;
            return sig;
        }
        sig.Convention = CallConvention::Cdecl;
        sig.Count = (f.arg_bytes + 3) / 4;
        // The caller pops, so nothing in the code bounds the count: a parameter never read
        // leaves no trace. Measured on thousands of real functions, two shapes take what they
        // read often enough to be called exact (docs/SIGNATURES.md): code that reads no argument
        // yet does something (one that only returns a constant may well ignore what it is
        // given), and code that reads arguments and calls nothing. The rest are lower bounds.
        const bool shown = sig.Count == 0 ? f.acts : !f.calls;
        sig.Sure = f.incomplete || f.escaped || !shown ? Certainty::LowerBound : Certainty::Exact;
        if (f.escaped) {
            sig.Variadic = true;
            sig.Count = std::max(sig.Count, f.escaped_at / 4);
        }
        return sig;
    }
    u32 count = 0;
    for (int p = 0; p < 4; ++p)
        if (f.reg_reads & (0x11u << p)) count = static_cast<u32>(p + 1);
    count = std::max(count, f.stack_args);
    // The convention is the machine's, and the registers read before written are arguments
    // whether or not a return was seen: a function that only throws, or ends in a jump through
    // a pointer (a virtual function called for us), still shows what it takes at least. Without
    // a return and without a read there is nothing to tell.
    if (!f.returns && count == 0 && f.variadic_from == UINT32_MAX) return sig;
    sig.Convention = CallConvention::X64;
    sig.Count = count;
    // Nothing bounds the count from above: the caller cleans up, and an argument never read
    // (in a register or on the stack) leaves no trace. No shape of x64 code was found whose
    // count is exact often enough to be called exact (docs/SIGNATURES.md), so every count is
    // what the code shows it takes at least.
    sig.Sure = Certainty::LowerBound;
    if (f.variadic_from != UINT32_MAX) {
        sig.Variadic = true;
        sig.Count = f.variadic_from;
    }
    return sig;
}

}  // namespace

std::vector<Signature> InferSignatures(std::string_view image, const PeExports& exports,
                                       const ImageLoader& loader, const InferLimits& limits) {
    std::vector<Signature> out(exports.Named.size());
    Session session(loader, limits);
    Module self(session, image);
    if (!self.Open(&exports)) return out;
    session.Register(exports.DllName, &self);
    for (std::size_t i = 0; i < exports.Named.size(); ++i)
        out[i] = Judge(self.ExportAt(exports.Named[i], 0, 0), self.X64());
    return out;
}

std::vector<Signature> InferSignatures(std::string_view image, const PeExports& exports,
                                       const ImageLoader& loader) {
    return InferSignatures(image, exports, loader, InferLimits{});
}

Signature InferSignatureAt(std::string_view image, std::uint32_t rva, const ImageLoader& loader,
                           const InferLimits& limits) {
    Session session(loader, limits);
    Module self(session, image);
    if (!self.Open(nullptr)) return Signature{};
    session.Register(self.Exports().DllName, &self);
    return Judge(self.Function(rva, 0), self.X64());
}

const char* CallConventionText(CallConvention c) {
    switch (c) {
        case CallConvention::Stdcall: return "stdcall";
        case CallConvention::Cdecl: return "cdecl";
        case CallConvention::X64: return "x64";
        default: return "unknown";
    }
}

const char* CertaintyText(Certainty c) {
    switch (c) {
        case Certainty::Exact: return "exact";
        case Certainty::LowerBound: return "at least";
        default: return "unknown";
    }
}

}  // namespace zandrel::librarian
