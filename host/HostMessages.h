#pragma once
// The rules of the host's event and message handling that need no window: which kind of event a
// page raised, what a log-in hand-over must carry, the application-key answer, how a page call is
// answered, and what the program accepts back through window messages that carry pointers. Texts
// are UTF-8 unless a name says ANSI.
#include "actions/CustomAttributeUnit.h"
#include "actions/DispatchPorts.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

// Messages of the host context's own window.
inline constexpr unsigned kMsgCopyData = 74; // WM_COPYDATA
inline constexpr unsigned kMsgReserved = 1124;
inline constexpr unsigned kMsgInitMessageCentre = 1125;
inline constexpr unsigned kMsgShowLoginForm = 2025;
inline constexpr unsigned kMsgAnswerCaller = 2026;
inline constexpr unsigned kMsgUpdateLoginUser = 2027;
// Posted to an instance that asked who is there (code 3 of the registered message).
inline constexpr unsigned kMsgPresenceAnswer = 3025;

// Codes of the registered message (its word parameter).
inline constexpr uintptr_t kInstanceAnswer = 1;   // a running instance answers a new one
inline constexpr uintptr_t kInstanceStarted = 2;  // a new instance started
inline constexpr uintptr_t kInstancePresence = 3; // who is there?
inline constexpr uintptr_t kInstanceHelp = 4;     // open the help page

// Results of the log-in hand-over, the sender's only report.
inline constexpr int32_t kHandOverDone = 100;
inline constexpr int32_t kHandOverNotJson = 202;
inline constexpr int32_t kHandOverNoToken = 203;
inline constexpr int32_t kHandOverNoLoginInfo = 204;
inline constexpr int32_t kHandOverNoAccountId = 205;
inline constexpr int32_t kHandOverRefused = 206;
// Message 2026 was answered.
inline constexpr int32_t kCallerAnswered = 100;

// What the host does with a main-window event.
enum class TMainEventKind {
    Ignored,      // type 8
    Popup,        // type 2
    PageLoaded,   // type 3
    PageCall,     // any other type with a "." in the name
    OpenLogin,    // type 9 "OpenLogin"
    AppKey,       // type 10 "appKey"
    EmptyRequest, // type 10, any other name: answered with empty text
    Nothing,      // anything else
};
TMainEventKind ClassifyMainFormEvent(int32_t iEventType, std::string_view sEventName);

// A log-in hand-over block checked: Code is 0 when it may go on to the account service, else the
// result for the sender. TextAnsi is the block's text up to its first zero byte, never beyond
// the block's size.
struct TLoginHandOver {
    int32_t Code = 0;
    std::string TextAnsi;
};
TLoginHandOver CheckLoginHandOver(const void* data, size_t size);

// Milliseconds between 1970-01-01 08:00:00 and the given local wall-clock time, both read as
// wall-clock times (whole milliseconds since 1970-01-01 00:00:00 of the same clock); always
// positive.
int64_t AppKeyTimeStamp(int64_t localWallClockMs);
// The answer to the "appKey" request.
std::string AppKeyText(std::string_view timeStamp, std::string_view productCode, std::string_view productKey);
// The address a pop-up is sent to when a pop-up form page is configured.
std::string PopupFormUrl(std::string_view popFormUrl, std::string_view encryptedUrl);
// The report shown after the log-in form has closed.
std::string LoginFormReport(int32_t result, int32_t paramCount, std::string_view paramText);
// "true" in any letter case.
bool IsTrueText(std::string_view text);

// How a page call was answered.
enum class TPageAnswer {
    None,       // CLError (context released) or CLAsync (the runner answers)
    ByCaller,   // sent to the page's callback
    ReturnText, // left as the call's return text
};
// Answers a page call as its outcome says: CLSync goes to the caller number when there is one,
// otherwise into the call's return text. The caller releases its own reference afterwards.
TPageAnswer AnswerPageCall(TCurrentCallerType outcome, TCallerContext& context, IDispatchPort& port);

// Pointers this program handed out and will accept back through a window message. Any process
// can send those messages with any number in them, so a pointer is only ever used after it has
// been found here. Safe on any thread.
class TOwnedPointers {
public:
    void Add(const void* pointer);
    // True when the pointer was registered (it is not any more).
    bool Remove(const void* pointer);
    bool Contains(const void* pointer) const;
    size_t Count() const;

private:
    mutable std::mutex FLock;
    std::unordered_set<const void*> FPointers;
};

// The record message 2026 points at: its third pointer-sized member is the caller context. The
// record is the sender's; the context is answered only when it is one of this program's live
// caller contexts (TCallerContext::FindLive).
struct TCallerAnswerRecord {
    void* Reserved1 = nullptr;
    void* Reserved2 = nullptr;
    TCallerContext* Context = nullptr;
};
static_assert(offsetof(TCallerAnswerRecord, Context) == 2 * sizeof(void*), "third pointer-sized member");

// Hand-over buffers allocated for message 2027.
TOwnedPointers& HandOverBuffers();
