#include "web/web_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/local_peer.h"
#include "web/http_client.h"

namespace {

using namespace std::chrono_literals;
using test_support::LocalPeer;
using test_support::Reply;
using test_support::Request;
using test_support::SelfSignedCertificate;

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The head that the client sends to the peer: request line, Host, the agent, the given lines.
std::string RequestHead(const std::string& requestLine, const LocalPeer& peer,
                        const std::vector<std::string>& lines,
                        const std::string& agent = DefaultUserAgent) {
    std::string head =
        requestLine + "\r\nHost: " + peer.Address() + "\r\nUser-Agent: " + agent + "\r\n";
    for (const std::string& line : lines) head += line + "\r\n";
    return head + "\r\n";
}

// The default lines of a request to `url` without caller headers.
std::vector<std::string> DefaultLines(const std::string& url) {
    return {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
            "Content-Type: application/x-www-form-urlencoded"};
}

// Every test starts with an empty process cookie store and the normal time-outs.
class WebAccessTest : public ::testing::Test {
protected:
    void SetUp() override { ClearHttpCookies(); }
    void TearDown() override {
        SetHttpTimeouts({});
        ClearHttpCookies();
    }
};

TEST_F(WebAccessTest, GetAndPostSendTheDefaultHeaderTextLineByLine) {
    LocalPeer peer({Reply::Full(200, "got it")});
    const std::string url = peer.Url("/api.php?x=1");

    Text headers;
    Bytes getBody = AsBytes("left alone");
    EXPECT_EQ(AsString(WebAccess(url, 0, "a=1", std::nullopt, nullptr, &headers, nullptr, false,
                                 &getBody)),
              "got it");
    const Text example1 = "Accept: */*\r\nReferer: " + url +
                          "\r\nAccept-Language: zh-cn\r\n"
                          "Content-Type: application/x-www-form-urlencoded";
    EXPECT_EQ(headers, example1);
    EXPECT_EQ(AsString(getBody), "left alone");

    Text postHeaders;
    EXPECT_EQ(AsString(WebAccess(url, 1, "str=abc&sign=0f", std::nullopt, nullptr, &postHeaders)),
              "got it");
    EXPECT_EQ(postHeaders, example1);

    const std::vector<Request> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].bytes, RequestHead("GET /api.php?x=1 HTTP/1.1", peer, DefaultLines(url)));
    std::vector<std::string> postLines = DefaultLines(url);
    postLines.push_back("Content-Length: 15");
    EXPECT_EQ(requests[1].bytes,
              RequestHead("POST /api.php?x=1 HTTP/1.1", peer, postLines) + "str=abc&sign=0f");
}

TEST_F(WebAccessTest, UploadHeaderTextWithEmptyLinesGoesOutWhole) {
    LocalPeer peer({Reply::Full(200, "{}")});
    const std::string url = peer.Url("/api.php");
    const std::string contentType =
        "Content-Type:multipart/form-data; boundary=----EwkTovUpipKzdeiddgT4XiIgPWPhuU52xE";
    // Over 1 MiB, where the library would otherwise ask for "100 Continue" first.
    const std::string bodyText = "------EwkTovUpipKzdeiddgT4XiIgPWPhuU52xE\r\n" +
                                 std::string(1200 * 1024, 'z') + std::string(1, '\0') + "end";

    Text headers = contentType + "\r\n\r\n";
    Bytes body = AsBytes(bodyText);
    const Bytes reply =
        WebAccess(url, 1, Text(), std::nullopt, nullptr, &headers, nullptr, false, &body);
    EXPECT_EQ(AsString(reply), "{}");
    EXPECT_EQ(headers, contentType + "\r\n\r\n\r\nAccept: */*\r\nReferer: " + url +
                           "\r\nAccept-Language: zh-cn");
    EXPECT_EQ(AsString(body), bodyText);

    const std::vector<Request> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].bytes,
              RequestHead("POST /api.php HTTP/1.1", peer,
                          {contentType, "Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
                           "Content-Length: " + std::to_string(bodyText.size())}) +
                  bodyText);
}

TEST_F(WebAccessTest, MethodDecidesVerbAndBody) {
    struct Case {
        const char* name;
        int method;
        const char* formData;
        const char* body;
        const char* requestLine;
        const char* sentBody;  // nullptr: no body and no Content-Length
        const char* bodyAfter;
    };
    const Case cases[] = {
        {"out of range above reads as GET", 7, "a=1", "", "GET", nullptr, ""},
        {"negative reads as GET", -1, "a=1", "kept", "GET", nullptr, "kept"},
        {"POST sends the form when the body is empty", 1, "a=1", "", "POST", "a=1", "a=1"},
        {"POST prefers the body to the form", 1, "a=1", "b=2", "POST", "b=2", "b=2"},
        {"POST with neither sends an empty body", 1, "", "", "POST", "", ""},
        {"HEAD sends the form like a POST", 2, "a=1", "", "HEAD", "a=1", "a=1"},
        {"HEAD prefers the body like a POST", 2, "a=1", "b=2", "HEAD", "b=2", "b=2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The HEAD reply announces a body that never comes; waiting for it would stall.
        LocalPeer peer({Reply().Send(Reply::Head(200, {"Content-Length: 9"}) + "\r\n" +
                                     (std::string(c.requestLine) == "HEAD" ? "" : "123456789"))});
        const std::string url = peer.Url("/m");
        Bytes body = AsBytes(c.body);
        Text returnedHeaders;
        const Bytes reply = WebAccess(url, c.method, c.formData, std::nullopt, nullptr, nullptr,
                                      &returnedHeaders, false, &body);
        EXPECT_EQ(AsString(reply), std::string(c.requestLine) == "HEAD" ? "" : "123456789");
        EXPECT_EQ(returnedHeaders, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n");
        EXPECT_EQ(AsString(body), c.bodyAfter);
        const std::vector<Request> requests = peer.Requests();
        ASSERT_EQ(requests.size(), 1u);
        std::vector<std::string> lines = DefaultLines(url);
        if (c.sentBody) lines.push_back("Content-Length: " + std::to_string(strlen(c.sentBody)));
        EXPECT_EQ(requests[0].bytes,
                  RequestHead(std::string(c.requestLine) + " /m HTTP/1.1", peer, lines) +
                      (c.sentBody ? c.sentBody : ""));
    }
}

TEST_F(WebAccessTest, ObjectNameGoesOutAsItStands) {
    LocalPeer peer({Reply::Full(200, "ok")});
    const std::string url = peer.Url("/a/./b/../c%zz d/\xD6\xD0?q=1&r=%41#frag");
    EXPECT_EQ(AsString(WebAccess(url)), "ok");
    ASSERT_EQ(peer.RequestCount(), 1u);
    EXPECT_EQ(peer.Requests()[0].target, "/a/./b/../c%zz d/\xD6\xD0?q=1&r=%41#frag");
}

TEST_F(WebAccessTest, ComposesHeaderText) {
    struct Case {
        const char* name;
        const char* headers;
        const char* cookies;
        const char* composed;  // "URL" stands for the request URL
    };
    const Case cases[] = {
        {"no caller headers", "", "",
         "Accept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded"},
        {"lower-case accept does not count", "accept: text/html", "",
         "accept: text/html\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded"},
        {"caller's Content-Type suppresses the default", "Content-Type: text/xml", "",
         "Content-Type: text/xml\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn"},
        {"caller's lines suppress every default",
         "Accept: a\r\nReferer: r\r\nAccept-Language: "
         "en\r\nContent-Type: t",
         "", "Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nContent-Type: t"},
        {"a name anywhere in the text counts", "X-Note: Referer: none", "",
         "X-Note: Referer: none\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded"},
        {"cookies become a cookie line", "", "a=1",
         "Accept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nCookie: a=1"},
        {"a complete cookie line stands as it is", "", "Cookie: a=1",
         "Accept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nCookie: a=1"},
        {"a text ending in CRLF leaves an empty line", "X-A: 1\r\n", "",
         "X-A: 1\r\n\r\nAccept: */*\r\nReferer: URL\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded"},
    };
    const Text url = "http://myhost/p?q=1";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string expected = c.composed;
        const size_t at = expected.find("URL");
        if (at != std::string::npos) expected.replace(at, 3, url);
        EXPECT_EQ(ComposeHeaderText(url, c.headers, c.cookies), expected);
    }
}

TEST_F(WebAccessTest, AgentComesFromTheCallersHeaders) {
    struct Case {
        const char* headers;
        const char* agent;
    };
    const Case cases[] = {
        {"", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {"X-A: 1", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {"User-Agent: MyAgent/1.0", "MyAgent/1.0"},
        {"X-A: 1\r\nUser-Agent:  MyAgent/1.0 \r\nX-B: 2", "MyAgent/1.0"},
        // A name in another case is found but not cut: the first header value stands in.
        {"user-agent: MyAgent/1.0", "MyAgent/1.0"},
        {"X-A: first\r\nuser-agent: MyAgent/1.0", "first\r\nuser-agent: MyAgent/1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        EXPECT_EQ(RequestAgent(c.headers), c.agent);
    }
}

TEST_F(WebAccessTest, CallersAgentLineIsTheOnlyAgentSent) {
    for (const std::string line : {"User-Agent: MyAgent/1.0", "user-agent: MyAgent/1.0"}) {
        SCOPED_TRACE(line);
        LocalPeer peer({Reply::Full(200, "ok")});
        const std::string url = peer.Url("/");
        Text headers = line;
        EXPECT_EQ(AsString(WebAccess(url, 0, Text(), std::nullopt, nullptr, &headers)), "ok");
        ASSERT_EQ(peer.RequestCount(), 1u);
        EXPECT_EQ(peer.Requests()[0].bytes,
                  "GET / HTTP/1.1\r\nHost: " + peer.Address() + "\r\n" + line +
                      "\r\nAccept: */*\r\nReferer: " + url +
                      "\r\nAccept-Language: zh-cn\r\n"
                      "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
    }
}

TEST_F(WebAccessTest, ReturnsFinalHeadAndItsCookies) {
    LocalPeer peer({Reply::Full(
        200, "body",
        {"Set-Cookie: sid=7; path=/", "SET-COOKIE: lang=cn", "set-cookie: x = 1 ; HttpOnly"})});
    Text returnedCookies, returnedHeaders;
    EXPECT_EQ(AsString(WebAccess(peer.Url("/"), 0, Text(), Text(), &returnedCookies, nullptr,
                                 &returnedHeaders)),
              "body");
    EXPECT_EQ(returnedCookies, "sid=7; lang=cn; x = 1");
    EXPECT_EQ(returnedHeaders,
              "HTTP/1.1 200 OK\r\nSet-Cookie: sid=7; path=/\r\nSet-Cookie: lang=cn\r\n"
              "Set-Cookie: x = 1 ; HttpOnly\r\nContent-Length: 4\r\nConnection: close\r\n");
}

TEST_F(WebAccessTest, ExtractsCookiesFromHead) {
    struct Case {
        const char* name;
        const char* head;
        const char* cookies;
    };
    const Case cases[] = {
        {"no Set-Cookie", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", ""},
        {"empty head", "", ""},
        {"attributes dropped, order and repeats kept",
         "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nX: y\r\nSet-Cookie: a=2;x\r\n", "a=1; a=2"},
        {"no colon but a semicolon gives an empty value",
         "HTTP/1.1 200 OK\r\nSet-Cookie a=1; path=/\r\nSet-Cookie: b=2\r\n", "; b=2"},
        {"the name anywhere in a line counts", "HTTP/1.1 200 OK\r\nX-Set-Cookie: c=3\r\n",
         "X- c=3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtractCookies(c.head), c.cookies);
    }
}

TEST_F(WebAccessTest, HeadLongerThan4999BytesComesBackWhole) {
    const std::string big(6000, 'v');
    LocalPeer peer({Reply::Full(200, "ok", {"X-Big: " + big, "Set-Cookie: k=v; path=/"})});
    Text returnedCookies, returnedHeaders;
    EXPECT_EQ(AsString(WebAccess(peer.Url("/"), 0, Text(), std::nullopt, &returnedCookies, nullptr,
                                 &returnedHeaders)),
              "ok");
    EXPECT_EQ(returnedHeaders, "HTTP/1.1 200 OK\r\nX-Big: " + big +
                                   "\r\nSet-Cookie: k=v; path=/\r\nContent-Length: 2\r\n"
                                   "Connection: close\r\n");
    EXPECT_EQ(returnedCookies, "k=v");
}

TEST_F(WebAccessTest, CookieStoreIsSharedUnlessCookiesAreSupplied) {
    LocalPeer peer([](const Request& request, size_t index) {
        if (index == 0) return Reply::Full(200, "set", {"Set-Cookie: sid=7; path=/"});
        if (request.target == "/other") return Reply::Full(200, "", {"Set-Cookie: other=1"});
        return Reply::Full(200, request.Header("Cookie").value_or("none"));
    });
    EXPECT_EQ(AsString(WebAccess(peer.Url("/login"))), "set");
    // Stored cookies go out with later requests, on this thread and on others.
    EXPECT_EQ(AsString(WebAccess(peer.Url("/a"))), "sid=7");
    std::string fromThread;
    std::thread([&] { fromThread = AsString(WebAccess(peer.Url("/b"))); }).join();
    EXPECT_EQ(fromThread, "sid=7");
    // Supplied cookies, even empty, keep the request away from the store both ways.
    EXPECT_EQ(AsString(WebAccess(peer.Url("/c"), 0, Text(), Text())), "none");
    EXPECT_EQ(AsString(WebAccess(peer.Url("/d"), 0, Text(), Text("a=1"))), "a=1");
    EXPECT_EQ(AsString(WebAccess(peer.Url("/other"), 0, Text(), Text())), "");
    EXPECT_EQ(AsString(WebAccess(peer.Url("/e"))), "sid=7");

    const std::vector<Request> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 7u);
    const std::string url = peer.Url("/d");
    std::vector<std::string> lines = DefaultLines(url);
    lines.push_back("Cookie: a=1");
    EXPECT_EQ(requests[4].bytes, RequestHead("GET /d HTTP/1.1", peer, lines));
}

TEST_F(WebAccessTest, CookiesSetOnOneThreadReachAnother) {
    LocalPeer peer([](const Request& request, size_t) {
        if (request.target == "/set") return Reply::Full(200, "", {"Set-Cookie: t=1"});
        return Reply::Full(200, request.Header("Cookie").value_or("none"));
    });
    std::thread([&] { WebAccess(peer.Url("/set")); }).join();
    std::string seen;
    std::thread([&] { seen = AsString(WebAccess(peer.Url("/get"))); }).join();
    EXPECT_EQ(seen, "t=1");
}

TEST_F(WebAccessTest, FollowsRedirectsUnlessTold) {
    LocalPeer target([](const Request& request, size_t) {
        return Reply::Full(200,
                           "target " + request.method + " " + request.target + " " + request.body);
    });
    LocalPeer peer([&target](const Request& request, size_t) {
        if (request.target == "/relative") return Reply::Redirect(302, "/final?x=1");
        if (request.target == "/absolute") return Reply::Redirect(301, target.Url("/there"));
        if (request.target == "/see-other") return Reply::Redirect(303, target.Url("/so"));
        if (request.target == "/temporary") return Reply::Redirect(307, target.Url("/keep"));
        return Reply::Full(200,
                           "final " + request.method + " " + request.target + " " + request.body,
                           {"X-Final: 1"});
    });
    struct Case {
        const char* name;
        const char* path;
        int method;
        bool noRedirect;
        const char* reply;
        const char* statusLine;
    };
    const Case cases[] = {
        {"302 to another path", "/relative", 0, false, "final GET /final?x=1 ", "HTTP/1.1 200 OK"},
        {"301 to another server", "/absolute", 0, false, "target GET /there ", "HTTP/1.1 200 OK"},
        {"302 turns a POST into a GET", "/relative", 1, false, "final GET /final?x=1 ",
         "HTTP/1.1 200 OK"},
        {"303 turns a POST into a GET", "/see-other", 1, false, "target GET /so ",
         "HTTP/1.1 200 OK"},
        {"307 keeps POST and body", "/temporary", 1, false, "target POST /keep f=1",
         "HTTP/1.1 200 OK"},
        {"noRedirect returns the redirect itself", "/relative", 0, true, "moved",
         "HTTP/1.1 302 Found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Text returnedHeaders;
        const Bytes reply = WebAccess(peer.Url(c.path), c.method, "f=1", std::nullopt, nullptr,
                                      nullptr, &returnedHeaders, c.noRedirect);
        EXPECT_EQ(AsString(reply), c.reply);
        // Only the final reply's head, from its own status line on.
        EXPECT_EQ(returnedHeaders.substr(0, returnedHeaders.find("\r\n")), c.statusLine);
        EXPECT_EQ(returnedHeaders.find("HTTP/", 1), std::string::npos);
    }
}

TEST_F(WebAccessTest, RedirectsKeepTheHeaderText) {
    LocalPeer peer([](const Request& request, size_t) {
        if (request.target == "/from") return Reply::Redirect(302, "/to");
        return Reply::Full(200, "ok");
    });
    const std::string url = peer.Url("/from");
    EXPECT_EQ(AsString(WebAccess(url)), "ok");
    const std::vector<Request> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].bytes, RequestHead("GET /to HTTP/1.1", peer, DefaultLines(url)));
}

TEST_F(WebAccessTest, ReadsBodiesWholeHoweverTheyArrive) {
    std::string large(5 * 1000 * 1000, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 251);
    std::string medium(2500, 'm');
    medium[1023] = '\0';
    std::vector<std::string> pieces;
    for (size_t at = 0; at < large.size(); at += 70001) pieces.push_back(large.substr(at, 70001));

    struct Case {
        const char* name;
        Reply reply;
        const std::string& body;
    };
    Reply trickled = Reply().Send(Reply::Head(200, {"Content-Length: 2500"}) + "\r\n");
    for (size_t at = 0; at < medium.size(); at += 999) {
        trickled.Send(medium.substr(at, 999)).Pause(5ms);
    }
    trickled.Close();
    const std::string empty;
    // Without a length the body ends where the server closes.
    const Reply untilClose =
        Reply().Send(Reply::Head(200, {"Connection: close"}) + "\r\n" + medium).Close();
    const Case cases[] = {
        {"5 MB with a length", Reply::Full(200, large), large},
        {"5 MB in chunks", Reply::Chunked(200, pieces), large},
        {"2500 bytes in pieces with pauses", trickled, medium},
        {"2500 bytes until the close", untilClose, medium},
        {"no body", Reply::Full(204, ""), empty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalPeer peer({c.reply});
        const Bytes body = WebAccess(peer.Url("/"));
        EXPECT_EQ(body.size(), c.body.size());
        EXPECT_TRUE(AsString(body) == c.body);
    }
}

TEST_F(WebAccessTest, BrokenExchangesReturnNothing) {
    SetHttpTimeouts({2000ms, 500ms});
    const std::string head = Reply::Head(200, {"Content-Length: 100", "Set-Cookie: s=1"});
    struct Case {
        const char* name;
        Reply reply;
        const char* returnedHeaders;
    };
    const Case cases[] = {
        // A body cut short is no reply, although its head arrived.
        {"reset in mid-body", Reply().Send(head + "\r\n" + std::string(40, 'x')).Reset(),
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nSet-Cookie: s=1\r\n"},
        {"close in mid-body", Reply().Send(head + "\r\n" + std::string(40, 'x')).Close(),
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nSet-Cookie: s=1\r\n"},
        {"chunked body cut short",
         Reply()
             .Send(Reply::Head(200, {"Transfer-Encoding: chunked", "Set-Cookie: s=1"}) +
                   "\r\n4\r\nabcd\r\n")
             .Close(),
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nSet-Cookie: s=1\r\n"},
        {"stall in mid-body", Reply().Send(head + "\r\n" + std::string(40, 'x')).Stall(),
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nSet-Cookie: s=1\r\n"},
        // No head at all: the head comes back empty rather than as blanks.
        {"stall before the head", Reply().Stall(), ""},
        {"close before the head", Reply().Close(), ""},
        {"reset before the head", Reply().Reset(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalPeer peer({c.reply});
        Text headers = "X-A: 1";
        Text returnedHeaders = "stale", returnedCookies = "stale";
        const auto started = std::chrono::steady_clock::now();
        const Bytes body = WebAccess(peer.Url("/"), 0, Text(), std::nullopt, &returnedCookies,
                                     &headers, &returnedHeaders);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
        EXPECT_TRUE(body.empty());
        EXPECT_EQ(returnedHeaders, c.returnedHeaders);
        EXPECT_EQ(returnedCookies, c.returnedHeaders[0] == '\0' ? "" : "s=1");
        // The request went out, so the header text was composed and handed back.
        EXPECT_EQ(headers.substr(0, 20), "X-A: 1\r\nAccept: */*\r");
    }
}

TEST_F(WebAccessTest, RefusedConnectionReturnsNothing) {
    int port;
    {
        LocalPeer closed({Reply::Full(200, "")});
        port = closed.Port();
    }
    Text returnedHeaders = "stale", returnedCookies = "stale";
    const Bytes body = WebAccess("http://127.0.0.1:" + std::to_string(port) + "/", 1, "a=1",
                                 std::nullopt, &returnedCookies, nullptr, &returnedHeaders);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(returnedHeaders, "");
    EXPECT_EQ(returnedCookies, "");
    EXPECT_TRUE(WebAccess("").empty());
}

TEST_F(WebAccessTest, UrlThatWouldSplitTheRequestIsRefused) {
    LocalPeer peer({Reply::Full(200, "ok")});
    Text headers = "X-A: 1", returnedHeaders = "stale";
    Bytes body;
    // The URL also goes into the Referer line, where its line break would start a new line.
    for (const std::string& url : {peer.Url("/a\r\nX-Injected: 1"),
                                   "X-Injected: 1\r\n" + peer.Url("/a"), peer.Url("/a\n")}) {
        SCOPED_TRACE(url);
        EXPECT_TRUE(WebAccess(url, 1, "a=1", std::nullopt, nullptr, &headers, &returnedHeaders,
                              false, &body)
                        .empty());
    }
    // Refused before anything was sent: every parameter stays as the caller had it.
    EXPECT_EQ(headers, "X-A: 1");
    EXPECT_EQ(returnedHeaders, "stale");
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(peer.ConnectionCount(), 0u);
}

TEST_F(WebAccessTest, ErrorStatusBodiesAreReplies) {
    LocalPeer peer({Reply::Full(404, "missing")});
    Text returnedHeaders;
    EXPECT_EQ(AsString(WebAccess(peer.Url("/x"), 0, Text(), std::nullopt, nullptr, nullptr,
                                 &returnedHeaders)),
              "missing");
    EXPECT_EQ(returnedHeaders.substr(0, 22), "HTTP/1.1 404 Not Found");
}

TEST_F(WebAccessTest, ProxyServesHttpRequests) {
    LocalPeer server({Reply::Full(200, "direct")});
    LocalPeer proxy({Reply::Full(200, "proxied")});
    const std::string url = server.Url("/p?q=1");
    EXPECT_EQ(AsString(WebAccess(url, 1, "a=1", std::nullopt, nullptr, nullptr, nullptr, false,
                                 nullptr, proxy.Address())),
              "proxied");
    EXPECT_EQ(server.RequestCount(), 0u);
    ASSERT_EQ(proxy.RequestCount(), 1u);
    std::vector<std::string> lines = DefaultLines(url);
    lines.push_back("Content-Length: 3");
    EXPECT_EQ(proxy.Requests()[0].bytes,
              "POST " + url + " HTTP/1.1\r\nHost: " + server.Address() +
                  "\r\nUser-Agent: " + DefaultUserAgent + "\r\nAccept: */*\r\nReferer: " + url +
                  "\r\nAccept-Language: zh-cn\r\nContent-Type: "
                  "application/x-www-form-urlencoded\r\nContent-Length: 3\r\n\r\na=1");
}

TEST_F(WebAccessTest, ProxyServesHttpsRequestsThroughATunnel) {
    LocalPeer proxy({Reply::Full(403, "no tunnel")});
    const Bytes body = WebAccess("https://127.0.0.1:9/secure", 0, Text(), std::nullopt, nullptr,
                                 nullptr, nullptr, false, nullptr, proxy.Address());
    EXPECT_TRUE(body.empty());
    ASSERT_EQ(proxy.RequestCount(), 1u);
    EXPECT_EQ(proxy.Requests()[0].method, "CONNECT");
    EXPECT_EQ(proxy.Requests()[0].target, "127.0.0.1:9");
}

TEST_F(WebAccessTest, EmptyProxyIsDirectDespiteTheEnvironment) {
    LocalPeer server({Reply::Full(200, "direct")});
    LocalPeer proxy({Reply::Full(200, "proxied")});
    const std::string proxyUrl = "http://" + proxy.Address();
    ::setenv("http_proxy", proxyUrl.c_str(), 1);
    ::setenv("HTTP_PROXY", proxyUrl.c_str(), 1);
    ::setenv("ALL_PROXY", proxyUrl.c_str(), 1);
    const Bytes body = WebAccess(server.Url("/"));
    ::unsetenv("http_proxy");
    ::unsetenv("HTTP_PROXY");
    ::unsetenv("ALL_PROXY");
    EXPECT_EQ(AsString(body), "direct");
    EXPECT_EQ(proxy.RequestCount(), 0u);
}

TEST_F(WebAccessTest, SelfSignedCertificateFailsTheExchange) {
    SelfSignedCertificate certificate;
    ASSERT_TRUE(certificate.Valid());
    LocalPeer peer({Reply::Full(200, "secret", {"Set-Cookie: s=1"})}, certificate.Identity());
    ASSERT_TRUE(peer.Listening());
    Text returnedHeaders = "stale", returnedCookies = "stale";
    const Bytes body = WebAccess(peer.Url("/"), 0, Text(), std::nullopt, &returnedCookies, nullptr,
                                 &returnedHeaders);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(returnedHeaders, "");
    EXPECT_EQ(returnedCookies, "");
    EXPECT_EQ(peer.RequestCount(), 0u);
    EXPECT_EQ(peer.ConnectionCount(), 1u);
}

TEST_F(WebAccessTest, RedirectFromHttpToHttpsIsFollowed) {
    SelfSignedCertificate certificate;
    ASSERT_TRUE(certificate.Valid());
    LocalPeer secure({Reply::Full(200, "secret")}, certificate.Identity());
    LocalPeer peer({Reply::Redirect(302, secure.Url("/s"))});
    // The redirect is followed; the untrusted certificate then fails the exchange.
    EXPECT_TRUE(WebAccess(peer.Url("/")).empty());
    EXPECT_EQ(secure.ConnectionCount(), 1u);
}

TEST_F(WebAccessTest, HundredThreadsEachGetTheirOwnBody) {
    LocalPeer peer([](const Request& request, size_t) {
        return Reply::Full(200, "body of " + request.target + " " + request.body);
    });
    constexpr int kThreads = 100;
    std::vector<std::string> bodies(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            const std::string n = std::to_string(i);
            bodies[i] = AsString(WebAccess(peer.Url("/" + n), 1, "n=" + n));
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(bodies[i], "body of /" + std::to_string(i) + " n=" + std::to_string(i));
    }
    EXPECT_EQ(peer.RequestCount(), static_cast<size_t>(kThreads));
}

}  // namespace
