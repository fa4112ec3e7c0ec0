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

TEST(PageHostHttp, DecodesTypedCallsAndFramesEvents) {
    TPageCall call;
    std::string error;
    ASSERT_TRUE(DecodePageCall(
        R"({"webId":9,"name":"msg.GetMessage","callerNo":3,"types":[4,0,1,3],"values":["a,b",10,true,1.5]})",
        call, error));
    EXPECT_EQ(call.Name, "msg.GetMessage");
    EXPECT_EQ(call.CallerNo, 3);
    EXPECT_EQ(call.CallerParams,
              R"({"CallerNo":3,"WebID":9,"FunName":"msg.GetMessage","paramTypes":[4,0,1,3],)"
              R"("paramValues":["a,b",10,true,1.5]})");
    for (const char* bad :
         {R"([1])", R"({"name":""})", R"({"name":"a","types":[4],"values":[]})",
          R"({"name":"a","types":[0],"values":["1"]})", R"({"name":"a","types":[2],"values":[1]})",
          R"({"name":"a","types":[1],"values":[1]})", R"({"name":"a","callerNo":-1})"})
        EXPECT_FALSE(DecodePageCall(bad, call, error)) << bad;

    EXPECT_EQ(SseEvent("answer", "a\r\nb\nc"), "event: answer\ndata: a\ndata: b\ndata: c\n\n");

    EXPECT_EQ(ServedFormPath("Forms\\DemoPopup.html?url=AB", "Z:\\p\\"), "Forms/DemoPopup.html?url=AB");
    EXPECT_EQ(ServedFormPath("z:\\P\\Forms\\MainForm1.html", "Z:\\p\\"), "Forms/MainForm1.html");
    EXPECT_EQ(ServedFormPath("file:///Z:/p/Forms/a%20b.html", "Z:\\p\\"), "Forms/a b.html");
    for (const char* outside : {"https://etax.example/Forms/a.html", "Forms\\..\\MainFest.cfg",
                                "Config\\x.cfg", "Z:\\other\\Forms\\a.html", "Forms/"})
        EXPECT_EQ(ServedFormPath(outside, "Z:\\p\\"), "") << outside;
    EXPECT_EQ(InjectScript("<!DOCTYPE html><html><HEAD lang=x><title>", "<s>"),
              "<!DOCTYPE html><html><HEAD lang=x><s><title>");
    EXPECT_EQ(InjectScript("<!doctype html><p>", "<s>"), "<!doctype html><s><p>");
}
