#include "preview/HostEditor.h"

#include <cstdint>
#include <memory>
#include <string>

#include "Scintilla.h"
#include "base/Number.h"
#include "preview/Encoding.h"

namespace zandrel {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr) CloseHandle(h);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// A block of memory inside another process, released with it.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, std::size_t size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    void* address() const { return address_; }
    // Leaves the block to the host: it may still read it after we stopped waiting.
    void Keep() { address_ = nullptr; }

private:
    HANDLE process_;
    void* address_;
};

}  // namespace

HWND HostEditorHandle() {
    const DWORD needed = GetEnvironmentVariableA(kHostEditorVariable, nullptr, 0);
    if (needed == 0) return nullptr;
    std::string value(needed, '\0');
    const DWORD got = GetEnvironmentVariableA(kHostEditorVariable, value.data(), needed);
    if (got == 0 || got >= needed) return nullptr;
    value.resize(got);
    // Window handles are 32-bit values on every Windows; widen them as the system does, by sign
    // extension.
    const auto handle32 = static_cast<std::int32_t>(static_cast<std::uint32_t>(ParseNumber(value)));
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle32));
}

HANDLE OpenHostProcess(HWND window) {
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0) return nullptr;
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
}

bool IsScintillaWindow(HWND window) {
    char name[64] = {};
    return window != nullptr && GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, "Scintilla") == 0;
}

bool InsertIntoHostEditor(const std::string& text) {
    const std::string copy = text;
    HWND window = HostEditorHandle();
    // A handle that outlived its editor may name another program's window by now: nothing is
    // allocated, written or sent anywhere but in a Scintilla editor.
    if (!IsScintillaWindow(window)) return false;
    UniqueHandle process(OpenHostProcess(window));
    if (!process) return false;

    DWORD_PTR codePage = 0;
    if (!SendMessageTimeoutA(window, SCI_GETCODEPAGE, 0, 0, SMTO_ABORTIFHUNG, kHostAnswerMs, &codePage))
        return false;
    const std::string bytes = codePage == SC_CP_UTF8 ? AnsiToUtf8(copy) : copy;
    if (bytes.empty()) return false;  // nothing to insert

    RemoteBlock block(process.get(), bytes.size());
    if (block.address() == nullptr) return false;
    SIZE_T written = 0;
    // A short write would leave zero bytes in the block: the host would receive them as text.
    if (!WriteProcessMemory(process.get(), block.address(), bytes.data(), bytes.size(), &written) ||
        written != bytes.size()) {
        return false;
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, SCI_ADDTEXT, bytes.size(), reinterpret_cast<LPARAM>(block.address()),
                             SMTO_ABORTIFHUNG, kHostAnswerMs, &result)) {
        block.Keep();
        return false;
    }
    return true;
}

}  // namespace zandrel
