#include "web/url.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct UrlCase {
    const char* url;
    const char* host;
    const char* hostWithPort;
    int port;
    const char* path;
};

TEST(UrlTest, DecomposesUrls) {
    const UrlCase cases[] = {
        {"HTTPS://MyHost:8443/a/b?x=1", "myhost", "myhost:8443", 8443, "/a/b?x=1"},
        {"http://myhost", "myhost", "myhost", 80, "/"},
        {"https://myhost/", "myhost", "myhost", 443, "/"},
        {"myhost/index", "myhost", "myhost", 80, "/index"},
        {"HTTP://MyHost/Index", "myhost", "myhost", 80, "/Index"},
        {"http://myhost:8080", "myhost", "myhost:8080", 8080, "/"},
        // Without a path the query stays in the host and the path is "/".
        {"http://myhost?x=1", "myhost?x=1", "myhost?x=1", 80, "/"},
        // Without a scheme, the text after an "http://" anywhere gives the host.
        {"myhost/go?to=http://otherhost/", "otherhost", "otherhost", 80, "/"},
        {"", "", "", 80, "/"},
        {"http://127.0.0.1:8080/a/../b c?q=1#frag", "127.0.0.1", "127.0.0.1:8080", 8080,
         "/a/../b c?q=1#frag"},
        // Any other scheme is read as a host with an empty port.
        {"ftp://myhost/p", "ftp", "ftp:", 0, "//myhost/p"},
        // The number after the last colon, read as TextToInt reads it.
        {"http://myhost:80x/", "myhost", "myhost:80x", 80, "/"},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(std::string("url: ") + c.url);
        EXPECT_EQ(UrlHost(c.url), c.host);
        EXPECT_EQ(UrlHost(c.url, false, true), c.hostWithPort);
        EXPECT_EQ(UrlPort(c.url), c.port);
        EXPECT_EQ(UrlPath(c.url), c.path);
    }
}

struct HostFormCase {
    const char* name;
    const char* url;
    bool rootDomain;
    bool keepPort;
    std::optional<int> labelCount;
    const char* host;
};

TEST(UrlTest, HostForms) {
    const HostFormCase cases[] = {
        {"root of four labels", "http://a.b.example.com/x", true, false, std::nullopt,
         "example.com"},
        {"root of one label", "http://myhost/x", true, false, std::nullopt, "myhost"},
        {"root cuts the port from the last label", "http://a.example.com:81/", true, false,
         std::nullopt, "example.com"},
        {"root keeps the port when asked", "http://a.example.com:81/", true, true, std::nullopt,
         "example.com:81"},
        {"https root", "https://www.Example.COM/", true, false, std::nullopt, "example.com"},
        {"label count 1", "http://a.b.example.com/x", false, false, 1, "b.example.com"},
        {"label count 1, root", "http://a.b.example.com/x", true, false, 1, "example.com"},
        {"label count 0, root", "http://a.b.example.com/x", true, false, 0, "com"},
        {"label count 0", "http://a.b.example.com/x", false, false, 0, "example.com"},
        {"negative label count reads as 0", "a.b.example.com", false, false, -3, "example.com"},
        {"label count beyond the labels", "https://example.com/x", false, false, 5, "example.com"},
        {"label count, one label", "myhost", true, false, 0, "myhost"},
        // A dot in the last byte of the host never separates labels.
        {"trailing dot", "http://a.b.example.com./", false, false, 0, "example.com."},
        {"label count removes every scheme", "x.http://a.b.c/", false, false, 0, "b.c"},
        {"label count keeps the port in the last label", "http://a.b.c:8080/", false, true, 0,
         "b.c:8080"},
        {"label count cuts the port", "http://a.b.c:8080/", false, false, 0, "b.c"},
    };
    for (const HostFormCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UrlHost(c.url, c.rootDomain, c.keepPort, c.labelCount), c.host);
    }
}

struct BetweenCase {
    const char* text;
    const char* left;
    const char* right;
    int start;
    bool ignoreCase;
    const char* result;
};

TEST(UrlTest, TextBetween) {
    const BetweenCase cases[] = {
        {"a(1)b(2)", "(", ")", 0, false, "1"},
        {"a(1)b(2)", "(", ")", 3, false, "2"},
        {"a(1)b", "[", ")", 0, false, ""},
        {"a(1)b", "(", "]", 0, false, ""},
        {"a()b", "(", ")", 0, false, ""},
        {"ABC(x)", "abc(", ")", 0, true, "x"},
        {"ABC(x)", "abc(", ")", 0, false, ""},
        // "#引号" in GBK stands for a double quote in either marker.
        {"id=\"42\"", "id=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false, "42"},
        // The right marker is searched only after the left one.
        {")a(b)", "(", ")", 0, false, "b"},
        // A start past the text finds nothing.
        {"a(1)", "(", ")", 9, false, ""},
        // A left marker at the very end leaves nothing to search.
        {"ab(", "(", ")", 0, false, ""},
        // Markers are only found at character boundaries: A3 28 is one GBK character.
        {"\xA3(1)(2)", "(", ")", 0, false, "2"},
    };
    for (const BetweenCase& c : cases) {
        SCOPED_TRACE(std::string("text: ") + c.text + " markers: " + c.left + " " + c.right);
        EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.result);
    }
}

TEST(UrlTest, HeaderValue) {
    EXPECT_EQ(HeaderValue("User-Agent:  MyAgent/1.0 "), "MyAgent/1.0");
    EXPECT_EQ(HeaderValue("a: b: c"), "b: c");
    EXPECT_EQ(HeaderValue("no colon here"), "");
    EXPECT_EQ(HeaderValue("Name:"), "");
    // Full-width spaces are blanks too; tabs are not.
    EXPECT_EQ(HeaderValue("X:\xA1\xA1v\t"), "v\t");
}

}  // namespace
