#pragma once
// The contract of the maker's tax-device libraries: the device library "FRXAppSafeguard.dll"
// (installed as "FRXAppAPI.dll") and the secondary device library "SoleDiskAPI.dll". Shared by the
// program and the stand-ins. Binary rules: webbridge/BinaryConventions.md (every export stdcall,
// 32-bit signed results).
#include "foundation/Abi.h"

#include <cstddef>
#include <cstdint>

namespace frx {

// Size of the narrow-text answer buffers handed to the device library; the first byte is 0.
inline constexpr size_t kAnswerBufferSize = 1024;
// Size of the secondary library's work area, zeroed before use.
inline constexpr size_t kWorkAreaSize = 1024;
// "Not available": the library or the export is missing.
inline constexpr int32_t kNotAvailable = -1;

// ---- Device library -------------------------------------------------------------------------------
// "GetFRXVersion": the address of the caller's pointer to its buffer; 0 on success, the buffer
// then holds a name=value list with "version".
using TGetFRXVersion = int32_t(APPFRAME_STDCALL*)(char** buffer);
// "FRXGetTaxpayer": the caller's buffer; negative on failure, otherwise the buffer holds a
// name=value list with "taxpayerfile".
using TFRXGetTaxpayer = int32_t(APPFRAME_STDCALL*)(char* buffer);
// "FRXInsertUpdateEvent": starts the device's insert/update watch.
using TFRXInsertUpdateEvent = int32_t(APPFRAME_STDCALL*)();

inline constexpr char kGetFRXVersionName[] = "GetFRXVersion";
inline constexpr char kFRXGetTaxpayerName[] = "FRXGetTaxpayer";
inline constexpr char kFRXInsertUpdateEventName[] = "FRXInsertUpdateEvent";

// ---- Secondary device library ---------------------------------------------------------------------
// Texts are UTF-16 (PWideChar), zero-terminated; `work` is the caller's zeroed work area.
using TQwpmInit = int32_t(APPFRAME_STDCALL*)(const char16_t* text, void* work);
using TQwpmSelectDevice = int32_t(APPFRAME_STDCALL*)(int32_t index, void* work);
// `exists` is a 32-bit flag the library sets non-zero when the device holds the file.
using TQwpmFileIsExist = int32_t(APPFRAME_STDCALL*)(const char16_t* name, int32_t* exists, void* work);
using TQwpmReadFile = int32_t(APPFRAME_STDCALL*)(const char16_t* name, const char16_t* target, void* work);
using TQwpmFree = int32_t(APPFRAME_STDCALL*)(void* work);

inline constexpr char kQwpmInitName[] = "Qwpm_Init";
inline constexpr char kQwpmSelectDeviceName[] = "Qwpm_SelectDevice";
inline constexpr char kQwpmFileIsExistName[] = "Qwpm_FileIsExist";
inline constexpr char kQwpmReadFileName[] = "Qwpm_ReadFile";
inline constexpr char kQwpmFreeName[] = "Qwpm_Free";

} // namespace frx
