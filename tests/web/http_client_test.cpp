#include "web/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/local_peer.h"

namespace {

using namespace std::chrono_literals;
using test_support::LocalPeer;
using test_support::Reply;
using test_support::Request;
using test_support::SelfSignedCertificate;

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

HttpRequest GetFrom(const LocalPeer& peer, const std::string& target = "/") {
    HttpRequest request;
    request.host = "127.0.0.1";
    request.port = peer.Port();
    request.target = target;
    request.agent = "agent/1";
    request.useCookieStore = false;
    return request;
}

class HttpClientTest : public ::testing::Test {
protected:
    void TearDown() override { SetHttpTimeouts({}); }
};

TEST_F(HttpClientTest, HeaderLinesGoOutInOrderAndNothingElse) {
    LocalPeer peer({Reply::Full(200, "ok")});
    HttpRequest request = GetFrom(peer, "/h");
    request.verb = HttpVerb::Post;
    const std::string body = "x=1";
    request.body = std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    // Empty lines are skipped, a blank value is kept, and no Accept, Content-Type or Expect
    // of the library's own is added.
    request.headerText = "\r\nX-B: 2\r\n\r\nX-Empty:  \r\nX-A: 1\r\n";
    const std::optional<HttpResponse> response = PerformHttp(request);
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->complete);
    ASSERT_EQ(peer.RequestCount(), 1u);
    EXPECT_EQ(peer.Requests()[0].bytes,
              "POST /h HTTP/1.1\r\nHost: " + peer.Address() +
                  "\r\nUser-Agent: agent/1\r\nX-B: 2\r\nX-Empty:\r\nX-A: 1\r\n"
                  "Content-Length: 3\r\n\r\nx=1");
}

TEST_F(HttpClientTest, HeadIsTheFinalReplysWithoutInterimRepliesOrTrailers) {
    LocalPeer peer({Reply()
                        .Send("HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n")
                        .Send("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\nTrailer: X-T\n\n")
                        .Send("3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n")
                        .Close()});
    const std::optional<HttpResponse> response = PerformHttp(GetFrom(peer));
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->complete);
    EXPECT_EQ(AsString(response->body), "abc");
    // Lines ended by a bare line feed come back ended by CR LF.
    EXPECT_EQ(response->head, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-T\r\n");
}

TEST_F(HttpClientTest, StallTimeOutCountsSilenceNotDuration) {
    SetHttpTimeouts({2000ms, 600ms});
    // Ten bytes 200 ms apart take longer than the stall limit, but never fall silent for it.
    Reply trickle = Reply().Send(Reply::Head(200, {"Content-Length: 10"}) + "\r\n");
    for (int i = 0; i < 10; ++i) trickle.Pause(200ms).Send(std::to_string(i));
    trickle.Close();
    LocalPeer slow({trickle});
    std::optional<HttpResponse> response = PerformHttp(GetFrom(slow));
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->complete);
    EXPECT_EQ(AsString(response->body), "0123456789");

    LocalPeer silent({Reply().Send(Reply::Head(200, {"Content-Length: 10"}) + "\r\n01").Stall()});
    const auto started = std::chrono::steady_clock::now();
    response = PerformHttp(GetFrom(silent));
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(response);
    EXPECT_FALSE(response->complete);
    EXPECT_EQ(AsString(response->body), "01");
    EXPECT_GE(took, 600ms);
    EXPECT_LT(took, 5s);
}

TEST_F(HttpClientTest, RedirectsStopAtTheLimitAndAtOtherSchemes) {
    LocalPeer loop([](const Request& request, size_t) {
        if (request.target == "/ftp") return Reply::Redirect(302, "ftp://127.0.0.1/file");
        return Reply::Redirect(302, "/again");
    });
    std::optional<HttpResponse> response = PerformHttp(GetFrom(loop, "/start"));
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->complete);
    EXPECT_EQ(response->head.substr(0, 18), "HTTP/1.1 302 Found");
    EXPECT_EQ(loop.RequestCount(), static_cast<size_t>(kMaxRedirects + 1));

    response = PerformHttp(GetFrom(loop, "/ftp"));
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->complete);
    EXPECT_EQ(AsString(response->body), "moved");
}

TEST_F(HttpClientTest, StrayLineBreaksAreRefusedBeforeAnythingIsSent) {
    LocalPeer peer({Reply::Full(200, "ok")});
    struct Case {
        const char* name;
        void (*spoil)(HttpRequest&);
    };
    const Case cases[] = {
        {"line feed in the target", [](HttpRequest& r) { r.target = "/a\nX-Evil: 1"; }},
        {"carriage return in the target", [](HttpRequest& r) { r.target = "/a\rb"; }},
        {"CR LF in the host", [](HttpRequest& r) { r.host = "127.0.0.1\r\nX: 1"; }},
        {"line feed in the agent", [](HttpRequest& r) { r.agent = "a\nX-Evil: 1"; }},
        {"bare line feed in the header text", [](HttpRequest& r) { r.headerText = "A: 1\nB: 2"; }},
        {"bare carriage return ending the header text",
         [](HttpRequest& r) { r.headerText = "A: 1\r"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpRequest request = GetFrom(peer);
        c.spoil(request);
        EXPECT_FALSE(PerformHttp(request).has_value());
    }
    EXPECT_EQ(peer.ConnectionCount(), 0u);
}

class HttpClientTlsTest : public HttpClientTest {
protected:
    void SetUp() override { ASSERT_TRUE(certificate_.Valid()); }

    HttpRequest SecureGetFrom(const LocalPeer& peer) {
        HttpRequest request = GetFrom(peer, "/s?q=1");
        request.secure = true;
        request.caFile = certificate_.Identity().certificateFile;
        return request;
    }

    SelfSignedCertificate certificate_;
};

TEST_F(HttpClientTlsTest, TrustedCertificateCarriesTheExchange) {
    LocalPeer peer({Reply::Full(200, "secret")}, certificate_.Identity());
    const std::optional<HttpResponse> response = PerformHttp(SecureGetFrom(peer));
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->complete);
    EXPECT_EQ(AsString(response->body), "secret");
    ASSERT_EQ(peer.RequestCount(), 1u);
    EXPECT_EQ(peer.Requests()[0].bytes,
              "GET /s?q=1 HTTP/1.1\r\nHost: " + peer.Address() + "\r\nUser-Agent: agent/1\r\n\r\n");
}

TEST_F(HttpClientTlsTest, HostNameIsVerified) {
    LocalPeer peer({Reply::Full(200, "secret")}, certificate_.Identity());
    HttpRequest request = SecureGetFrom(peer);
    request.host = "localhost";  // the certificate names 127.0.0.1 only
    const std::optional<HttpResponse> response = PerformHttp(request);
    ASSERT_TRUE(response);
    EXPECT_FALSE(response->complete);
    EXPECT_EQ(peer.RequestCount(), 0u);
}

TEST_F(HttpClientTlsTest, HttpOnlyProxyLeavesSecureRequestsDirect) {
    LocalPeer peer({Reply::Full(200, "secret")}, certificate_.Identity());
    LocalPeer proxy({Reply::Full(200, "proxied")});
    HttpRequest request = SecureGetFrom(peer);
    request.proxy = "http=" + proxy.Address();
    std::optional<HttpResponse> response = PerformHttp(request);
    ASSERT_TRUE(response);
    EXPECT_EQ(AsString(response->body), "secret");
    EXPECT_EQ(proxy.RequestCount(), 0u);

    // The same text sends a plain request through the proxy, and a plain proxy takes both.
    LocalPeer plain({Reply::Full(200, "direct")});
    HttpRequest plainRequest = GetFrom(plain);
    plainRequest.proxy = "http=" + proxy.Address();
    response = PerformHttp(plainRequest);
    ASSERT_TRUE(response);
    EXPECT_EQ(AsString(response->body), "proxied");

    request.proxy = proxy.Address();
    response = PerformHttp(request);
    ASSERT_TRUE(response);
    EXPECT_FALSE(response->complete);
    ASSERT_EQ(proxy.RequestCount(), 2u);
    EXPECT_EQ(proxy.Requests()[1].method, "CONNECT");
}

}  // namespace
