// One complete HTTP or HTTPS exchange with the system's default request headers.
#pragma once

#include <optional>

#include "text/types.h"

// The agent that a request names when its header text has no "User-Agent:" line.
inline const Text DefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Sends one request to `url` and returns the body of the final reply, empty when the exchange
// fails or breaks off. `method`: 0 GET, 1 POST, 2 HEAD, anything else GET; a POST and a HEAD
// send `body`, or the bytes of `formData` when `body` is empty (and `body` then receives
// them). `cookies`, when supplied at all, keeps this request away from the process's cookie
// store and, when not empty, goes out as a cookie line. `headers` holds extra "\r\n"-separated
// header lines and receives the complete header text that is sent. `returnedHeaders` receives
// the head of the final reply, `returnedCookies` the name=value pairs that it sets, joined by
// "; ". `noRedirect` takes a redirect reply as it stands. `proxy` empty means a direct
// connection. A null pointer stands for an omitted parameter.
Bytes WebAccess(const Text& url, int method = 0, const Text& formData = Text(),
                const std::optional<Text>& cookies = std::nullopt, Text* returnedCookies = nullptr,
                Text* headers = nullptr, Text* returnedHeaders = nullptr, bool noRedirect = false,
                Bytes* body = nullptr, const Text& proxy = Text());

// The header text that a request to `url` sends: the caller's `headers` followed by the
// default lines that they lack, joined by "\r\n".
Text ComposeHeaderText(const Text& url, const Text& headers, const Text& cookies);

// The agent of a request with the given caller header text.
Text RequestAgent(const Text& headers);

// The cookies that a response head sets, as name=value pairs joined by "; ".
Text ExtractCookies(const Text& responseHead);
