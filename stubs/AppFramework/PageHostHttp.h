#pragma once
// Page-host mode of the stand-in framework: the HTTP side, without sockets. Parses and bounds
// requests, decides whether one may reach native code (loopback Host, same-site Origin, the run's
// secret), frames server-sent events, decodes the page channel's JSON and maps client page
// addresses to served paths. Portable, so it is tested natively.
#include "foundation/Json.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace pagehost {

inline constexpr size_t kMaxHeaderBytes = 16 * 1024;
inline constexpr size_t kMaxBodyBytes = 1024 * 1024;
inline constexpr size_t kMaxNameBytes = 256;
inline constexpr char kKeyHeader[] = "x-appframe-key"; // lower case, as stored
inline constexpr char kKeyCookie[] = "afk";
inline constexpr char kKeyQuery[] = "k";

struct THttpRequest {
    std::string Method;
    std::string Path;                           // percent-decoded, without the query
    std::string Query;                          // raw
    std::map<std::string, std::string> Headers; // names in lower case, values trimmed
    std::string Body;
    std::string Header(const std::string& lowerName) const;
};

enum class TParse { Incomplete, Done, Bad, TooLarge };

// Parses one request from the front of buffer. Done: request filled, consumed = its length.
// Bad: not HTTP/1.x, a malformed line or header, a transfer encoding, an unparsable length, a
// path that is not absolute or decodes to a NUL. TooLarge: headers or body over the bounds.
TParse ParseRequest(std::string_view buffer, THttpRequest& request, size_t& consumed);

// True for a non-empty text of ASCII digits only.
bool AllDigits(std::string_view s);

// A query or cookie value by name ("" when absent).
std::string QueryValue(std::string_view query, std::string_view name);
std::string CookieValue(std::string_view cookies, std::string_view name);

enum class TAccess { Allowed, ForeignHost, ForeignOrigin, NoSecret };

// Whether the request may go on. Host must be the listener's loopback address and port; an Origin,
// when there is one, this same site; and the run's secret must come with it. Calls into native
// code take the secret from the header or the query only; page files take the cookie as well (a
// form on another site cannot set the header, and the cookie is SameSite=Strict).
TAccess CheckAccess(const THttpRequest& request, uint16_t port, const std::string& secret, bool allowCookie);
// 421 for a foreign Host, 403 for the others, 0 when allowed.
int AccessStatus(TAccess access);
const char* AccessText(TAccess access);

// Constant-time comparison of equal-length texts.
bool SameSecret(std::string_view a, std::string_view b);

// The page channel is a WebSocket (RFC 6455): a GET with "Upgrade: websocket", version 13 and a
// key; answered by WebSocketHandshake.
bool IsWebSocketUpgrade(const THttpRequest& request);
std::string WebSocketAccept(std::string_view key);
std::string WebSocketHandshake(std::string_view key);
// A frame from this side: unmasked, final.
std::string WebSocketFrame(uint8_t opcode, std::string_view payload);
inline constexpr uint8_t kWsText = 1;
inline constexpr uint8_t kWsClose = 8;
inline constexpr uint8_t kWsPing = 9;
inline constexpr uint8_t kWsPong = 10;

enum class TFrame { Incomplete, Message, Ping, Close, Bad, TooLarge };

// Takes whole messages from the front of what a page sent: its frames must be masked, text ones
// are joined across continuation frames (at most kMaxBodyBytes), pongs are skipped. Binary frames,
// reserved bits and broken control frames are Bad.
class TWebSocketReader {
public:
    TFrame Next(std::string& buffer, std::string& message);

private:
    std::string FPartial;
    bool FInMessage = false;
};

std::string StatusText(int status);
std::string Response(int status, std::string_view contentType, std::string_view body,
                     std::string_view extraHeaders = {});

std::string ContentTypeOf(std::string_view path);
// The file below the forms folder that a served path names ("Forms/a/b.html" -> "a/b.html"),
// "" when the path leaves it or holds characters a file name may not.
std::string FormsFile(std::string_view relative);
// Puts the channel script at the start of the document's head (or of the document).
std::string InjectScript(std::string_view html, std::string_view scriptTag);

// Maps a page address the client gives a form to a path below "Forms/" (with its query):
// "Forms\\a.html?x", "/abs/program/Forms/a.html" and "file:///..." of the program folder. ""
// for an address outside (another site is opened as it is).
std::string ServedFormPath(std::string_view url, std::string_view programFolderUtf8);

// A page call as the channel sends it: {"name":"svc.act","callerNo":n,"types":[codes],
// "values":[...]} with codes 0 integer, 1 Boolean, 3 number, 4 text, each value of its code's
// kind; webId is the page's, from its channel. On success fills the caller-parameter JSON of the
// call context.
struct TPageCall {
    int32_t WebId = 0;
    int32_t CallerNo = 0;
    std::string Name;
    std::string CallerParams; // {"CallerNo","WebID","FunName","paramTypes","paramValues"}
};
bool DecodePageCall(std::string_view body, int32_t webId, TPageCall& call, std::string& error);

} // namespace pagehost
