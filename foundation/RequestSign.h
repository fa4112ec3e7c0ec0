#pragma once
// Signing of back-end requests for pages: the application id, a built-in secret, a timestamp,
// the request's parameters and body, ordered by key, form-encoded and digested with SHA-1.
#include "foundation/AppLog.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct TParam {
    std::string key;
    std::string value;
};

// The request a page asks to sign, filled from its JSON text (member names are the field names).
struct TRequestDTO {
    std::vector<TParam> params;
    std::string body;      // signed as "bizData" when not empty
    std::string timestamp; // empty: the signer makes one
    int32_t isUtf8 = 0;    // kept, does not change the signature
};

// The secret that takes part in every signature and never leaves the program.
inline constexpr std::string_view kRequestAppSecret = "Xq7Lmw2Tzk";

// Milliseconds between 1970-01-01 08:00:00 and the given local time, as an absolute difference.
// Local time is taken as it is, so in UTC+8 this is the Unix time in milliseconds.
int64_t LocalTimestampMs(const TAppLogTime& localTime);
int64_t CurrentLocalTimestampMs();

// Fills the record by the JSON record rules; raises EJsonInvalidObject for text that is not an
// object or a member of the wrong kind.
TRequestDTO RequestFromJson(std::string_view requestJsonUtf8);

// 40 uppercase hex digits: SHA-1 of the form-encoded values of appId, appSecret, timestamp, the
// parameters and bizData, concatenated in ordinal key order.
std::string RequestSignature(const TRequestDTO& request, std::string_view appId, std::string_view timestamp);

using TTimestampSource = std::function<int64_t()>;
using TSignLog = std::function<void(std::string_view utf8Line)>;

// Compact JSON {"appId","appkey","timestamp"} (UTF-8). Raises on a request that is not a JSON
// object of the right shape.
std::string SignRequestOrThrow(std::string_view requestJsonUtf8, std::string_view appId,
                               const TTimestampSource& now);

// The page answer: as above, or empty text after logging the failure. Logs the exit line
// whatever happens, so callers do not log it again.
std::string SignRequest(std::string_view requestJsonUtf8, std::string_view appId,
                        const TTimestampSource& now = CurrentLocalTimestampMs,
                        const TSignLog& log = WriteAppLog);
