// Cutting hosts, ports and paths out of URLs, and values out of header text. No operation
// validates its input: every input yields a result, a URL without a scheme is taken as http,
// and a host always comes back in lower case.
#pragma once

#include <optional>

#include "text/types.h"

// The bytes after the first `leftMarker` found from byte `start` and before the first
// `rightMarker` after it; empty when either marker is missing. In both markers "#引号" (GBK)
// stands for a double quote. `start` is taken as FindText takes it.
Text TextBetween(const Text& text, const Text& leftMarker, const Text& rightMarker, int start = 0,
                 bool ignoreCase = false);

// Everything after the first colon of `line`, without surrounding blanks; empty without colon.
Text HeaderValue(const Text& line);

// The host of `url` in lower case, followed by ":" and its port only when `keepPort` is set and
// the URL names one. Without `labelCount` the host is the text after the scheme up to the next
// "/" (with `rootDomain`, its last two labels). Supplying `labelCount`, whatever its value,
// selects the label-count form: the last labelCount + 2 labels of the host, or labelCount + 1
// with `rootDomain`.
Text UrlHost(const Text& url, bool rootDomain = false, bool keepPort = false,
             std::optional<int> labelCount = std::nullopt);

// The explicit port of `url`, else 443 for an "https" URL and 80 for any other.
int UrlPort(const Text& url);

// Path and query of `url` as they stand in it, letter case kept; "/" when there is none.
Text UrlPath(const Text& url);
