// The HTTP rules of the stand-in framework's page-host mode (stubs/AppFramework/PageHostHttp.h).
#include "stubs/AppFramework/PageHostHttp.h"

#include <gtest/gtest.h>

using namespace pagehost;

namespace {

TParse Parse(const std::string& text, THttpRequest& request) {
    size_t used = 0;
    return ParseRequest(text, request, used);
}

THttpRequest Request(const std::string& headers, const std::string& target = "/_af/call") {
    THttpRequest request;
    EXPECT_EQ(Parse("POST " + target + " HTTP/1.1\r\n" + headers + "\r\n", request), TParse::Done);
    return request;
}

} // namespace

TEST(PageHostHttp, ParsesPipelinedRequestsAndRefusesWhatItCannotReadOneWay) {
    const std::string two = "POST /w/7/Forms/a%20b.html?k=s HTTP/1.1\r\nHost: 127.0.0.1:80\r\n"
                            "Content-Length: 5\r\nCookie: a=1\r\nCookie: afk=x\r\n\r\nhello"
                            "GET / HTTP/1.1\r\n\r\n";
    THttpRequest request;
    size_t used = 0;
    ASSERT_EQ(ParseRequest(two, request, used), TParse::Done);
    EXPECT_EQ(request.Path, "/w/7/Forms/a b.html");
    EXPECT_EQ(request.Query, "k=s");
    EXPECT_EQ(request.Body, "hello");
    EXPECT_EQ(CookieValue(request.Header("cookie"), "afk"), "x");
    ASSERT_EQ(ParseRequest(two.substr(used), request, used), TParse::Done);
    EXPECT_EQ(request.Method, "GET");

    EXPECT_EQ(Parse("GET / HTTP/1.1\r\nHost: a", request), TParse::Incomplete);
    EXPECT_EQ(Parse("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\nab", request), TParse::Incomplete);
    for (const char* bad : {"GET / HTTP/2\r\n\r\n", "GET x HTTP/1.1\r\n\r\n", "GET /%00 HTTP/1.1\r\n\r\n",
                            "GET /%zz HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nno colon\r\n\r\n",
                            "GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n",
                            "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
                            "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"})
        EXPECT_EQ(Parse(bad, request), TParse::Bad) << bad;
    EXPECT_EQ(Parse("POST / HTTP/1.1\r\nContent-Length: " + std::to_string(kMaxBodyBytes + 1) + "\r\n\r\n",
                    request),
              TParse::TooLarge);
    EXPECT_EQ(Parse("GET / HTTP/1.1\r\nX: " + std::string(kMaxHeaderBytes, 'a'), request), TParse::TooLarge);
}

TEST(PageHostHttp, OnlyTheLoopbackSiteWithTheSecretGetsThrough) {
    const std::string secret = "0123456789abcdef";
    const std::string host = "Host: 127.0.0.1:4000\r\n";
    EXPECT_EQ(CheckAccess(Request(host + "X-AppFrame-Key: " + secret + "\r\n"), 4000, secret, false),
              TAccess::Allowed);
    EXPECT_EQ(
        CheckAccess(Request("Host: localhost:4000\r\nOrigin: http://127.0.0.1:4000\r\n", "/?k=" + secret),
                    4000, secret, false),
        TAccess::Allowed);
    // The cookie serves page files only.
    const THttpRequest cookie = Request(host + "Cookie: afk=" + secret + "\r\n");
    EXPECT_EQ(CheckAccess(cookie, 4000, secret, true), TAccess::Allowed);
    EXPECT_EQ(CheckAccess(cookie, 4000, secret, false), TAccess::NoSecret);

    const std::string key = "X-AppFrame-Key: " + secret + "\r\n";
    EXPECT_EQ(CheckAccess(Request("Host: evil.example:4000\r\n" + key), 4000, secret, true),
              TAccess::ForeignHost);
    EXPECT_EQ(CheckAccess(Request("Host: 127.0.0.1:4001\r\n" + key), 4000, secret, true),
              TAccess::ForeignHost);
    EXPECT_EQ(CheckAccess(Request(key), 4000, secret, true), TAccess::ForeignHost);
    for (const char* origin :
         {"http://evil.example", "null", "http://127.0.0.1:4001", "https://127.0.0.1:4000"})
        EXPECT_EQ(CheckAccess(Request(host + key + "Origin: " + origin + "\r\n"), 4000, secret, true),
                  TAccess::ForeignOrigin)
            << origin;
    EXPECT_EQ(CheckAccess(Request(host + "X-AppFrame-Key: 0123456789abcdeX\r\n"), 4000, secret, true),
              TAccess::NoSecret);
    EXPECT_EQ(CheckAccess(Request(host + "X-AppFrame-Key: \r\n"), 4000, "", true), TAccess::NoSecret);
    EXPECT_EQ(AccessStatus(TAccess::ForeignHost), 421);
    EXPECT_EQ(AccessStatus(TAccess::NoSecret), 403);
}

TEST(PageHostHttp, DecodesTypedCallsAndMapsAddresses) {
    TPageCall call;
    std::string error;
    ASSERT_TRUE(DecodePageCall(
        R"({"op":"call","id":1,"name":"msg.GetMessage","callerNo":3,"types":[4,0,1,3],"values":["a,b",10,true,1.5]})",
        9, call, error));
    EXPECT_EQ(call.Name, "msg.GetMessage");
    EXPECT_EQ(call.CallerNo, 3);
    EXPECT_EQ(call.CallerParams,
              R"({"CallerNo":3,"WebID":9,"FunName":"msg.GetMessage","paramTypes":[4,0,1,3],)"
              R"("paramValues":["a,b",10,true,1.5]})");
    for (const char* bad :
         {R"([1])", R"({"name":""})", R"({"name":"a","types":[4],"values":[]})",
          R"({"name":"a","types":[0],"values":["1"]})", R"({"name":"a","types":[2],"values":[1]})",
          R"({"name":"a","types":[1],"values":[1]})", R"({"name":"a","callerNo":-1})"})
        EXPECT_FALSE(DecodePageCall(bad, 9, call, error)) << bad;

    EXPECT_EQ(ServedFormPath("Forms\\DemoPopup.html?url=AB", "Z:\\p\\"), "Forms/DemoPopup.html?url=AB");
    EXPECT_EQ(ServedFormPath("z:\\P\\Forms\\MainForm1.html", "Z:\\p\\"), "Forms/MainForm1.html");
    EXPECT_EQ(ServedFormPath("file:///Z:/p/Forms/a%20b.html", "Z:\\p\\"), "Forms/a b.html");
    for (const char* outside :
         {"https://etax.example/Forms/a.html", "Forms\\..\\MainFest.cfg", "Config\\x.cfg",
          "Z:\\other\\Forms\\a.html", "Forms/", "Forms/con.html", "Forms/x/LPT1"})
        EXPECT_EQ(ServedFormPath(outside, "Z:\\p\\"), "") << outside;
    EXPECT_EQ(InjectScript("<!DOCTYPE html><html><HEAD lang=x><title>", "<s>"),
              "<!DOCTYPE html><html><HEAD lang=x><s><title>");
    EXPECT_EQ(InjectScript("<!doctype html><p>", "<s>"), "<!doctype html><s><p>");
}

namespace {

std::string Masked(uint8_t first, const std::string& payload) {
    std::string frame(1, static_cast<char>(first));
    frame += static_cast<char>(0x80 | payload.size()); // short payloads only
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    frame.append(mask, 4);
    for (size_t i = 0; i < payload.size(); ++i)
        frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    return frame;
}

} // namespace

TEST(PageHostHttp, WebSocketChannelFrames) {
    EXPECT_EQ(WebSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    THttpRequest upgrade;
    ASSERT_EQ(Parse("GET /_af/channel HTTP/1.1\r\nUpgrade: WebSocket\r\nConnection: keep-alive, Upgrade\r\n"
                    "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: abc\r\n\r\n",
                    upgrade),
              TParse::Done);
    EXPECT_TRUE(IsWebSocketUpgrade(upgrade));
    upgrade.Headers["sec-websocket-version"] = "8";
    EXPECT_FALSE(IsWebSocketUpgrade(upgrade));

    // A message split over a text frame and a continuation, with a ping between, then a close;
    // arriving a byte at a time.
    const std::string wire =
        Masked(0x01, "{\"op\":") + Masked(0x89, "p") + Masked(0x80, "1}") + Masked(0x88, "");
    TWebSocketReader reader;
    std::string buffer, message;
    std::vector<std::string> seen;
    for (char c : wire) {
        buffer += c;
        for (TFrame f; (f = reader.Next(buffer, message)) != TFrame::Incomplete;)
            seen.push_back(f == TFrame::Message ? "message " + message
                           : f == TFrame::Ping  ? "ping " + message
                           : f == TFrame::Close ? "close"
                                                : "other");
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"ping p", "message {\"op\":1}", "close"}));

    for (const std::string& bad : {Masked(0x81, "x").replace(1, 1, 1, '\x01'), // unmasked
                                   Masked(0x82, "x"),                          // binary
                                   Masked(0xC1, "x"),                          // reserved bit
                                   Masked(0x80, "x"),                          // continuation of nothing
                                   Masked(0x09, "x")}) {                       // fragmented ping
        TWebSocketReader fresh;
        std::string b = bad;
        EXPECT_EQ(fresh.Next(b, message), TFrame::Bad);
    }
    std::string huge = "\x81\xFF" + std::string("\0\0\0\0\x00\x20\0\0", 8); // 2 MiB announced
    EXPECT_EQ(TWebSocketReader().Next(huge, message), TFrame::TooLarge);
    EXPECT_EQ(WebSocketFrame(kWsText, std::string(300, 'a')).substr(0, 4),
              std::string("\x81\x7E\x01\x2C", 4));
}
