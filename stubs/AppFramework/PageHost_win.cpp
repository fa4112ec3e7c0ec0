// Page-host mode: the listener, one thread per connection, each page's channel (a WebSocket) and
// the hand-over of page requests to the user-interface thread.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "PageHost.h"

#include "PageChannel.h"
#include "PageHostHttp.h"
#include "StubState.h"
#include "foundation/TextCodec.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>

using namespace pagehost;

namespace {

// Winsock, bound when the page host starts: the library in its ordinary mode never loads it.
struct TWinsock {
    decltype(&::WSAStartup) WSAStartup = nullptr;
    decltype(&::accept) accept = nullptr;
    decltype(&::bind) bind = nullptr;
    decltype(&::closesocket) closesocket = nullptr;
    decltype(&::getsockname) getsockname = nullptr;
    decltype(&::listen) listen = nullptr;
    decltype(&::recv) recv = nullptr;
    decltype(&::send) send = nullptr;
    decltype(&::setsockopt) setsockopt = nullptr;
    decltype(&::shutdown) shutdown = nullptr;
    decltype(&::socket) socket = nullptr;
};

const TWinsock& Ws() {
    static const TWinsock api = [] {
        TWinsock found;
        const HMODULE library = LoadLibraryW(L"ws2_32.dll");
        if (library == nullptr) throw std::runtime_error("ws2_32.dll cannot be loaded");
        const auto bind = [library](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                reinterpret_cast<void*>(GetProcAddress(library, name)));
            if (slot == nullptr) throw std::runtime_error(std::string("ws2_32.dll has no ") + name);
        };
        bind(found.WSAStartup, "WSAStartup");
        bind(found.accept, "accept");
        bind(found.bind, "bind");
        bind(found.closesocket, "closesocket");
        bind(found.getsockname, "getsockname");
        bind(found.listen, "listen");
        bind(found.recv, "recv");
        bind(found.send, "send");
        bind(found.setsockopt, "setsockopt");
        bind(found.shutdown, "shutdown");
        bind(found.socket, "socket");
        return found;
    }();
    return api;
}

uint16_t HostToNet16(uint16_t v) {
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}
uint16_t NetToHost16(uint16_t v) {
    return HostToNet16(v);
}
uint32_t HostToNet32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

constexpr wchar_t kHostClass[] = L"AppFwPageHost";
constexpr UINT kMsgUiJob = WM_APP + 0x50;
// wParam: the form's serial; lParam: 1 a page of it is connected, 0 none is.
constexpr UINT kMsgStreams = WM_APP + 0x51;
// A page that went away without another of its form taking its place within this time was closed
// (a reload or a navigation reconnects well within it): the main page ends the client, another
// closes its form as a person closing that window would.
constexpr ULONGLONG kOrphanMs = 5000;
constexpr ULONGLONG kPageGoneMs = 1000;
constexpr DWORD kScriptPatienceMs = 5000;
constexpr DWORD kIdleMs = 60000;        // an HTTP connection without a request
constexpr DWORD kSendPatienceMs = 5000; // a page that stops reading does not hold its senders longer
constexpr DWORD kLingerMs = 2000;       // for the peer to see the end of a connection
constexpr int kMaxConnections = 64;
constexpr size_t kMaxBacklog = 1024 * 1024;
constexpr size_t kMaxFunctionsPerPage = 256;
constexpr int32_t kModalCancel = 2;

struct SocketTraits {
    static SOCKET Empty() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
    static void Close(SOCKET s) { Ws().closesocket(s); }
};
using UniqueSocket = detail::UniqueWin<SOCKET, SocketTraits>;

// One page's channel. Any thread sends on it; its connection's thread reads it.
struct TStream {
    int32_t WebId = 0;
    std::string PageId;
    SOCKET Socket = INVALID_SOCKET;
    std::mutex WriteLock;
    bool Closed = false; // guarded by WriteLock
    void Send(const std::string& frame);
};

struct TSlot {
    HWND Form = nullptr;
    UINT_PTR Serial = 0;      // never reused; the timer that waits for its page to come back
    ULONGLONG EmptySince = 0; // tick at which its last page went away
    bool IsMain = false;
    bool Shown = false;
    bool Announced = false; // the main page was asked to open it (the main form: the user opens it)
    std::string Path;       // below the program folder, with its query; "" when not served
    std::vector<std::shared_ptr<TStream>> Streams;
    // Frames for a page that has not connected yet, each with the script it carries (0: none), so
    // a script its sender gave up on is never run later.
    std::vector<std::pair<int64_t, std::string>> Backlog;
    size_t BacklogBytes = 0;
};

struct TWait {
    UniqueHandle Done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool Ok = false;
    std::string Error; // UTF-8
};

struct TUiJob {
    std::function<void()> Run;
};

struct TPageHost {
    std::mutex Lock; // guards everything below; never held while calling out
    bool Started = false;
    std::map<int32_t, TSlot> Slots;
    std::map<std::string, std::set<std::string>> Functions; // page id -> registered names
    std::map<std::string, int32_t> PageForms;               // page id -> web id
    std::map<int64_t, std::shared_ptr<TWait>> Waits;
    int64_t NextWait = 0;
    UINT_PTR NextSerial = 0;
    int Connections = 0;
    std::string Secret;
    uint16_t Port = 0;
    std::string ProgramFolder; // UTF-8, ending in a backslash
    std::string MainPath;
    HWND Window = nullptr;
    SOCKET Listener = INVALID_SOCKET;
};

TPageHost& Host() {
    static TPageHost* host = new TPageHost(); // outlives the connection threads
    return *host;
}

int32_t WebIdOf(HWND page) {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(page));
}

double NowMs() {
    using TPrecise = void(WINAPI*)(LPFILETIME);
    static const auto precise = reinterpret_cast<TPrecise>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME ft;
    if (precise)
        precise(&ft);
    else
        GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<double>(t.QuadPart - 116444736000000000ULL) / 10000.0;
}

std::string RandomSecret() {
    // Loaded here, in page-host mode only: an ordinary start of the library does not pay for it.
    using TGenRandom = LONG(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    const HMODULE library = LoadLibraryW(L"bcrypt.dll");
    const auto genRandom = library ? reinterpret_cast<TGenRandom>(
                                         reinterpret_cast<void*>(GetProcAddress(library, "BCryptGenRandom")))
                                   : nullptr;
    unsigned char bytes[16];
    if (!genRandom || genRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw std::runtime_error("no random bytes for the page-host secret");
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string ExeFolder() {
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 2);
    std::wstring path(buf, n);
    path.resize(path.find_last_of(L"\\/") + 1);
    return Narrow(path);
}

std::string FormUrl(int32_t webId, const std::string& path) {
    return "/w/" + std::to_string(webId) + "/" + path;
}

// A message to a page: {"op": kind, ...data, "sent": wall-clock milliseconds}.
std::string Frame(const char* kind, const JsonRef& data) {
    JsonRef m = NewJsonObject();
    m->PutS("op", kind);
    if (data)
        for (const std::string& key : data->Keys())
            m->PutO(key, data->GetO(key));
    m->PutD("sent", NowMs());
    return WebSocketFrame(kWsText, PrintJson(m));
}

// Sends to the form's newest page, or keeps it for the page to come. False for no such form.
bool Push(int32_t webId, const char* kind, const JsonRef& data, int64_t scriptId = 0) {
    const std::string frame = Frame(kind, data);
    std::shared_ptr<TStream> stream;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(webId);
        if (it == h.Slots.end()) return false;
        if (!it->second.Streams.empty())
            stream = it->second.Streams.back();
        else if (it->second.BacklogBytes + frame.size() <= kMaxBacklog) {
            it->second.Backlog.emplace_back(scriptId, frame);
            it->second.BacklogBytes += frame.size();
        }
    }
    if (stream) stream->Send(frame);
    return true;
}

int32_t MainWebIdLocked(TPageHost& h) {
    for (auto& [id, slot] : h.Slots)
        if (slot.IsMain) return id;
    return 0;
}

// Tells the main page to open a form's page (once it has an address).
void AnnounceLocked(TPageHost& h, int32_t webId, std::vector<std::pair<int32_t, JsonRef>>& pushes) {
    auto it = h.Slots.find(webId);
    if (it == h.Slots.end() || it->second.IsMain || it->second.Announced || it->second.Path.empty()) return;
    it->second.Announced = true;
    JsonRef d = NewJsonObject();
    d->PutS("url", FormUrl(webId, it->second.Path));
    d->PutI("webId", webId);
    pushes.emplace_back(MainWebIdLocked(h), d);
}

bool SendAll(SOCKET s, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = Ws().send(s, bytes.data() + sent,
                          static_cast<int>(std::min<size_t>(bytes.size() - sent, 65536)), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

void TStream::Send(const std::string& frame) {
    std::lock_guard<std::mutex> lock(WriteLock);
    if (!Closed && !SendAll(Socket, frame)) Closed = true;
}

void Refused(int status, const THttpRequest& request, const char* why) {
    JsonRef f = NewJsonObject();
    f->PutI("status", status);
    f->PutS("method", request.Method);
    f->PutS("path", request.Path);
    f->PutS("why", why);
    Transcript("pageHostRefused", f);
}

// Hands work to the user-interface thread, where page events are raised. False when it cannot.
bool RunOnUi(std::function<void()> work) {
    HWND window;
    {
        std::lock_guard<std::mutex> lock(Host().Lock);
        window = Host().Window;
    }
    auto* job = new TUiJob{std::move(work)};
    if (!window || !PostMessageW(window, kMsgUiJob, 0, reinterpret_cast<LPARAM>(job))) {
        delete job;
        return false;
    }
    return true;
}

std::string JsonBody(const JsonRef& v) {
    return PrintJson(v);
}

std::string Reply(int status, const std::string& json) {
    return Response(status, "application/json", json);
}

std::string ErrorReply(int status, const std::string& text) {
    JsonRef e = NewJsonObject();
    e->PutS("error", text);
    return Reply(status, JsonBody(e));
}

bool SlotForm(int32_t webId, HWND& form) {
    TPageHost& h = Host();
    std::lock_guard<std::mutex> lock(h.Lock);
    auto it = h.Slots.find(webId);
    if (it == h.Slots.end()) return false;
    form = it->second.Form;
    return true;
}

std::string ServeFile(const THttpRequest& request) {
    // "/w/<webId>/Forms/..."
    const std::string& p = request.Path;
    size_t slash = p.find('/', 3);
    if (p.compare(0, 3, "/w/") != 0 || slash == std::string::npos) return ErrorReply(404, "no such page");
    const std::string idText = p.substr(3, slash - 3);
    if (!AllDigits(idText) || idText.size() > 10) return ErrorReply(404, "no such form");
    const int32_t webId = static_cast<int32_t>(std::stoll(idText));
    HWND form;
    if (!SlotForm(webId, form)) return ErrorReply(404, "no such form");
    const std::string file = FormsFile(p.substr(slash + 1));
    if (file.empty()) return ErrorReply(404, "no such file");
    std::string local = Host().ProgramFolder + "Forms\\" + file;
    std::replace(local.begin(), local.end(), '/', '\\');
    bool ok = false;
    std::string bytes = ReadUtf8File(local, ok);
    if (!ok) return ErrorReply(404, "no such file");
    const std::string type = ContentTypeOf(file);
    std::string extra = "Content-Security-Policy: frame-ancestors 'self'\r\n";
    // The secret given in the address becomes a cookie, so the page's own links need no secret.
    if (!QueryValue(request.Query, kKeyQuery).empty())
        extra += "Set-Cookie: " + std::string(kKeyCookie) + "=" + Host().Secret +
                 "; Path=/; HttpOnly; SameSite=Strict\r\n";
    if (type.compare(0, 9, "text/html") == 0) {
        JsonRef boot = NewJsonObject();
        boot->PutS("key", Host().Secret);
        boot->PutI("webId", webId);
        const std::string tag =
            "<script>window.__appframeBoot=" + PrintJson(boot) + ";\n" + kPageChannelScript + "</script>";
        bytes = InjectScript(bytes, tag);
    }
    return Response(200, type, bytes, extra);
}

void Answer(TStream& stream, int64_t id, const JsonRef& fields) {
    JsonRef r = fields ? fields : NewJsonObject();
    r->PutI("id", id);
    stream.Send(Frame("result", r));
}

void Fail(TStream& stream, int64_t id, const std::string& error) {
    JsonRef r = NewJsonObject();
    r->PutI("id", id);
    r->PutS("error", error);
    stream.Send(Frame("error", r));
}

void ChannelCall(const std::shared_ptr<TStream>& stream, int64_t id, const std::string& text, HWND form) {
    TPageCall call;
    std::string error;
    if (!DecodePageCall(text, stream->WebId, call, error)) return Fail(*stream, id, error);
    if (!RunOnUi([stream, id, call, form] {
            const TStubEventOutcome outcome =
                StubRaiseEvent(form, kFwEventPageCall, call.Name, call.CallerNo, call.CallerParams, nullptr);
            if (!outcome.Found) return Fail(*stream, id, "the form is gone");
            JsonRef r = NewJsonObject();
            r->PutS("result", outcome.ResultUtf8);
            Answer(*stream, id, r);
        }))
        Fail(*stream, id, "the client does not take calls");
}

// Pop-ups, page loads, notifications and named requests, as the browser raises them.
void ChannelEvent(const std::shared_ptr<TStream>& stream, int64_t id, const JsonRef& doc, HWND form) {
    JsonRef typeV = doc->GetO("type"), values = doc->GetO("values");
    const int64_t type = typeV && typeV->IsType(stInt) ? typeV->AsInteger() : -1;
    if (type != kFwEventPopup && type != kFwEventPageLoaded && type != kFwEventNotify &&
        type != kFwEventRequest)
        return Fail(*stream, id, "bad event type");
    if (values && !values->IsType(stObject)) return Fail(*stream, id, "values must be an object");
    for (const std::string& key : values ? values->Keys() : std::vector<std::string>()) {
        JsonRef v = values->GetO(key);
        if (!v || !(v->IsType(stString) || v->IsType(stInt) || v->IsType(stBoolean)))
            return Fail(*stream, id, "values must be texts, integers or Booleans");
    }
    const std::string name = doc->GetS("name");
    if (name.size() > kMaxNameBytes) return Fail(*stream, id, "bad name");
    if (!RunOnUi([stream, id, form, type, name, values] {
            const TStubEventOutcome outcome =
                StubRaiseEvent(form, static_cast<int32_t>(type), name, 0, std::string(), values);
            if (!outcome.Found) return Fail(*stream, id, "the form is gone");
            JsonRef r = NewJsonObject();
            r->PutS("result", outcome.ResultUtf8);
            r->PutO("values", outcome.Values ? outcome.Values : NewJsonObject());
            if (type == kFwEventPopup) {
                const std::string url = outcome.Values ? outcome.Values->GetS("URL") : std::string();
                const std::string path = ServedFormPath(url, Host().ProgramFolder);
                if (!path.empty()) {
                    HWND page = StubOpenPopupForm(form, Utf8ToAnsi(url),
                                                  static_cast<int>(outcome.Values->GetI("Width")),
                                                  static_cast<int>(outcome.Values->GetI("Height")));
                    if (page) r->PutS("open", FormUrl(WebIdOf(page), path));
                } else if (url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0) {
                    r->PutS("open", url); // another site: opened as it is, without the channel
                }
            }
            Answer(*stream, id, r);
        }))
        Fail(*stream, id, "the client does not take events");
}

void ChannelRegister(const std::shared_ptr<TStream>& stream, int64_t id, const JsonRef& doc) {
    const std::string name = Utf8ToAnsi(doc->GetS("name"));
    if (name.empty() || name.size() > kMaxNameBytes) return Fail(*stream, id, "bad name");
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto& names = h.Functions[stream->PageId];
        if (names.size() >= kMaxFunctionsPerPage) return Fail(*stream, id, "too many functions");
        names.insert(name);
    }
    Answer(*stream, id, nullptr);
}

void ChannelReply(const JsonRef& doc) {
    JsonRef script = doc->GetO("script");
    if (!script || !script->IsType(stInt)) return;
    std::shared_ptr<TWait> wait;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Waits.find(script->AsInteger());
        if (it == h.Waits.end()) return; // nobody waits any more
        wait = it->second;
        h.Waits.erase(it);
        wait->Ok = doc->GetB("ok");
        wait->Error = doc->GetS("error");
    }
    SetEvent(wait->Done.Get());
}

// One message of a page. Calls, events and closing run on the user-interface thread and answer
// from there; nothing here waits for it, so a script's reply is read while a call is running.
void ChannelMessage(const std::shared_ptr<TStream>& stream, const std::string& text) {
    JsonRef doc = ParseJson(text);
    if (!doc || !doc->IsType(stObject)) return Fail(*stream, 0, "not a JSON object");
    const std::string op = doc->GetS("op");
    JsonRef idV = doc->GetO("id");
    const int64_t id = idV && idV->IsType(stInt) ? idV->AsInteger() : 0;
    if (op == "reply") return ChannelReply(doc);
    HWND form;
    if (!SlotForm(stream->WebId, form)) return Fail(*stream, id, "no such form");
    if (op == "call") return ChannelCall(stream, id, text, form);
    if (op == "event") return ChannelEvent(stream, id, doc, form);
    if (op == "register") return ChannelRegister(stream, id, doc);
    if (op == "close") {
        const int32_t result = doc->GetO("result") ? static_cast<int32_t>(doc->GetI("result")) : kModalCancel;
        if (!RunOnUi([stream, id, form, result] {
                StubCloseForm(form, result);
                Answer(*stream, id, nullptr);
            }))
            Fail(*stream, id, "the client does not take requests");
        return;
    }
    Fail(*stream, id, "unknown op");
}

// Tells the user-interface thread that a form's pages came or all went.
void StreamsChanged(UINT_PTR serial, bool connected) {
    HWND window;
    {
        std::lock_guard<std::mutex> lock(Host().Lock);
        window = Host().Window;
    }
    if (window) PostMessageW(window, kMsgStreams, serial, connected ? 1 : 0);
}

bool IsPageId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

// Serves one page's channel until the page goes; rest holds what came after the handshake.
void RunChannel(SOCKET s, const THttpRequest& request, std::string rest) {
    const std::string pageId = QueryValue(request.Query, "p");
    const std::string webText = QueryValue(request.Query, "w");
    if (!IsWebSocketUpgrade(request) || !IsPageId(pageId) || !AllDigits(webText) || webText.size() > 10) {
        Refused(400, request, "bad channel request");
        SendAll(s, ErrorReply(400, "bad channel request"));
        return;
    }
    auto stream = std::make_shared<TStream>();
    stream->WebId = static_cast<int32_t>(std::stoll(webText));
    stream->PageId = pageId;
    stream->Socket = s;
    UINT_PTR serial = 0;
    {
        // Registered and greeted under its write lock, so nothing sent meanwhile overtakes the
        // greeting and the backlog.
        std::lock_guard<std::mutex> writing(stream->WriteLock);
        std::string backlog;
        {
            TPageHost& h = Host();
            std::lock_guard<std::mutex> lock(h.Lock);
            auto it = h.Slots.find(stream->WebId);
            if (it == h.Slots.end()) {
                SendAll(s, ErrorReply(404, "no such form"));
                return;
            }
            for (auto& [scriptId, frame] : it->second.Backlog)
                backlog += frame;
            it->second.Backlog.clear();
            it->second.BacklogBytes = 0;
            it->second.Streams.push_back(stream);
            serial = it->second.Serial;
            h.PageForms[pageId] = stream->WebId;
        }
        JsonRef hello = NewJsonObject();
        hello->PutS("pageId", pageId);
        stream->Closed = !SendAll(s, WebSocketHandshake(request.Header("sec-websocket-key")) +
                                         Frame("hello", hello) + backlog);
    }
    StreamsChanged(serial, true);
    DWORD forever = 0;
    Ws().setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&forever), sizeof forever);
    TWebSocketReader reader;
    char chunk[16384];
    bool live = true;
    while (live) {
        std::string message;
        switch (reader.Next(rest, message)) {
        case TFrame::Message:
            ChannelMessage(stream, message);
            continue;
        case TFrame::Ping:
            stream->Send(WebSocketFrame(kWsPong, message));
            continue;
        case TFrame::Close:
            stream->Send(WebSocketFrame(kWsClose, ""));
            live = false;
            continue;
        case TFrame::Bad:
            stream->Send(WebSocketFrame(kWsClose, std::string("\x03\xEA", 2)));
            live = false;
            continue;
        case TFrame::TooLarge:
            stream->Send(WebSocketFrame(kWsClose, std::string("\x03\xF1", 2)));
            live = false;
            continue;
        case TFrame::Incomplete:
            break;
        }
        int n = Ws().recv(s, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        rest.append(chunk, static_cast<size_t>(n));
    }
    {
        std::lock_guard<std::mutex> writing(stream->WriteLock);
        stream->Closed = true;
    }
    UINT_PTR emptied = 0;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(stream->WebId);
        if (it != h.Slots.end()) {
            auto& list = it->second.Streams;
            list.erase(std::remove(list.begin(), list.end(), stream), list.end());
            if (list.empty()) {
                it->second.EmptySince = GetTickCount64();
                emptied = it->second.Serial;
            }
        }
        h.Functions.erase(pageId);
        h.PageForms.erase(pageId);
    }
    if (emptied) StreamsChanged(emptied, false);
}

// Answers one request; false when the connection ends with it (or became a channel).
bool HandleRequest(SOCKET s, const THttpRequest& request, std::string& rest) {
    const bool api = request.Path.compare(0, 5, "/_af/") == 0;
    const TAccess access = CheckAccess(request, Host().Port, Host().Secret, !api);
    if (int refuse = AccessStatus(access)) {
        Refused(refuse, request, AccessText(access));
        SendAll(s, Response(refuse, "text/plain", StatusText(refuse) + "\n", "Connection: close\r\n"));
        return false;
    }
    std::string answer;
    if (request.Method == "GET" && request.Path == "/") {
        int32_t main;
        std::string path;
        {
            std::lock_guard<std::mutex> lock(Host().Lock);
            main = MainWebIdLocked(Host());
            path = Host().MainPath;
        }
        if (!main) {
            answer = ErrorReply(503, "no main form yet");
        } else {
            std::string extra = "Location: " + FormUrl(main, path) + "\r\nSet-Cookie: " + kKeyCookie + "=" +
                                Host().Secret + "; Path=/; HttpOnly; SameSite=Strict\r\n";
            answer = Response(302, "text/plain", "", extra);
        }
    } else if (request.Method == "GET" && request.Path == "/_af/channel") {
        RunChannel(s, request, std::move(rest));
        return false;
    } else if (request.Method == "GET" && request.Path.compare(0, 3, "/w/") == 0) {
        answer = ServeFile(request);
    } else if (request.Method != "GET") {
        answer = ErrorReply(405, "only GET");
    } else {
        answer = ErrorReply(404, "not found");
    }
    return SendAll(s, answer);
}

// Ends a connection after its last answer: the answer is sent before the peer sees the end, and
// what the peer still sends is read and dropped, so that closing does not reset the connection
// and take the answer with it.
void CloseGracefully(SOCKET s) {
    Ws().shutdown(s, SD_SEND);
    DWORD patience = kLingerMs;
    Ws().setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&patience), sizeof patience);
    char sink[4096];
    for (size_t drained = 0; drained < kMaxBodyBytes;) {
        int n = Ws().recv(s, sink, sizeof sink, 0);
        if (n <= 0) break;
        drained += static_cast<size_t>(n);
    }
}

void ServeRequests(SOCKET s) {
    DWORD idle = kIdleMs, sendPatience = kSendPatienceMs;
    Ws().setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&idle), sizeof idle);
    Ws().setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendPatience),
                    sizeof sendPatience);
    BOOL noDelay = TRUE;
    Ws().setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::string buffer;
    char chunk[16384];
    for (;;) {
        THttpRequest request;
        size_t used = 0;
        const TParse status = ParseRequest(buffer, request, used);
        if (status == TParse::Incomplete) {
            int n = Ws().recv(s, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            buffer.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (status != TParse::Done) {
            const int code = status == TParse::TooLarge ? 413 : 400;
            Refused(code, request, status == TParse::TooLarge ? "too large" : "malformed");
            SendAll(s, Response(code, "text/plain", StatusText(code) + "\n", "Connection: close\r\n"));
            return;
        }
        buffer.erase(0, used);
        if (!HandleRequest(s, request, buffer)) return;
        if (request.Header("connection") == "close") return;
    }
}

void ServeConnection(UniqueSocket socket) {
    ServeRequests(socket.Get());
    CloseGracefully(socket.Get());
}

void ConnectionThread(SOCKET raw) {
    try {
        ServeConnection(UniqueSocket(raw));
    } catch (const std::exception&) {
        // the connection ends; the page sees it closed
    }
    try {
        std::lock_guard<std::mutex> lock(Host().Lock);
        --Host().Connections;
    } catch (const std::exception&) {
    }
}

void ListenerThread(SOCKET listener) {
    try {
        for (;;) {
            SOCKET s = Ws().accept(listener, nullptr, nullptr);
            if (s == INVALID_SOCKET) return; // the listener was closed
            bool take;
            {
                std::lock_guard<std::mutex> lock(Host().Lock);
                take = Host().Connections < kMaxConnections;
                if (take) ++Host().Connections;
            }
            if (!take) {
                Ws().closesocket(s);
                continue;
            }
            try {
                std::thread(ConnectionThread, s).detach();
            } catch (const std::exception&) {
                Ws().closesocket(s);
                std::lock_guard<std::mutex> lock(Host().Lock);
                --Host().Connections;
            }
        }
    } catch (const std::exception&) {
        // no more connections are taken
    }
}

// On the user-interface thread, for the form of that serial: while none of its pages is connected,
// waits out the grace period from the moment the last one went (the state is read afresh each
// time, so messages of a reconnect arriving in any order cannot close a form early), then closes
// it. A form the client destroyed meanwhile has no slot any more and is left alone.
void PageGoneCheck(HWND window, UINT_PTR serial) {
    HWND form = nullptr;
    bool isMain = false;
    ULONGLONG waited = 0;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        for (auto& [id, slot] : h.Slots)
            if (slot.Serial == serial && slot.Streams.empty()) {
                form = slot.Form;
                isMain = slot.IsMain;
                waited = GetTickCount64() - slot.EmptySince;
            }
    }
    if (!form) return;
    const ULONGLONG grace = isMain ? kOrphanMs : kPageGoneMs;
    if (waited < grace) {
        SetTimer(window, serial, static_cast<UINT>(grace - waited), nullptr);
        return;
    }
    if (isMain) {
        Transcript("pageHostMainPageGone");
        StubCloseForm(form, kModalCancel);
        return;
    }
    // Only a form a person could see is closed: a modal form that has ended stays hidden for the
    // client to show again or destroy.
    if (!IsWindowVisible(form)) return;
    JsonRef t = NewJsonObject();
    t->PutI("form", H(form));
    Transcript("pageHostPageGone", t);
    StubCloseForm(form, kModalCancel);
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == kMsgUiJob) {
            std::unique_ptr<TUiJob> job(reinterpret_cast<TUiJob*>(lParam));
            job->Run(); // a failure leaves the page's request unanswered
            return 0;
        }
        if (msg == kMsgStreams) {
            KillTimer(hwnd, wParam);
            if (!lParam) PageGoneCheck(hwnd, wParam);
            return 0;
        }
        if (msg == WM_TIMER) {
            KillTimer(hwnd, wParam);
            PageGoneCheck(hwnd, wParam);
            return 0;
        }
    } catch (const std::exception&) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void WriteOut(const std::string& line) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written;
    if (out && out != INVALID_HANDLE_VALUE)
        WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

namespace {
void StartListener();
} // namespace

bool PageHostEnabled() {
    return StubEnv(L"APPFRAME_PAGEHOST") == "1";
}

void PageHostStart() {
    try {
        StartListener();
    } catch (const std::exception&) {
        Transcript("pageHostFailed");
    }
}

void PageHostFormAdded(HWND form, HWND page, bool isMain, const std::string& urlAnsi) {
    try {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        if (!h.Started) return;
        TSlot& slot = h.Slots[WebIdOf(page)];
        slot.Form = form;
        slot.Serial = ++h.NextSerial;
        slot.IsMain = isMain;
        slot.Announced = isMain;
        slot.Path = isMain ? h.MainPath : ServedFormPath(AnsiToUtf8(urlAnsi), h.ProgramFolder);
    } catch (const std::exception&) {
        // the form is not served
    }
}

namespace {

void StartListener() {
    TPageHost& h = Host();
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        if (h.Started) return;
        h.Started = true;
    }
    WSADATA wsa;
    if (Ws().WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.hInstance = StubInstance();
    wc.lpszClassName = kHostClass;
    RegisterClassExW(&wc);
    HWND window =
        CreateWindowExW(0, kHostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, StubInstance(), nullptr);
    UniqueSocket listener(Ws().socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = HostToNet32(INADDR_LOOPBACK); // never another interface
    const std::string portText = StubEnv(L"APPFRAME_PAGEHOST_PORT");
    addr.sin_port = HostToNet16(static_cast<u_short>(portText.empty() ? 0 : std::atoi(portText.c_str())));
    int len = sizeof addr;
    if (!window || !listener ||
        Ws().bind(listener.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        Ws().listen(listener.Get(), SOMAXCONN) != 0 ||
        Ws().getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        Transcript("pageHostFailed");
        return;
    }
    std::string mainPath = StubEnv(L"APPFRAME_PAGEHOST_MAIN");
    std::string address;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        h.Secret = RandomSecret();
        h.Port = NetToHost16(addr.sin_port);
        h.ProgramFolder = ExeFolder();
        h.MainPath = mainPath.empty() ? "Forms/DemoMain.html" : mainPath;
        h.Window = window;
        h.Listener = listener.Get();
        address = "http://127.0.0.1:" + std::to_string(h.Port) + "/?k=" + h.Secret;
    }
    std::string file = StubEnv(L"APPFRAME_PAGEHOST_FILE");
    if (file.empty()) file = ExeFolder() + "PageHost.url";
    if (FILE* f = _wfopen(Widen(file).c_str(), L"wb")) {
        std::fputs((address + "\n").c_str(), f);
        std::fclose(f);
    }
    WriteOut("AppFramework page host: " + address + "\n");
    JsonRef t = NewJsonObject();
    t->PutI("port", h.Port);
    Transcript("pageHostListening", t);
    std::thread(ListenerThread, listener.Release()).detach();
}

} // namespace

void PageHostFormShown(HWND page) {
    TPageHost& h = Host();
    std::vector<std::pair<int32_t, JsonRef>> pushes;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(WebIdOf(page));
        if (it == h.Slots.end()) return;
        it->second.Shown = true;
        AnnounceLocked(h, WebIdOf(page), pushes);
    }
    for (auto& [webId, data] : pushes)
        Push(webId, "open", data);
}

void PageHostFormNavigated(HWND page, const std::string& urlAnsi) {
    TPageHost& h = Host();
    bool announced = false;
    std::string path;
    std::vector<std::pair<int32_t, JsonRef>> pushes;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(WebIdOf(page));
        if (it == h.Slots.end()) return;
        path = it->second.Path = ServedFormPath(AnsiToUtf8(urlAnsi), h.ProgramFolder);
        announced = it->second.Announced;
        // A form shown before it had a served address (a web control's) opens with its first one.
        if (!announced && it->second.Shown) AnnounceLocked(h, WebIdOf(page), pushes);
    }
    for (auto& [webId, data] : pushes)
        Push(webId, "open", data);
    if (announced && !path.empty()) {
        JsonRef d = NewJsonObject();
        d->PutS("url", FormUrl(WebIdOf(page), path));
        Push(WebIdOf(page), "navigate", d);
    }
}

void PageHostFormGone(HWND page) {
    Push(WebIdOf(page), "close", NewJsonObject());
    TPageHost& h = Host();
    HWND window = nullptr;
    UINT_PTR serial = 0;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(WebIdOf(page));
        if (it == h.Slots.end()) return;
        window = h.Window;
        serial = it->second.Serial;
        h.Slots.erase(it);
    }
    // A timer that still comes (or is set by a late message) finds no slot and does nothing.
    if (window) KillTimer(window, serial);
}

bool PageHostAnswer(HWND page, int32_t callerNo, const std::string& textAnsi) {
    if (callerNo == 0) return false;
    JsonRef d = NewJsonObject();
    d->PutI("callerNo", callerNo);
    d->PutS("text", AnsiToUtf8(textAnsi));
    return Push(WebIdOf(page), "answer", d);
}

bool PageHostRunScript(HWND page, const std::string& scriptAnsi, std::string& errorAnsi) {
    auto wait = std::make_shared<TWait>();
    int64_t id;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        id = ++h.NextWait;
        h.Waits[id] = wait;
    }
    JsonRef d = NewJsonObject();
    d->PutI("id", id);
    d->PutS("text", AnsiToUtf8(scriptAnsi));
    bool answered = Push(WebIdOf(page), "script", d, id) &&
                    WaitForSingleObject(wait->Done.Get(), kScriptPatienceMs) == WAIT_OBJECT_0;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        h.Waits.erase(id);
        if (auto it = h.Slots.find(WebIdOf(page)); it != h.Slots.end()) {
            auto& backlog = it->second.Backlog;
            for (auto b = backlog.begin(); b != backlog.end();)
                if (b->first == id) {
                    it->second.BacklogBytes -= b->second.size();
                    b = backlog.erase(b);
                } else {
                    ++b;
                }
        }
        if (answered && wait->Ok) return true;
        errorAnsi = answered ? Utf8ToAnsi(wait->Error) : std::string("the page did not run the script");
    }
    return false;
}

bool PageHostCallFunction(const std::string& nameAnsi, const std::string& paramsJsonUtf8) try {
    JsonRef params = ParseJson(paramsJsonUtf8);
    JsonRef d = NewJsonObject();
    d->PutS("name", AnsiToUtf8(nameAnsi));
    JsonRef types = params ? params->GetO("paramTypes") : nullptr;
    JsonRef values = params ? params->GetO("paramValues") : nullptr;
    d->PutO("types", types ? types : NewJsonArray());
    d->PutO("values", values ? values : NewJsonArray());
    const std::string frame = Frame("fun", d);
    std::vector<std::shared_ptr<TStream>> targets;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        for (auto& [pageId, names] : h.Functions) {
            if (!names.count(nameAnsi)) continue;
            auto form = h.PageForms.find(pageId);
            auto slot = form == h.PageForms.end() ? h.Slots.end() : h.Slots.find(form->second);
            if (slot == h.Slots.end()) continue;
            for (auto& stream : slot->second.Streams)
                if (stream->PageId == pageId) targets.push_back(stream);
        }
    }
    for (auto& stream : targets)
        stream->Send(frame);
    return !targets.empty();
} catch (const std::exception&) {
    return false;
}

void PageHostStop() {
    TPageHost& h = Host();
    SOCKET listener;
    std::vector<std::shared_ptr<TStream>> streams;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        listener = h.Listener;
        h.Listener = INVALID_SOCKET;
        for (auto& [id, slot] : h.Slots)
            streams.insert(streams.end(), slot.Streams.begin(), slot.Streams.end());
    }
    for (auto& stream : streams)
        stream->Send(Frame("close", nullptr));
    if (listener != INVALID_SOCKET) Ws().closesocket(listener);
}
