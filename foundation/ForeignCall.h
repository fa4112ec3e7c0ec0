#pragma once
// Every call into foreign code (an outside library's export, an entry of a record it publishes, a
// slot of an object it hands out, an extension module's function) goes through CallForeign.
//
// The outside libraries are Object Pascal programs: they fail by raising a structured exception
// (code 0x0EEDFADE for their own exceptions), and they crash with access violations. On Win32,
// CallForeign runs the call under a structured-exception frame: an exception raised inside is
// unwound through the library's own frames (its finally blocks run) and arrives here as
// EForeignException, which the caller handles like any other failure. A stack overflow and the
// exceptions that mean the process is corrupted are not recovered: they reach the crash report.
// So is a fault raised in this program's own image (a callback of ours that crashed).
//
// Rules for the callable: it does the foreign call and nothing else. The frames between the
// guard and the fault are abandoned, so whatever needs a destructor (converted texts, locks)
// lives in the caller's frame, outside the call; results are plain values.
//
// Natively the guard is a plain call.
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

// A structured exception raised inside foreign code. what() is the text an Object Pascal program
// would show for it: the exception object's message, "Access violation at address ...", or
// "External exception %X".
struct EForeignException : std::runtime_error {
    EForeignException(const std::string& message, uint32_t code) : std::runtime_error(message), Code(code) {}
    uint32_t Code;
};

inline constexpr uint32_t kPascalExceptionCode = 0x0EEDFADE;

namespace foreign_detail {

using TThunk = void (*)(void* call) noexcept;
// Runs thunk(call) guarded; throws EForeignException when a recoverable structured exception was
// raised inside.
void RunGuarded(TThunk thunk, void* call);

template <class R>
struct TResultSlot {
    R Value{};
};
template <>
struct TResultSlot<void> {};

template <class F, class... A>
struct TCall {
    using R = std::invoke_result_t<F, A...>;
    static_assert(std::is_void_v<R> || std::is_trivially_destructible_v<R>,
                  "a foreign call answers plain values");
    F& Fn;
    std::tuple<A&&...> Args;
    TResultSlot<R> Result;
    std::exception_ptr Error; // lives in the caller's frame, never abandoned

    static void Run(void* p) noexcept {
        auto& call = *static_cast<TCall*>(p);
        try {
            if constexpr (std::is_void_v<R>)
                std::apply(call.Fn, std::move(call.Args));
            else
                call.Result.Value = std::apply(call.Fn, std::move(call.Args));
        } catch (...) {
            call.Error = std::current_exception();
        }
    }
};

} // namespace foreign_detail

// f(args...) guarded: a function pointer with its arguments, a member function pointer with the
// object and its arguments, or a small callable that makes one foreign call.
template <class F, class... A>
decltype(auto) CallForeign(F&& f, A&&... args) {
#ifdef _WIN32
    using TCall = foreign_detail::TCall<F, A...>;
    TCall call{f, std::forward_as_tuple(std::forward<A>(args)...), {}, {}};
    foreign_detail::RunGuarded(&TCall::Run, &call);
    if (call.Error) std::rethrow_exception(call.Error);
    if constexpr (!std::is_void_v<typename TCall::R>) return call.Result.Value;
#else
    return std::invoke(std::forward<F>(f), std::forward<A>(args)...);
#endif
}
