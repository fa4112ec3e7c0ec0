// The structured-exception guard of CallForeign, for i386: a registration record on the handler
// chain at FS:[0] whose handler unwinds the foreign frames (RtlUnwind runs their own handlers,
// finally blocks included) and resumes at the guard with __builtin_longjmp. Nothing is allocated
// and nothing but the fault's details is touched while the exception is being dispatched.
#include "foundation/ForeignCall.h"

#include "foundation/TextCodec.h"
#include "foundation/WinProcess.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kUnwindFlags = 0x2 /*unwinding*/ | 0x4 /*exit unwind*/ | 0x10 /*nested call*/;
constexpr size_t kMessageBytes = 2048;

struct TFault {
    DWORD Code = 0;
    void* Address = nullptr;
    ULONG_PTR Params[2] = {};
    DWORD ParamCount = 0;
    // An Object Pascal exception's message as its counted string held it.
    bool HasMessage = false;
    unsigned ElemSize = 1;
    unsigned CodePage = 0;
    size_t MessageBytes = 0;
    unsigned char Message[kMessageBytes];
};

using THandler = EXCEPTION_DISPOSITION(__cdecl*)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);

// Registration record first: the system hands the handler this address as its establisher frame.
struct TGuardFrame {
    void* Next;
    THandler Handler;
    void* Jump[5];
    TFault* Fault;
};

void* ChainHead() {
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(void* head) {
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

bool ReadBytes(const void* from, void* to, size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), from, to, size, &read) && read == size;
}

// The exception object's message: the first field after the class pointer, a counted string.
// Current headers are {code page, element size, reference count, length}; older ones lack the
// first two words and hold 8-bit text.
void CaptureMessage(TFault& fault, const void* object) {
    const char* text = nullptr;
    if (!ReadBytes(static_cast<const char*>(object) + sizeof(void*), &text, sizeof text)) return;
    fault.HasMessage = true;
    if (text == nullptr) return; // an empty string
    int32_t length = 0;
    if (!ReadBytes(text - 4, &length, sizeof length) || length < 0) {
        fault.HasMessage = false;
        return;
    }
    uint16_t words[2] = {};
    if (ReadBytes(text - 12, words, sizeof words) && (words[1] == 1 || (words[1] == 2 && words[0] == 1200))) {
        fault.CodePage = words[0];
        fault.ElemSize = words[1];
    }
    size_t bytes = static_cast<size_t>(length) * fault.ElemSize;
    if (bytes > kMessageBytes) bytes = kMessageBytes - kMessageBytes % fault.ElemSize;
    if (!ReadBytes(text, fault.Message, bytes)) {
        fault.HasMessage = false;
        return;
    }
    fault.MessageBytes = bytes;
}

bool InOwnImage(const void* address) {
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module) &&
           module == GetModuleHandleW(nullptr);
}

bool Recoverable(const EXCEPTION_RECORD& record) {
    switch (record.ExceptionCode) {
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_NONCONTINUABLE_EXCEPTION:
    case EXCEPTION_INVALID_DISPOSITION:
    case 0xC0000374: // heap corruption
    case 0xC0000409: // stack buffer overrun, fail-fast
        return false;
    default:
        return !InOwnImage(record.ExceptionAddress);
    }
}

} // namespace

extern "C" {

[[noreturn]] void __cdecl ForeignGuardResume(TGuardFrame* frame) {
    SetChainHead(frame->Next);
    __builtin_longjmp(frame->Jump, 1);
}

// ForeignGuardUnwind(frame, record, RtlUnwind): RtlUnwind may clobber every register but EBP on
// some systems, so it is called from a frame that needs nothing else, as Wine's own guards do.
[[noreturn]] void __cdecl ForeignGuardUnwind(TGuardFrame* frame, EXCEPTION_RECORD* record, void* unwind);
__asm__(".text\n"
        ".globl _ForeignGuardUnwind\n"
        "_ForeignGuardUnwind:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl $0\n"       // return value
        "  pushl 12(%ebp)\n" // exception record
        "  pushl $0\n"       // target address: return here
        "  pushl 8(%ebp)\n"  // target frame: ours, which stays on the chain
        "  call *16(%ebp)\n"
        "  pushl 8(%ebp)\n"
        "  call _ForeignGuardResume\n");

EXCEPTION_DISPOSITION __cdecl ForeignGuardHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                                  void*) {
    if (record->ExceptionFlags & kUnwindFlags) return ExceptionContinueSearch;
    if (!Recoverable(*record)) return ExceptionContinueSearch;
    auto* frame = static_cast<TGuardFrame*>(establisher);
    TFault& fault = *frame->Fault;
    fault.Code = record->ExceptionCode;
    fault.Address = record->ExceptionAddress;
    fault.ParamCount = record->NumberParameters;
    for (DWORD i = 0; i < 2 && i < record->NumberParameters; ++i)
        fault.Params[i] = record->ExceptionInformation[i];
    if (fault.Code == kPascalExceptionCode && fault.ParamCount >= 2 && fault.Params[1] != 0)
        CaptureMessage(fault, reinterpret_cast<const void*>(fault.Params[1]));
    ForeignGuardUnwind(frame, record, reinterpret_cast<void*>(&RtlUnwind));
}

} // extern "C"

namespace {

// Kept free of C++ objects with destructors: the frames below it may be abandoned.
__attribute__((noinline)) bool RunFrame(foreign_detail::TThunk thunk, void* call, TFault* fault) {
    TGuardFrame frame;
    frame.Handler = &ForeignGuardHandler;
    frame.Fault = fault;
    frame.Next = ChainHead();
    if (__builtin_setjmp(frame.Jump)) return false; // the handler took the record off the chain
    SetChainHead(&frame);
    thunk(call);
    SetChainHead(frame.Next);
    return true;
}

std::string Hex8(uintptr_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::string MessageText(const TFault& fault) {
    const auto* bytes = reinterpret_cast<const char*>(fault.Message);
    if (fault.ElemSize == 2) {
        std::u16string text(fault.MessageBytes / 2, u'\0');
        std::memcpy(text.data(), bytes, text.size() * 2);
        return Utf16ToUtf8(text);
    }
    const std::string_view text(bytes, fault.MessageBytes);
    const unsigned codePage = fault.CodePage;
    if (codePage == CP_UTF8) return std::string(text);
    if (codePage == 0 || codePage == 0xFFFF || codePage == GetACP() || text.empty()) return AnsiToUtf8(text);
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return AnsiToUtf8(text);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return Narrow(wide);
}

std::string ForeignFaultText(uint32_t code, const void* address, const uintptr_t* params,
                             unsigned paramCount) {
    if (code == EXCEPTION_ACCESS_VIOLATION && paramCount >= 2) {
        const char* kind = params[0] == 1 ? "Write" : params[0] == 8 ? "Execute" : "Read";
        const std::string module = ModuleNameAt(address);
        return "Access violation at address " + Hex8(reinterpret_cast<uintptr_t>(address)) +
               (module.empty() ? "" : " in module '" + module + "'") + ". " + kind + " of address " +
               Hex8(params[1]);
    }
    char text[40];
    std::snprintf(text, sizeof text, "External exception %X", static_cast<unsigned>(code));
    return text;
}

} // namespace

void foreign_detail::RunGuarded(TThunk thunk, void* call) {
    TFault fault;
    if (RunFrame(thunk, call, &fault)) return;
    if (fault.HasMessage) throw EForeignException(MessageText(fault), fault.Code);
    const uintptr_t params[2] = {fault.Params[0], fault.Params[1]};
    throw EForeignException(ForeignFaultText(fault.Code, fault.Address, params, fault.ParamCount),
                            fault.Code);
}
