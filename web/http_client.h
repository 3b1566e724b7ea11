// One HTTP or HTTPS exchange, redirects included, over the process's HTTP library. This is the
// only place that knows that library; everything above it speaks Text and Bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "text/types.h"

// How long opening a connection (TLS handshake included) may take.
inline constexpr std::chrono::milliseconds kConnectTimeout{60'000};
// How long an open exchange may go without a byte sent or received before it is abandoned.
inline constexpr std::chrono::milliseconds kStallTimeout{60'000};
// Redirects followed in one exchange; the reply after the last one is taken as it stands.
inline constexpr int kMaxRedirects = 20;

struct HttpTimeouts {
    std::chrono::milliseconds connect = kConnectTimeout;
    std::chrono::milliseconds stall = kStallTimeout;
};

// Time-outs of every exchange that starts from now on, in every thread. Tests shorten them.
void SetHttpTimeouts(const HttpTimeouts& timeouts);
HttpTimeouts GetHttpTimeouts();

// Forgets every cookie of the process-wide cookie store.
void ClearHttpCookies();

enum class HttpVerb { Get, Post, Head };

struct HttpRequest {
    HttpVerb verb = HttpVerb::Get;
    bool secure = false;  // TLS, with the peer's certificate and host name verified
    Text host;
    int port = 80;
    Text target = "/";  // the object name, sent exactly as it stands
    Text agent;         // sent as User-Agent unless `headerText` has a line of that name
    // Header lines separated by "\r\n", sent in order; empty lines are skipped. Beyond these
    // only Host, User-Agent and, with a body, Content-Length are added.
    Text headerText;
    // Sent with POST and HEAD (a HEAD too carries it); a GET sends no body.
    std::span<const std::uint8_t> body;
    // Send the stored cookies that match and store those that the replies set, in the store
    // that every exchange of the process shares.
    bool useCookieStore = true;
    bool followRedirects = true;
    // Empty: a direct connection, whatever the environment says. "http=" + P: proxy P for
    // http requests only. Any other text: that proxy for every request.
    Text proxy;
    // A PEM file of certificates to trust instead of the system's; empty for the system's.
    Text caFile;
};

struct HttpResponse {
    // The final reply arrived whole; false when the exchange failed or broke off part-way.
    bool complete = false;
    // The body of the final reply: what arrived of it when `complete` is false.
    Bytes body;
    // The head of the final reply (no redirect or "100 Continue" before it): status line and
    // header lines, each ended by "\r\n"; empty when no head arrived.
    Text head;
};

// Performs the exchange; nullopt when it cannot even be set up (nothing was sent then).
std::optional<HttpResponse> PerformHttp(const HttpRequest& request);
