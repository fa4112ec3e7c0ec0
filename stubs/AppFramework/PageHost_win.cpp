// Page-host mode: the listener, one thread per connection, page streams (server-sent events) and
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

using namespace pagehost;

namespace {

constexpr wchar_t kHostClass[] = L"AppFwPageHost";
constexpr UINT kMsgUiJob = WM_APP + 0x50;
constexpr UINT kMsgMainStreams = WM_APP + 0x51; // wParam: 1 a main page is connected, 0 none is
constexpr UINT_PTR kOrphanTimer = 1;
// A main page that went away without another taking its place within this time was closed.
constexpr UINT kOrphanMs = 5000;
constexpr DWORD kUiPatienceMs = 30000;
constexpr DWORD kScriptPatienceMs = 5000;
constexpr DWORD kKeepAliveMs = 15000;
constexpr DWORD kIdleMs = 60000;
constexpr int kMaxConnections = 64;
constexpr size_t kMaxBacklog = 1024 * 1024;
constexpr size_t kMaxFunctionsPerPage = 256;
constexpr int32_t kModalCancel = 2;

struct SocketTraits {
    static SOCKET Empty() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
    static void Close(SOCKET s) { closesocket(s); }
};
using UniqueSocket = detail::UniqueWin<SOCKET, SocketTraits>;

// One page's event stream. Pushed from any thread, written by its connection's thread.
struct TStream {
    int32_t WebId = 0;
    std::string PageId;
    std::mutex Lock;
    std::string Out;
    UniqueHandle Wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    void Push(const std::string& bytes) {
        {
            std::lock_guard<std::mutex> lock(Lock);
            Out += bytes;
        }
        SetEvent(Wake.Get());
    }
    std::string Take() {
        std::lock_guard<std::mutex> lock(Lock);
        std::string out;
        out.swap(Out);
        return out;
    }
};

struct TSlot {
    HWND Form = nullptr;
    bool IsMain = false;
    bool Announced = false;
    std::string Path; // below the program folder, with its query; "" when not served
    std::vector<std::shared_ptr<TStream>> Streams;
    std::string Backlog; // events for a page that has not connected yet
};

struct TWait {
    UniqueHandle Done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool Ok = false;
    std::string Error; // UTF-8
};

struct TUiJob {
    std::function<void()> Run;
    UniqueHandle Done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

struct TPageHost {
    std::mutex Lock; // guards everything below; never held while calling out
    bool Started = false;
    std::map<int32_t, TSlot> Slots;
    std::map<std::string, std::set<std::string>> Functions; // page id -> registered names
    std::map<std::string, int32_t> PageForms;               // page id -> web id
    std::map<int64_t, std::shared_ptr<TWait>> Waits;
    int64_t NextWait = 0;
    int Connections = 0;
    bool MainSeen = false;
    std::string Secret;
    uint16_t Port = 0;
    std::string ProgramFolder; // UTF-8, ending in a backslash
    std::string MainPath;
    std::string Address;
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
    unsigned char bytes[16];
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
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

// Queues an event for the form's newest page (or its backlog). Takes the lock.
bool Push(int32_t webId, const char* kind, const JsonRef& data) {
    data->PutD("sent", NowMs());
    const std::string frame = SseEvent(kind, PrintJson(data));
    TPageHost& h = Host();
    std::lock_guard<std::mutex> lock(h.Lock);
    auto it = h.Slots.find(webId);
    if (it == h.Slots.end()) return false;
    if (!it->second.Streams.empty())
        it->second.Streams.back()->Push(frame);
    else if (it->second.Backlog.size() + frame.size() <= kMaxBacklog)
        it->second.Backlog += frame;
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
        int n =
            send(s, bytes.data() + sent, static_cast<int>(std::min<size_t>(bytes.size() - sent, 65536)), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(s, &writable);
            timeval patience{5, 0};
            if (select(0, nullptr, &writable, nullptr, &patience) == 1) continue;
        }
        return false;
    }
    return true;
}

void Refused(int status, const THttpRequest& request, const char* why) {
    JsonRef f = NewJsonObject();
    f->PutI("status", status);
    f->PutS("method", request.Method);
    f->PutS("path", request.Path);
    f->PutS("why", why);
    Transcript("pageHostRefused", f);
}

// Runs work on the user-interface thread and waits for it. False when it did not run in time.
bool RunOnUi(std::function<void()> work) {
    auto job = std::make_shared<TUiJob>();
    job->Run = std::move(work);
    HWND window;
    {
        std::lock_guard<std::mutex> lock(Host().Lock);
        window = Host().Window;
    }
    auto* carried = new std::shared_ptr<TUiJob>(job);
    if (!window || !PostMessageW(window, kMsgUiJob, 0, reinterpret_cast<LPARAM>(carried))) {
        delete carried;
        return false;
    }
    return WaitForSingleObject(job->Done.Get(), kUiPatienceMs) == WAIT_OBJECT_0;
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
    if (idText.empty() || idText.size() > 10 || !std::all_of(idText.begin(), idText.end(), ::isdigit))
        return ErrorReply(404, "no such form");
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

JsonRef ParseBody(const THttpRequest& request) {
    JsonRef doc = ParseJson(request.Body);
    return doc && doc->IsType(stObject) ? doc : nullptr;
}

std::string HandleCall(const THttpRequest& request) {
    TPageCall call;
    std::string error;
    if (!DecodePageCall(request.Body, call, error)) return ErrorReply(400, error);
    HWND form;
    if (!SlotForm(call.WebId, form)) return ErrorReply(404, "no such form");
    TStubEventOutcome outcome;
    if (!RunOnUi([&, form] {
            outcome =
                StubRaiseEvent(form, kFwEventPageCall, call.Name, call.CallerNo, call.CallerParams, nullptr);
        }))
        return ErrorReply(503, "the client did not take the call");
    if (!outcome.Found) return ErrorReply(404, "the form is gone");
    JsonRef r = NewJsonObject();
    r->PutS("result", outcome.ResultUtf8);
    return Reply(200, JsonBody(r));
}

std::string HandleEvent(const THttpRequest& request) {
    JsonRef doc = ParseBody(request);
    if (!doc) return ErrorReply(400, "not a JSON object");
    JsonRef typeV = doc->GetO("type"), values = doc->GetO("values");
    const int64_t type = typeV && typeV->IsType(stInt) ? typeV->AsInteger() : -1;
    if (type != kFwEventPopup && type != kFwEventPageLoaded && type != kFwEventNotify &&
        type != kFwEventRequest)
        return ErrorReply(400, "bad event type");
    if (values && !values->IsType(stObject)) return ErrorReply(400, "values must be an object");
    for (const std::string& key : values ? values->Keys() : std::vector<std::string>()) {
        JsonRef v = values->GetO(key);
        if (!v || !(v->IsType(stString) || v->IsType(stInt) || v->IsType(stBoolean)))
            return ErrorReply(400, "values must be texts, integers or Booleans");
    }
    const std::string name = doc->GetS("name");
    if (name.size() > kMaxNameBytes) return ErrorReply(400, "bad name");
    const int32_t webId = static_cast<int32_t>(doc->GetI("webId"));
    HWND form;
    if (!SlotForm(webId, form)) return ErrorReply(404, "no such form");
    TStubEventOutcome outcome;
    std::string open;
    if (!RunOnUi([&, form] {
            outcome = StubRaiseEvent(form, static_cast<int32_t>(type), name, 0, std::string(), values);
            if (type != kFwEventPopup || !outcome.Found) return;
            const std::string url = outcome.Values ? outcome.Values->GetS("URL") : std::string();
            const std::string path = ServedFormPath(url, Host().ProgramFolder);
            if (!path.empty()) {
                JsonRef v = outcome.Values;
                HWND page = StubOpenPopupForm(form, Utf8ToAnsi(url), static_cast<int>(v->GetI("Width")),
                                              static_cast<int>(v->GetI("Height")));
                if (page) open = FormUrl(WebIdOf(page), path);
            } else if (url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0) {
                open = url; // another site: opened as it is, without the channel
            }
        }))
        return ErrorReply(503, "the client did not take the event");
    if (!outcome.Found) return ErrorReply(404, "the form is gone");
    JsonRef r = NewJsonObject();
    r->PutS("result", outcome.ResultUtf8);
    r->PutO("values", outcome.Values ? outcome.Values : NewJsonObject());
    if (!open.empty()) r->PutS("open", open);
    return Reply(200, JsonBody(r));
}

bool IsPageId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), ::isalnum);
}

std::string HandleRegister(const THttpRequest& request) {
    JsonRef doc = ParseBody(request);
    if (!doc) return ErrorReply(400, "not a JSON object");
    const std::string pageId = doc->GetS("pageId"), name = Utf8ToAnsi(doc->GetS("name"));
    const int32_t webId = static_cast<int32_t>(doc->GetI("webId"));
    if (!IsPageId(pageId) || name.empty() || name.size() > kMaxNameBytes)
        return ErrorReply(400, "bad page id or name");
    TPageHost& h = Host();
    std::lock_guard<std::mutex> lock(h.Lock);
    if (!h.Slots.count(webId)) return ErrorReply(404, "no such form");
    auto& names = h.Functions[pageId];
    if (names.size() >= kMaxFunctionsPerPage) return ErrorReply(400, "too many functions");
    names.insert(name);
    h.PageForms[pageId] = webId;
    return Reply(200, "{}");
}

std::string HandleReply(const THttpRequest& request) {
    JsonRef doc = ParseBody(request);
    JsonRef id = doc ? doc->GetO("id") : nullptr;
    if (!id || !id->IsType(stInt)) return ErrorReply(400, "bad reply");
    std::shared_ptr<TWait> wait;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Waits.find(id->AsInteger());
        if (it == h.Waits.end()) return ErrorReply(409, "nobody waits for that reply");
        wait = it->second;
        h.Waits.erase(it);
        wait->Ok = doc->GetB("ok");
        wait->Error = doc->GetS("error");
    }
    SetEvent(wait->Done.Get());
    return Reply(200, "{}");
}

std::string HandleClose(const THttpRequest& request) {
    JsonRef doc = ParseBody(request);
    if (!doc) return ErrorReply(400, "not a JSON object");
    HWND form;
    if (!SlotForm(static_cast<int32_t>(doc->GetI("webId")), form)) return ErrorReply(404, "no such form");
    const int32_t result = doc->GetO("result") ? static_cast<int32_t>(doc->GetI("result")) : kModalCancel;
    if (!RunOnUi([form, result] { StubCloseForm(form, result); }))
        return ErrorReply(503, "the client did not take the request");
    return Reply(200, "{}");
}

void MainStreamsChanged(bool connected) {
    HWND window;
    {
        std::lock_guard<std::mutex> lock(Host().Lock);
        window = Host().Window;
    }
    if (window) PostMessageW(window, kMsgMainStreams, connected ? 1 : 0, 0);
}

// Serves one page's event stream until the page goes. The socket is non-blocking from here on.
void RunStream(SOCKET s, const THttpRequest& request) {
    const std::string pageId = QueryValue(request.Query, "p");
    const std::string webText = QueryValue(request.Query, "w");
    if (!IsPageId(pageId) || webText.empty() || webText.size() > 10 ||
        !std::all_of(webText.begin(), webText.end(), ::isdigit)) {
        SendAll(s, ErrorReply(400, "bad stream request"));
        return;
    }
    auto stream = std::make_shared<TStream>();
    stream->WebId = static_cast<int32_t>(std::stoll(webText));
    stream->PageId = pageId;
    bool isMain = false;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(stream->WebId);
        if (it == h.Slots.end()) {
            SendAll(s, ErrorReply(404, "no such form"));
            return;
        }
        JsonRef hello = NewJsonObject();
        hello->PutS("pageId", pageId);
        stream->Out = SseEvent("hello", PrintJson(hello)) + it->second.Backlog;
        it->second.Backlog.clear();
        it->second.Streams.push_back(stream);
        isMain = it->second.IsMain;
        if (isMain) h.MainSeen = true;
    }
    if (isMain) MainStreamsChanged(true);
    WSAEVENT socketEvent = WSACreateEvent();
    WSAEventSelect(s, socketEvent, FD_READ | FD_CLOSE);
    bool live = SendAll(s, SseHead()) && SendAll(s, stream->Take());
    while (live) {
        HANDLE waits[2] = {stream->Wake.Get(), socketEvent};
        DWORD r = WaitForMultipleObjects(2, waits, FALSE, kKeepAliveMs);
        if (r == WAIT_OBJECT_0) {
            live = SendAll(s, stream->Take());
        } else if (r == WAIT_OBJECT_0 + 1) {
            WSANETWORKEVENTS events;
            if (WSAEnumNetworkEvents(s, socketEvent, &events) != 0 || (events.lNetworkEvents & FD_CLOSE))
                break;
            char sink[512];
            if (recv(s, sink, sizeof sink, 0) == 0) break;
        } else if (r == WAIT_TIMEOUT) {
            live = SendAll(s, ": keep-alive\n\n");
        } else {
            break;
        }
    }
    bool mainEmpty = false;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(stream->WebId);
        if (it != h.Slots.end()) {
            auto& list = it->second.Streams;
            list.erase(std::remove(list.begin(), list.end(), stream), list.end());
            mainEmpty = it->second.IsMain && list.empty();
        }
        h.Functions.erase(pageId);
        h.PageForms.erase(pageId);
    }
    WSAEventSelect(s, nullptr, 0);
    WSACloseEvent(socketEvent);
    if (mainEmpty) MainStreamsChanged(false);
}

// Answers one request; false when the connection ends with it.
bool HandleRequest(SOCKET s, const THttpRequest& request) {
    const bool api = request.Path.compare(0, 5, "/_af/") == 0;
    const TAccess access = CheckAccess(request, Host().Port, Host().Secret, !api);
    if (int refuse = AccessStatus(access)) {
        const char* why = AccessText(access);
        Refused(refuse, request, why);
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
    } else if (request.Method == "GET" && request.Path == "/_af/events") {
        RunStream(s, request);
        return false;
    } else if (request.Method == "GET" && request.Path.compare(0, 3, "/w/") == 0) {
        answer = ServeFile(request);
    } else if (request.Method == "POST" && api) {
        if (request.Path == "/_af/call")
            answer = HandleCall(request);
        else if (request.Path == "/_af/event")
            answer = HandleEvent(request);
        else if (request.Path == "/_af/register")
            answer = HandleRegister(request);
        else if (request.Path == "/_af/reply")
            answer = HandleReply(request);
        else if (request.Path == "/_af/close")
            answer = HandleClose(request);
        else
            answer = ErrorReply(404, "no such call");
    } else if (request.Method != "GET" && request.Method != "POST") {
        answer = ErrorReply(405, "only GET and POST");
    } else {
        answer = ErrorReply(404, "not found");
    }
    return SendAll(s, answer);
}

void ServeConnection(UniqueSocket socket) {
    const SOCKET s = socket.Get();
    DWORD idle = kIdleMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&idle), sizeof idle);
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::string buffer;
    char chunk[16384];
    for (;;) {
        THttpRequest request;
        size_t used = 0;
        const TParse status = ParseRequest(buffer, request, used);
        if (status == TParse::Incomplete) {
            int n = recv(s, chunk, sizeof chunk, 0);
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
        if (!HandleRequest(s, request)) return;
        if (request.Header("connection") == "close") return;
    }
}

void ConnectionThread(SOCKET raw) {
    UniqueSocket socket(raw);
    try {
        ServeConnection(std::move(socket));
    } catch (const std::exception&) {
        // the connection ends; the page sees it closed
    }
    std::lock_guard<std::mutex> lock(Host().Lock);
    --Host().Connections;
}

void ListenerThread(SOCKET listener) {
    for (;;) {
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) return; // the listener was closed
        bool take;
        {
            std::lock_guard<std::mutex> lock(Host().Lock);
            take = Host().Connections < kMaxConnections;
            if (take) ++Host().Connections;
        }
        if (!take) {
            closesocket(s);
            continue;
        }
        try {
            std::thread(ConnectionThread, s).detach();
        } catch (const std::exception&) {
            closesocket(s);
            std::lock_guard<std::mutex> lock(Host().Lock);
            --Host().Connections;
        }
    }
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == kMsgUiJob) {
            std::unique_ptr<std::shared_ptr<TUiJob>> job(reinterpret_cast<std::shared_ptr<TUiJob>*>(lParam));
            try {
                (*job)->Run();
            } catch (const std::exception&) {
                // the waiting connection answers with what the job left
            }
            SetEvent((*job)->Done.Get());
            return 0;
        }
        if (msg == kMsgMainStreams) {
            if (wParam)
                KillTimer(hwnd, kOrphanTimer);
            else
                SetTimer(hwnd, kOrphanTimer, kOrphanMs, nullptr);
            return 0;
        }
        if (msg == WM_TIMER && wParam == kOrphanTimer) {
            KillTimer(hwnd, kOrphanTimer);
            HWND mainForm = nullptr;
            {
                TPageHost& h = Host();
                std::lock_guard<std::mutex> lock(h.Lock);
                auto it = h.Slots.find(MainWebIdLocked(h));
                if (it != h.Slots.end() && it->second.Streams.empty()) mainForm = it->second.Form;
            }
            if (mainForm) {
                Transcript("pageHostMainPageGone");
                StubCloseForm(mainForm, kModalCancel);
            }
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

bool PageHostEnabled() {
    return StubEnv(L"APPFRAME_PAGEHOST") == "1";
}

void PageHostStart() {
    TPageHost& h = Host();
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        if (h.Started) return;
        h.Started = true;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.hInstance = StubInstance();
    wc.lpszClassName = kHostClass;
    RegisterClassExW(&wc);
    HWND window =
        CreateWindowExW(0, kHostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, StubInstance(), nullptr);
    UniqueSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never another interface
    const std::string portText = StubEnv(L"APPFRAME_PAGEHOST_PORT");
    addr.sin_port = htons(static_cast<u_short>(portText.empty() ? 0 : std::atoi(portText.c_str())));
    int len = sizeof addr;
    if (!window || !listener || bind(listener.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener.Get(), SOMAXCONN) != 0 ||
        getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        Transcript("pageHostFailed");
        return;
    }
    std::string mainPath = StubEnv(L"APPFRAME_PAGEHOST_MAIN");
    std::string address;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        h.Secret = RandomSecret();
        h.Port = ntohs(addr.sin_port);
        h.ProgramFolder = ExeFolder();
        h.MainPath = mainPath.empty() ? "Forms/DemoMain.html" : mainPath;
        h.Window = window;
        h.Listener = listener.Get();
        h.Address = address = "http://127.0.0.1:" + std::to_string(h.Port) + "/?k=" + h.Secret;
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

void PageHostFormAdded(HWND form, HWND page, bool isMain, const std::string& urlAnsi) {
    TPageHost& h = Host();
    std::lock_guard<std::mutex> lock(h.Lock);
    if (!h.Started) return;
    TSlot& slot = h.Slots[WebIdOf(page)];
    slot.Form = form;
    slot.IsMain = isMain;
    slot.Path = isMain ? h.MainPath : ServedFormPath(AnsiToUtf8(urlAnsi), h.ProgramFolder);
}

void PageHostFormShown(HWND page) {
    TPageHost& h = Host();
    std::vector<std::pair<int32_t, JsonRef>> pushes;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        AnnounceLocked(h, WebIdOf(page), pushes);
    }
    for (auto& [webId, data] : pushes)
        Push(webId, "open", data);
}

void PageHostFormNavigated(HWND page, const std::string& urlAnsi) {
    TPageHost& h = Host();
    bool announced = false;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        auto it = h.Slots.find(WebIdOf(page));
        if (it == h.Slots.end()) return;
        path = it->second.Path = ServedFormPath(AnsiToUtf8(urlAnsi), h.ProgramFolder);
        announced = it->second.Announced;
    }
    if (announced && !path.empty()) {
        JsonRef d = NewJsonObject();
        d->PutS("url", FormUrl(WebIdOf(page), path));
        Push(WebIdOf(page), "navigate", d);
    }
}

void PageHostFormGone(HWND page) {
    Push(WebIdOf(page), "close", NewJsonObject());
    TPageHost& h = Host();
    std::lock_guard<std::mutex> lock(h.Lock);
    h.Slots.erase(WebIdOf(page));
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
    bool answered = Push(WebIdOf(page), "script", d) &&
                    WaitForSingleObject(wait->Done.Get(), kScriptPatienceMs) == WAIT_OBJECT_0;
    {
        TPageHost& h = Host();
        std::lock_guard<std::mutex> lock(h.Lock);
        h.Waits.erase(id);
        if (answered && wait->Ok) return true;
        errorAnsi = answered ? Utf8ToAnsi(wait->Error) : std::string("the page did not run the script");
    }
    return false;
}

bool PageHostCallFunction(const std::string& nameAnsi, const std::string& paramsJsonUtf8) {
    JsonRef params = ParseJson(paramsJsonUtf8);
    JsonRef d = NewJsonObject();
    d->PutS("name", AnsiToUtf8(nameAnsi));
    JsonRef types = params ? params->GetO("paramTypes") : nullptr;
    JsonRef values = params ? params->GetO("paramValues") : nullptr;
    d->PutO("types", types ? types : NewJsonArray());
    d->PutO("values", values ? values : NewJsonArray());
    d->PutD("sent", NowMs());
    const std::string frame = SseEvent("fun", PrintJson(d));
    TPageHost& h = Host();
    std::lock_guard<std::mutex> lock(h.Lock);
    bool found = false;
    for (auto& [pageId, names] : h.Functions) {
        if (!names.count(nameAnsi)) continue;
        auto form = h.PageForms.find(pageId);
        auto slot = form == h.PageForms.end() ? h.Slots.end() : h.Slots.find(form->second);
        if (slot == h.Slots.end()) continue;
        for (auto& stream : slot->second.Streams)
            if (stream->PageId == pageId) {
                stream->Push(frame);
                found = true;
            }
    }
    return found;
}

std::string PageHostAddress() {
    std::lock_guard<std::mutex> lock(Host().Lock);
    return Host().Address;
}

void PageHostStop() {
    TPageHost& h = Host();
    SOCKET listener;
    {
        std::lock_guard<std::mutex> lock(h.Lock);
        listener = h.Listener;
        h.Listener = INVALID_SOCKET;
        for (auto& [id, slot] : h.Slots)
            for (auto& stream : slot.Streams)
                stream->Push(SseEvent("close", "{}"));
    }
    if (listener != INVALID_SOCKET) closesocket(listener);
}
