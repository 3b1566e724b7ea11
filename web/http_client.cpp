#include "web/http_client.h"

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct StringDeleter {
    void operator()(char* text) const { curl_free(text); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using ShareHandle = std::unique_ptr<CURLSH, ShareDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using LibraryString = std::unique_ptr<char, StringDeleter>;

// The library's process-wide state: its global initialisation, done once before any other
// call, and the cookie store that every exchange on every thread shares. The share handle
// asks us to lock each kind of data it holds; one mutex per kind. It is never torn down: the
// program may end while worker threads are still inside an exchange, and they must not find
// the store or the library released under them.
class CurlRuntime {
public:
    CurlRuntime() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        share_.reset(curl_share_init());
        if (share_) {
            curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &CurlRuntime::Lock);
            curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &CurlRuntime::Unlock);
            curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
            curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        }
    }
    CurlRuntime(const CurlRuntime&) = delete;
    CurlRuntime& operator=(const CurlRuntime&) = delete;

    CURLSH* Share() const { return share_.get(); }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<CurlRuntime*>(self)->locks_[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<CurlRuntime*>(self)->locks_[data].unlock();
    }

    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
    ShareHandle share_;
};

CurlRuntime& Runtime() {
    alignas(CurlRuntime) static unsigned char storage[sizeof(CurlRuntime)];
    static CurlRuntime* runtime = new (storage) CurlRuntime;
    return *runtime;
}

std::atomic<std::int64_t> connectTimeoutMs{kConnectTimeout.count()};
std::atomic<std::int64_t> stallTimeoutMs{kStallTimeout.count()};

// What the callbacks of one request collect, and the clock of its stall time-out.
struct Transfer {
    CURL* easy = nullptr;
    bool secure = false;
    std::chrono::milliseconds stallLimit{};
    bool connected = false;
    Clock::time_point lastActivity;
    curl_off_t downloaded = 0;
    curl_off_t uploaded = 0;

    Bytes body;
    Text head;
    bool inHead = false;  // between a status line and the empty line that ends its head
    int status = 0;       // of the last status line
    Text location;        // the Location of the last head
    // A HEAD that carries a body goes out as a POST under the name HEAD, so the library
    // would wait for a reply body that never comes: the transfer ends with the final head.
    bool stopAfterHead = false;
    bool finalHeadEnded = false;
};

// Whether `text` begins with the lower-case `prefix`, letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::string Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    transfer.lastActivity = Clock::now();
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        // Every reply (a "100 Continue", a redirect, the final one) begins with a status
        // line; only the last head is kept.
        transfer.head.clear();
        transfer.location.clear();
        transfer.inHead = true;
        const size_t space = line.find(' ');
        transfer.status = space == std::string_view::npos
                              ? 0
                              : std::atoi(std::string(line.substr(space + 1, 3)).c_str());
    }
    if (line.empty()) {
        if (transfer.inHead && transfer.stopAfterHead && transfer.status >= 200) {
            transfer.inHead = false;
            transfer.finalHeadEnded = true;
            return 0;  // ends the transfer
        }
        transfer.inHead = false;
    } else if (transfer.inHead) {
        // Lines after the head has ended are trailers of a chunked body: not part of it.
        transfer.head.append(line);
        transfer.head.append("\r\n");
        if (StartsWithNoCase(line, "location:")) transfer.location = Trim(line.substr(9));
    }
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    transfer.lastActivity = Clock::now();
    transfer.body.insert(transfer.body.end(), data, data + length);
    return length;
}

// Called by the library at least once a second while the request runs. The stall clock
// starts once the connection is open (until then the connect time-out rules) and restarts
// with every byte that moves either way.
int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto& transfer = *static_cast<Transfer*>(user);
    const Clock::time_point now = Clock::now();
    if (!transfer.connected) {
        curl_off_t connectTime = 0;
        curl_easy_getinfo(transfer.easy,
                          transfer.secure ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T,
                          &connectTime);
        if (connectTime <= 0) return 0;
        transfer.connected = true;
        transfer.lastActivity = now;
    }
    if (downloaded != transfer.downloaded || uploaded != transfer.uploaded) {
        transfer.downloaded = downloaded;
        transfer.uploaded = uploaded;
        transfer.lastActivity = now;
    }
    return now - transfer.lastActivity > transfer.stallLimit ? 1 : 0;
}

bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

// Whether `text` holds a carriage return or line feed that is not part of a "\r\n" pair.
bool HasStrayLineBreak(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return true;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return true;
    }
    return false;
}

// The header text as the library's list: one entry per non-empty line, in order, then entries
// that stop the library from adding headers of its own. A line whose value is blank would
// read to the library as "remove this header", so it goes in the form "Name;" that the
// library sends as "Name:".
HeaderList BuildHeaderList(const Text& headerText) {
    HeaderList list;
    auto add = [&list](const std::string& entry) {
        curl_slist* grown = curl_slist_append(list.get(), entry.c_str());
        if (grown == nullptr) return false;
        (void)list.release();
        list.reset(grown);
        return true;
    };
    std::string_view rest = headerText;
    while (!rest.empty()) {
        const size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        if (line.empty()) continue;
        std::string entry(line);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && IsBlank(line.substr(colon + 1))) {
            entry = std::string(line.substr(0, colon)) + ";";
        }
        if (!add(entry)) return nullptr;
    }
    // An empty value removes what the library would add by itself: its own Accept, the form
    // Content-Type of a POST, "Expect: 100-continue" before a large body and the
    // Proxy-Connection line of a request sent through a proxy.
    for (const char* suppressed : {"Accept:", "Content-Type:", "Expect:", "Proxy-Connection:"}) {
        if (!add(suppressed)) return nullptr;
    }
    return list;
}

// The proxy for a request of the given security, or the empty text for a direct connection.
Text ProxyFor(const Text& proxy, bool secure) {
    if (StartsWithNoCase(proxy, "http=")) return secure ? Text() : proxy.substr(5);
    return proxy;
}

// One hop of an exchange: what changes from the first request to a redirected one.
struct Hop {
    Text url;
    bool secure = false;
    bool useTarget = true;  // send the object name of the request exactly as it stands
    HttpVerb verb = HttpVerb::Get;
    bool withBody = false;
};

bool SetHop(CURL* easy, const HttpRequest& request, const Hop& hop) {
    static const char kEmpty[] = "";
    const Text proxy = ProxyFor(request.proxy, hop.secure);
    // Through a proxy without a tunnel the library writes the request line from the URL
    // itself, so there the object name has to be part of it.
    const bool viaPlainProxy = !proxy.empty() && !hop.secure;
    const Text url = hop.useTarget && viaPlainProxy ? hop.url + request.target : hop.url;
    const char* target = hop.useTarget && !viaPlainProxy ? request.target.c_str() : nullptr;
    const void* body =
        request.body.empty() ? kEmpty : static_cast<const void*>(request.body.data());

    bool ok = curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    if (!ok) return false;
    // A HEAD with a body is sent as a POST renamed; the transfer then ends with the head.
    const bool renamedHead = hop.verb == HttpVerb::Head && hop.withBody;
    ok =
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, renamedHead ? "HEAD" : nullptr) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_NOBODY,
                         hop.verb == HttpVerb::Head && !renamedHead ? 1L : 0L) == CURLE_OK;
    if (ok && hop.withBody) {
        ok = curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                              static_cast<curl_off_t>(request.body.size())) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body) == CURLE_OK;
    }
    return ok;
}

// The absolute URL that `location` names when read against `base`; empty when neither parses.
Text ResolveLocation(const Text& base, const Text& location) {
    UrlHandle url(curl_url());
    if (!url) return Text();
    const unsigned int flags = CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME;
    if (curl_url_set(url.get(), CURLUPART_URL, base.c_str(), flags | CURLU_PATH_AS_IS) !=
        CURLUE_OK) {
        curl_url_set(url.get(), CURLUPART_URL, nullptr, 0);
    }
    if (curl_url_set(url.get(), CURLUPART_URL, location.c_str(), flags) != CURLUE_OK) {
        return Text();
    }
    char* resolved = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK) return Text();
    LibraryString owned(resolved);
    return Text(owned.get());
}

}  // namespace

void SetHttpTimeouts(const HttpTimeouts& timeouts) {
    connectTimeoutMs = timeouts.connect.count();
    stallTimeoutMs = timeouts.stall.count();
}

HttpTimeouts GetHttpTimeouts() {
    return {std::chrono::milliseconds(connectTimeoutMs.load()),
            std::chrono::milliseconds(stallTimeoutMs.load())};
}

void ClearHttpCookies() {
    CurlRuntime& runtime = Runtime();
    EasyHandle easy(curl_easy_init());
    if (!easy || runtime.Share() == nullptr) return;
    curl_easy_setopt(easy.get(), CURLOPT_SHARE, runtime.Share());
    curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "ALL");
}

std::optional<HttpResponse> PerformHttp(const HttpRequest& request) {
    // A carriage return or line feed that is not a line break of the header text would end
    // a line on the wire early and let the rest pass for lines of their own.
    const auto breaksLines = [](std::string_view text) {
        return text.find_first_of("\r\n") != std::string_view::npos;
    };
    if (breaksLines(request.host) || breaksLines(request.target) || breaksLines(request.agent) ||
        HasStrayLineBreak(request.headerText)) {
        return std::nullopt;
    }
    CurlRuntime& runtime = Runtime();
    EasyHandle handle(curl_easy_init());
    if (!handle) return std::nullopt;
    CURL* easy = handle.get();
    HeaderList headers = BuildHeaderList(request.headerText);
    if (!headers) return std::nullopt;
    const HttpTimeouts timeouts = GetHttpTimeouts();
    // Refilled for every hop; the callbacks hold its address.
    Transfer transfer;

    bool ok = curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_USERAGENT, request.agent.c_str()) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnProgress) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                               static_cast<long>(timeouts.connect.count())) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
              curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    if (ok && !request.caFile.empty()) {
        ok = curl_easy_setopt(easy, CURLOPT_CAINFO, request.caFile.c_str()) == CURLE_OK;
    }
    if (ok && request.useCookieStore) {
        // An empty cookie file name turns the cookie engine on without reading any file.
        ok = runtime.Share() != nullptr &&
             curl_easy_setopt(easy, CURLOPT_SHARE, runtime.Share()) == CURLE_OK &&
             curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "") == CURLE_OK;
    }
    if (!ok) return std::nullopt;

    Hop hop;
    hop.secure = request.secure;
    hop.url = Text(request.secure ? "https://" : "http://") + request.host + ":" +
              std::to_string(request.port);
    hop.verb = request.verb;
    hop.withBody = request.verb != HttpVerb::Get;
    for (int redirects = 0;; ++redirects) {
        HttpResponse response;
        // Past the first hop something was sent: a failure is then an incomplete exchange.
        if (!SetHop(easy, request, hop)) {
            return redirects == 0 ? std::nullopt : std::optional<HttpResponse>(response);
        }
        transfer = Transfer{};
        transfer.easy = easy;
        transfer.secure = hop.secure;
        transfer.stallLimit = timeouts.stall;
        transfer.lastActivity = Clock::now();
        transfer.stopAfterHead = hop.verb == HttpVerb::Head && hop.withBody;
        const CURLcode result = curl_easy_perform(easy);
        response.complete =
            result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.finalHeadEnded);
        response.body = std::move(transfer.body);
        response.head = std::move(transfer.head);
        if (!response.complete || !request.followRedirects || redirects == kMaxRedirects) {
            return response;
        }

        const int status = transfer.status;
        const bool redirect =
            status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (!redirect || transfer.location.empty()) return response;
        // Only http and https are followed; a redirect elsewhere is the reply itself.
        const Text next =
            ResolveLocation(hop.useTarget ? hop.url + request.target : hop.url, transfer.location);
        const bool nextSecure = StartsWithNoCase(next, "https://");
        if (!nextSecure && !StartsWithNoCase(next, "http://")) return response;

        hop.url = next;
        hop.secure = nextSecure;
        hop.useTarget = false;
        // As browsers do: 303 turns every request but HEAD into a GET, 301 and 302 turn a
        // POST into one, and a body goes along only with 307 and 308.
        if (status == 303 || ((status == 301 || status == 302) && hop.verb == HttpVerb::Post)) {
            if (hop.verb != HttpVerb::Head) hop.verb = HttpVerb::Get;
        }
        if (status != 307 && status != 308) hop.withBody = false;
    }
}
