#pragma once
// The whole contract with the push-message library "ZRPNSApi.dll": where it lies, every export
// with its argument order, the buffers the program hands it, the delivery callback and the
// message filter. Shared by the program (services/ConsumerHelper_win.cpp) and its stand-in.
// Binary rules of the maker's libraries: webbridge/BinaryConventions.md. In particular:
// - Exports, the callback, the filter and interface slots are stdcall (APPFRAME_STDCALL).
// - Texts given to the library are zero-terminated UTF-16 (`const char16_t*`); the program never
//   passes nil for them (an empty text is a pointer to a zero character).
// - Buffers the library fills are handed over as the address of a variable holding the buffer's
//   address (`char16_t**`). The program zeroes each buffer before the call and reads it as UTF-16
//   up to the first zero character or the end of the buffer, whichever comes first: the library
//   may fill a buffer to the last byte without a terminating zero. The library writes into the
//   buffer the variable points at and never stores another address in the variable.
// - 64-bit offsets go by value (8 bytes on the stack) or by address (`int64_t*`, in/out).
// - Results are 32-bit integers: the library's own code (0 for success); their meaning is the
//   library's. GetLastNetFetchError has none.
// - Booleans are one byte (TPasBool: read only the low byte).
// No windows.h here: the native build compiles it too.
#include "foundation/Abi.h"
#include "webbridge/AppContextIntf.h"

#include <cstddef>
#include <cstdint>

// The library's place: the drive of the Windows directory (e.g. "C:") followed by this path.
// No other place is tried.
inline constexpr char16_t kZRPNSLibSubPath[] = u"\\Corvane\\ZRPNS\\ZRPNSApi.dll";
inline constexpr char kZRPNSLibName[] = "ZRPNSApi.dll";

// Buffer sizes in bytes and in UTF-16 characters.
inline constexpr size_t kZRPNSRegIdBytes = 64;     // the registration identifier (SetConfig)
inline constexpr size_t kZRPNSMessageBytes = 1024; // message text, error code and error text
inline constexpr size_t kZRPNSRegIdChars = kZRPNSRegIdBytes / sizeof(char16_t);
inline constexpr size_t kZRPNSMessageChars = kZRPNSMessageBytes / sizeof(char16_t);

// ---- The delivery callback ----------------------------------------------------------------------
// Called by the callback-delivering exports (FetchEx, FetchOffsetEx, FetchAEx, Fetch, FetchA,
// FetchOffset, FilterQuery) during the export call, on the calling thread, zero or more times:
// `text` is the fetch's result (a JSON array of the kept messages), `datum` is what the caller
// passed as the export's datum argument, unchanged. The text belongs to the library and is valid
// only while the callback runs: the receiver copies it.
using TZRPNSDeliverProc = void(APPFRAME_STDCALL*)(const char16_t* text, const void* datum);

// ---- The message object and the filter ----------------------------------------------------------
// A candidate message as the filter sees it. Borrowed for the filter call: the filter neither
// releases it nor keeps it.
// {6A3E9C14-2D7B-4E58-B1F0-8C5D3A7E2B96} (the program never asks for it; stand-ins answer it)
inline constexpr TFwGuid IID_IZRPNSMessage = {
    0x6A3E9C14, 0x2D7B, 0x4E58, {0xB1, 0xF0, 0x8C, 0x5D, 0x3A, 0x7E, 0x2B, 0x96}};

class IZRPNSMessage : public IFwUnknown {
public:
    // 3: the text member `name` ("bizType", "isDiscard", "expireTime", ...) as a wide (system)
    // string through the hidden result argument: the caller clears the variable first and frees
    // what it receives (PasWideFree). A member the message lacks is the empty string (nil);
    // members that are not texts are given as their JSON text.
    virtual void APPFRAME_STDCALL GetValue(const char16_t* name, char16_t** result) = 0;

protected:
    ~IZRPNSMessage() = default;
};

// Asked for each candidate message during the export call, on the calling thread; true (low byte
// non-zero) keeps the message. Nil as an export's filter keeps every candidate.
using TZRPNSQueryFilter = TPasBool(APPFRAME_STDCALL*)(IZRPNSMessage* message);

// ---- Exports ------------------------------------------------------------------------------------
// Each is looked up by these undecorated names. `uniRegId` is the identifier SetConfig answered.
inline constexpr char kZRPNSExpSetConfig[] = "SetConfig";
inline constexpr char kZRPNSExpFetchEx[] = "FetchEx";
inline constexpr char kZRPNSExpFetchOffsetEx[] = "FetchOffsetEx";
inline constexpr char kZRPNSExpFetchAEx[] = "FetchAEx";
inline constexpr char kZRPNSExpFetch[] = "Fetch";
inline constexpr char kZRPNSExpFetchA[] = "FetchA";
inline constexpr char kZRPNSExpFetchOffset[] = "FetchOffset";
inline constexpr char kZRPNSExpSendMsgReceipt[] = "SendMsgReceipt";
inline constexpr char kZRPNSExpGetLastNetFetchError[] = "GetLastNetFetchError";
inline constexpr char kZRPNSExpHttpRequestFetch[] = "HttpRequestFetch";
inline constexpr char kZRPNSExpAttachToMsgDB[] = "AttachToMsgDB";
inline constexpr char kZRPNSExpFilterQuery[] = "FilterQuery";

// Registers the client; the registration identifier goes into the 64-byte buffer, the library's
// message into the 1024-byte one.
using TZRPNSSetConfig = int32_t(APPFRAME_STDCALL*)(const char16_t* clientId, const char16_t* appId,
                                                   const char16_t* appSecret, const char16_t* accountType,
                                                   const char16_t* accountName, const char16_t* token,
                                                   const char16_t* mac, const char16_t* companyArray,
                                                   const char16_t* areaCode, int32_t interval,
                                                   int32_t timeout, char16_t** uniRegIdBuffer,
                                                   char16_t** messageBuffer);

// Fetches up to `msgCount` messages of the types `bizType` from the local store after
// *beginOffset; the kept ones go to `deliver` as one JSON array. Both offsets are updated.
using TZRPNSFetchEx = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* bizType,
                                                 int32_t msgCount, TZRPNSDeliverProc deliver,
                                                 const void* datum, int64_t* beginOffset, int64_t* endOffset,
                                                 char16_t** messageBuffer, TZRPNSQueryFilter filter);

// The same from `offset` (by value); *endOffset is updated.
using TZRPNSFetchOffsetEx = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* bizType,
                                                       int32_t msgCount, int64_t offset,
                                                       TZRPNSDeliverProc deliver, const void* datum,
                                                       int64_t* endOffset, char16_t** messageBuffer,
                                                       TZRPNSQueryFilter filter);

// Fetches from `beginOffset` (by value); the current JSON array text takes the datum's place.
using TZRPNSFetchAEx = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* bizType,
                                                  int64_t beginOffset, TZRPNSDeliverProc deliver,
                                                  const char16_t* jsonArray, int64_t* retBeginOffset,
                                                  int64_t* retEndOffset, int64_t* retMsgCount,
                                                  char16_t** messageBuffer, TZRPNSQueryFilter filter);

// FetchEx and FetchOffsetEx without a filter. FetchA takes FetchAEx's arguments; its callers
// pass the filter as nil.
using TZRPNSFetch = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* bizType,
                                               int32_t msgCount, TZRPNSDeliverProc deliver, const void* datum,
                                               int64_t* beginOffset, int64_t* endOffset,
                                               char16_t** messageBuffer);
using TZRPNSFetchA = TZRPNSFetchAEx;
using TZRPNSFetchOffset = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* bizType,
                                                     int32_t msgCount, int64_t offset,
                                                     TZRPNSDeliverProc deliver, const void* datum,
                                                     int64_t* endOffset, char16_t** messageBuffer);

// Records the read receipt `receipt` of message `msgId`.
using TZRPNSSendMsgReceipt = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, int32_t msgId,
                                                        int32_t receipt, char16_t** messageBuffer);

// The last network fetch's error code and text, each into a 1024-byte buffer (left empty when
// there was none). No result.
using TZRPNSGetLastNetFetchError = void(APPFRAME_STDCALL*)(const char16_t* uniRegId, char16_t** codeBuffer,
                                                           char16_t** messageBuffer);

// Fetches from the message server into the local store.
using TZRPNSHttpRequestFetch = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, char16_t** messageBuffer);

// Attaches another receiver to the local store.
using TZRPNSAttachToMsgDB = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* appId,
                                                       const char16_t* newReceiver, char16_t** messageBuffer);

// Queries the local store by key-value conditions; the result goes to `deliver`.
using TZRPNSFilterQuery = int32_t(APPFRAME_STDCALL*)(const char16_t* uniRegId, const char16_t* keyValues,
                                                     TZRPNSDeliverProc deliver, const void* datum,
                                                     char16_t** messageBuffer);
