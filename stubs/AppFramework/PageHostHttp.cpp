#include "PageHostHttp.h"

#include "foundation/Crypto.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace pagehost {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// False for a broken escape or an escaped NUL.
bool PercentDecode(std::string_view s, std::string& out, bool plusIsSpace) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size()) return false;
            int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
            if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else if (plusIsSpace && s[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(s[i]);
        }
    }
    return true;
}

bool IsToken(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c <= 32 || c >= 127 || c == ':') return false;
    return true;
}

} // namespace

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string THttpRequest::Header(const std::string& lowerName) const {
    auto it = Headers.find(lowerName);
    return it == Headers.end() ? std::string() : it->second;
}

TParse ParseRequest(std::string_view buffer, THttpRequest& request, size_t& consumed) {
    const size_t end = buffer.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return buffer.size() > kMaxHeaderBytes ? TParse::TooLarge : TParse::Incomplete;
    if (end + 4 > kMaxHeaderBytes) return TParse::TooLarge;
    request = THttpRequest();
    std::string_view head = buffer.substr(0, end);
    size_t lineEnd = head.find("\r\n");
    std::string_view first = head.substr(0, lineEnd);
    size_t sp1 = first.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : first.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || first.find(' ', sp2 + 1) != std::string_view::npos)
        return TParse::Bad;
    request.Method = std::string(first.substr(0, sp1));
    std::string_view target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = first.substr(sp2 + 1);
    if (!IsToken(request.Method) || (version != "HTTP/1.1" && version != "HTTP/1.0")) return TParse::Bad;
    if (target.empty() || target.front() != '/') return TParse::Bad;
    size_t q = target.find('?');
    if (q != std::string_view::npos) request.Query = std::string(target.substr(q + 1));
    if (!PercentDecode(target.substr(0, q), request.Path, false)) return TParse::Bad;
    while (lineEnd != std::string_view::npos) {
        size_t next = head.find("\r\n", lineEnd + 2);
        std::string_view line = head.substr(
            lineEnd + 2, next == std::string_view::npos ? std::string_view::npos : next - lineEnd - 2);
        lineEnd = next;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return TParse::Bad;
        std::string name = Lower(line.substr(0, colon));
        std::string value(Trim(line.substr(colon + 1)));
        // A repeated Host or length could be read differently by two parsers: refuse it.
        if ((name == "host" || name == "content-length") && request.Headers.count(name)) return TParse::Bad;
        auto& slot = request.Headers[name];
        slot = slot.empty() ? value : slot + (name == "cookie" ? "; " : ", ") + value;
    }
    if (request.Headers.count("transfer-encoding")) return TParse::Bad;
    size_t length = 0;
    if (auto it = request.Headers.find("content-length"); it != request.Headers.end()) {
        const std::string& text = it->second;
        if (!AllDigits(text)) return TParse::Bad;
        if (text.size() > 9) return TParse::TooLarge;
        length = std::stoul(text);
    }
    if (length > kMaxBodyBytes) return TParse::TooLarge;
    if (buffer.size() < end + 4 + length) return TParse::Incomplete;
    request.Body = std::string(buffer.substr(end + 4, length));
    consumed = end + 4 + length;
    return TParse::Done;
}

std::string QueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) {
            std::string out;
            if (eq == std::string_view::npos) return out;
            return PercentDecode(pair.substr(eq + 1), out, true) ? out : std::string();
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return {};
}

std::string CookieValue(std::string_view cookies, std::string_view name) {
    while (!cookies.empty()) {
        size_t semi = cookies.find(';');
        std::string_view pair = Trim(cookies.substr(0, semi));
        size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return std::string(pair.substr(eq + 1));
        if (semi == std::string_view::npos) break;
        cookies.remove_prefix(semi + 1);
    }
    return {};
}

bool SameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
    return diff == 0;
}

TAccess CheckAccess(const THttpRequest& request, uint16_t port, const std::string& secret, bool allowCookie) {
    const std::string portText = std::to_string(port);
    const std::string host = Lower(request.Header("host"));
    if (host != "127.0.0.1:" + portText && host != "localhost:" + portText) return TAccess::ForeignHost;
    if (auto it = request.Headers.find("origin"); it != request.Headers.end()) {
        const std::string origin = Lower(it->second);
        if (origin != "http://127.0.0.1:" + portText && origin != "http://localhost:" + portText)
            return TAccess::ForeignOrigin;
    }
    if (SameSecret(request.Header(kKeyHeader), secret)) return TAccess::Allowed;
    if (SameSecret(QueryValue(request.Query, kKeyQuery), secret)) return TAccess::Allowed;
    if (allowCookie && SameSecret(CookieValue(request.Header("cookie"), kKeyCookie), secret))
        return TAccess::Allowed;
    return TAccess::NoSecret;
}

int AccessStatus(TAccess access) {
    return access == TAccess::Allowed ? 0 : access == TAccess::ForeignHost ? 421 : 403;
}

const char* AccessText(TAccess access) {
    switch (access) {
    case TAccess::Allowed:
        return "allowed";
    case TAccess::ForeignHost:
        return "foreign Host";
    case TAccess::ForeignOrigin:
        return "foreign Origin";
    case TAccess::NoSecret:
        return "no secret";
    }
    return "";
}

bool IsWebSocketUpgrade(const THttpRequest& request) {
    return request.Method == "GET" && Lower(request.Header("upgrade")) == "websocket" &&
           Lower(request.Header("connection")).find("upgrade") != std::string::npos &&
           request.Header("sec-websocket-version") == "13" && !request.Header("sec-websocket-key").empty();
}

std::string WebSocketAccept(std::string_view key) {
    const TSha1Digest digest = Sha1Digest(std::string(key) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
    return TBase64().EncodeData(
        std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string WebSocketHandshake(std::string_view key) {
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           WebSocketAccept(key) + "\r\n\r\n";
}

std::string WebSocketFrame(uint8_t opcode, std::string_view payload) {
    std::string out(1, static_cast<char>(0x80 | opcode));
    const uint64_t n = payload.size();
    if (n < 126) {
        out += static_cast<char>(n);
    } else if (n < 65536) {
        out += static_cast<char>(126);
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(n & 0xFF);
    } else {
        out += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>((n >> shift) & 0xFF);
    }
    out.append(payload);
    return out;
}

TFrame TWebSocketReader::Next(std::string& buffer, std::string& message) {
    for (;;) {
        if (buffer.size() < 2) return TFrame::Incomplete;
        const auto byte = [&](size_t i) { return static_cast<uint8_t>(buffer[i]); };
        const bool fin = byte(0) & 0x80;
        const uint8_t opcode = byte(0) & 0x0F;
        if ((byte(0) & 0x70) || !(byte(1) & 0x80)) return TFrame::Bad; // reserved bits; unmasked
        uint64_t length = byte(1) & 0x7F;
        size_t at = 2;
        if (length == 126 || length == 127) {
            const size_t width = length == 126 ? 2 : 8;
            if (buffer.size() < at + width) return TFrame::Incomplete;
            length = 0;
            for (size_t i = 0; i < width; ++i)
                length = (length << 8) | byte(at + i);
            at += width;
        }
        const bool control = opcode >= 8;
        if (control && (!fin || length > 125)) return TFrame::Bad;
        if (length > kMaxBodyBytes || (!control && FPartial.size() + length > kMaxBodyBytes))
            return TFrame::TooLarge;
        if (buffer.size() < at + 4 + length) return TFrame::Incomplete;
        const size_t maskAt = at;
        at += 4;
        std::string payload = buffer.substr(at, static_cast<size_t>(length));
        for (size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(payload[i] ^ buffer[maskAt + i % 4]);
        buffer.erase(0, at + static_cast<size_t>(length));
        switch (opcode) {
        case kWsPong:
            continue;
        case kWsPing:
            message = payload;
            return TFrame::Ping;
        case kWsClose:
            return TFrame::Close;
        case kWsText:
            if (FInMessage) return TFrame::Bad;
            FPartial = payload;
            break;
        case 0:
            if (!FInMessage) return TFrame::Bad;
            FPartial += payload;
            break;
        default:
            return TFrame::Bad;
        }
        FInMessage = !fin;
        if (fin) {
            message.swap(FPartial);
            FPartial.clear();
            return TFrame::Message;
        }
    }
}

std::string StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 421:
        return "Misdirected Request";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

std::string Response(int status, std::string_view contentType, std::string_view body,
                     std::string_view extraHeaders) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
    if (!contentType.empty()) out += "Content-Type: " + std::string(contentType) + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    out.append(extraHeaders);
    out += "\r\n";
    out.append(body);
    return out;
}

std::string ContentTypeOf(std::string_view path) {
    size_t dot = path.rfind('.');
    const std::string ext = dot == std::string_view::npos ? std::string() : Lower(path.substr(dot + 1));
    if (ext == "html" || ext == "htm") return "text/html; charset=utf-8";
    if (ext == "js") return "text/javascript; charset=utf-8";
    if (ext == "css") return "text/css; charset=utf-8";
    if (ext == "json") return "application/json";
    if (ext == "png") return "image/png";
    if (ext == "gif") return "image/gif";
    if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
    if (ext == "svg") return "image/svg+xml";
    return "application/octet-stream";
}

std::string FormsFile(std::string_view relative) {
    constexpr std::string_view kPrefix = "Forms/";
    if (relative.substr(0, kPrefix.size()) != kPrefix) return {};
    std::string_view rest = relative.substr(kPrefix.size());
    if (rest.empty() || rest.back() == '/') return {};
    size_t start = 0;
    while (start <= rest.size()) {
        size_t slash = rest.find('/', start);
        std::string_view part =
            rest.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (part.empty() || part == "." || part == "..") return {};
        // Windows opens a device for these names, whatever the folder and extension.
        const std::string base = Lower(part.substr(0, part.find('.')));
        if (base == "con" || base == "prn" || base == "aux" || base == "nul" ||
            ((base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base.size() == 4 &&
             std::isdigit(static_cast<unsigned char>(base[3]))))
            return {};
        for (char c : part)
            if (static_cast<unsigned char>(c) < 32 ||
                std::string_view("\\:*?\"<>|").find(c) != std::string_view::npos)
                return {};
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return std::string(rest);
}

std::string InjectScript(std::string_view html, std::string_view scriptTag) {
    const std::string lower = Lower(html.substr(0, std::min<size_t>(html.size(), 4096)));
    size_t at = lower.find("<head");
    if (at != std::string::npos) at = lower.find('>', at);
    size_t pos = at == std::string::npos ? 0 : at + 1;
    if (at == std::string::npos) {
        // After a doctype, so the document keeps its standards mode.
        if (lower.compare(0, 9, "<!doctype") == 0) {
            size_t close = lower.find('>');
            if (close != std::string::npos) pos = close + 1;
        }
    }
    std::string out(html.substr(0, pos));
    out.append(scriptTag);
    out.append(html.substr(pos));
    return out;
}

std::string ServedFormPath(std::string_view url, std::string_view programFolderUtf8) {
    std::string u(url);
    std::replace(u.begin(), u.end(), '\\', '/');
    std::string folder(programFolderUtf8);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string lu = Lower(u);
    if (lu.compare(0, 8, "file:///") == 0) {
        std::string decoded;
        if (!PercentDecode(u.substr(8), decoded, false)) return {};
        u = decoded;
    } else if (lu.compare(0, 7, "http://") == 0 || lu.compare(0, 8, "https://") == 0) {
        return {};
    }
    if (!folder.empty() && Lower(u).compare(0, folder.size(), Lower(folder)) == 0)
        u = u.substr(folder.size());
    if (!u.empty() && u.front() == '/') u.erase(0, 1);
    const size_t q = u.find_first_of("?#");
    if (FormsFile(u.substr(0, q)).empty()) return {};
    return u;
}

bool DecodePageCall(std::string_view body, int32_t webId, TPageCall& call, std::string& error) {
    JsonRef doc = ParseJson(body);
    if (!doc || !doc->IsType(stObject)) return error = "not a JSON object", false;
    JsonRef name = doc->GetO("name"), types = doc->GetO("types"), values = doc->GetO("values");
    if (!name || !name->IsType(stString) || name->AsString().empty() ||
        name->AsString().size() > kMaxNameBytes)
        return error = "bad name", false;
    call.WebId = webId;
    call.CallerNo = 0;
    if (JsonRef v = doc->GetO("callerNo")) {
        if (!v->IsType(stInt) || v->AsInteger() < 0 || v->AsInteger() > INT32_MAX)
            return error = "bad callerNo", false;
        call.CallerNo = static_cast<int32_t>(v->AsInteger());
    }
    if (!types) types = NewJsonArray();
    if (!values) values = NewJsonArray();
    if (!types->IsType(stArray) || !values->IsType(stArray) || types->Length() != values->Length())
        return error = "types and values must be arrays of one length", false;
    for (size_t i = 0; i < types->Length(); ++i) {
        JsonRef t = types->O(i), v = values->O(i);
        if (!t || !t->IsType(stInt)) return error = "bad type code", false;
        bool fits = false;
        switch (t->AsInteger()) {
        case 0:
            fits = v && v->IsType(stInt);
            break;
        case 1:
            fits = v && v->IsType(stBoolean);
            break;
        case 3:
            fits = v && (v->IsType(stInt) || v->IsType(stDouble)) && std::isfinite(v->AsDouble());
            break;
        case 4:
            fits = v && v->IsType(stString);
            break;
        default:
            return error = "unknown type code", false;
        }
        if (!fits) return error = "value " + std::to_string(i) + " does not fit its type code", false;
    }
    call.Name = name->AsString();
    JsonRef params = NewJsonObject();
    params->PutI("CallerNo", call.CallerNo);
    params->PutI("WebID", call.WebId);
    params->PutS("FunName", call.Name);
    params->PutO("paramTypes", types);
    params->PutO("paramValues", values);
    call.CallerParams = PrintJson(params);
    return true;
}

} // namespace pagehost
