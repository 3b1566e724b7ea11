#include "web/web_access.h"

#include "text/primitives.h"
#include "web/http_client.h"
#include "web/url.h"

namespace {

int Length(const Text& text) { return static_cast<int>(text.size()); }

bool Holds(const Text& text, const Text& part) { return FindText(text, part) != -1; }

}  // namespace

Text RequestAgent(const Text& headers) {
    if (FindText(headers, "User-Agent:", 1, true) == -1) return DefaultUserAgent;
    // The cut counts case; a line spelled otherwise falls back to the first header value.
    Text agent = TrimSpaces(TextBetween(headers + "\r\n", "User-Agent:", "\r\n"));
    if (agent.empty()) agent = HeaderValue(headers);
    return agent;
}

Text ComposeHeaderText(const Text& url, const Text& headers, const Text& cookies) {
    // Every search counts case and looks anywhere in the text. Nothing is removed, so a
    // caller's text ending in "\r\n" leaves empty lines before the defaults.
    Text h = headers;
    if (h.empty()) {
        h = "Accept: */*";
    } else if (!Holds(h, "Accept:")) {
        h += "\r\nAccept: */*";
    }
    if (!Holds(h, "Referer:")) h += "\r\nReferer: " + url;
    if (!Holds(h, "Accept-Language:")) h += "\r\nAccept-Language: zh-cn";
    if (!Holds(h, "Content-Type:")) h += "\r\nContent-Type: application/x-www-form-urlencoded";
    if (!cookies.empty()) {
        // Cookies that already read "Cookie:" stand as a complete line of their own.
        h += Holds(cookies, "Cookie:") ? "\r\n" + cookies : "\r\nCookie: " + cookies;
    }
    return h;
}

Text ExtractCookies(const Text& responseHead) {
    Text cookies;
    for (const Text& piece : SplitText(responseHead, "\r\n")) {
        if (!Holds(piece, "Set-Cookie")) continue;
        // Attributes after the first ";" (path, expiry and the like) are dropped.
        const Text value = Holds(piece, ";")
                               ? TrimSpaces(TextBetween(piece, "Set-Cookie:", ";"))
                               : TrimSpaces(ReplaceText(piece, "Set-Cookie:", Text(), false));
        cookies += value + "; ";
    }
    return LeftText(cookies, Length(cookies) - 2);
}

Bytes WebAccess(const Text& url, int method, const Text& formData,
                const std::optional<Text>& cookies, Text* returnedCookies, Text* headers,
                Text* returnedHeaders, bool noRedirect, Bytes* body, const Text& proxy) {
    // A line break in the URL would split the request line or the Referer line on the wire.
    if (url.find_first_of("\r\n") != Text::npos) return Bytes();
    if (method < 0 || method > 2) method = 0;
    const Text callerHeaders = headers ? *headers : Text();
    const bool secure = LowerAscii(LeftText(url, 8)) == "https://";

    HttpRequest request;
    request.verb = method == 1 ? HttpVerb::Post : method == 2 ? HttpVerb::Head : HttpVerb::Get;
    request.secure = secure;
    request.host = UrlHost(url);
    request.port = UrlPort(url);
    request.target = UrlPath(url);
    request.agent = RequestAgent(callerHeaders);
    request.headerText = ComposeHeaderText(url, callerHeaders, cookies.value_or(Text()));
    request.useCookieStore = !cookies.has_value();
    request.followRedirects = !noRedirect;
    // A plain proxy serves every request; "http=" limits it to plain http. A secure request
    // names the proxy itself and any other the http-only form, so the proxy serves both and
    // a redirect from http to https leaves it.
    if (!proxy.empty()) request.proxy = secure ? proxy : "http=" + proxy;

    // A HEAD sends its body exactly as a POST does; the caller's empty body receives the form.
    const bool formAsBody = method != 0 && (body == nullptr || body->empty());
    const Bytes form = formAsBody ? TextToBytes(formData) : Bytes();
    if (method != 0) request.body = formAsBody ? form : *body;

    std::optional<HttpResponse> response = PerformHttp(request);
    // An exchange that cannot be set up leaves every parameter as the caller had it.
    if (!response) return Bytes();

    if (headers) *headers = request.headerText;
    if (body && formAsBody) *body = form;
    const Text head = ReplaceText(response->head, "Set-Cookie", "Set-Cookie", false);
    if (returnedHeaders) *returnedHeaders = head;
    if (returnedCookies) *returnedCookies = ExtractCookies(head);
    // A reply cut short is no reply: returning its first part would pass it off as whole.
    if (!response->complete) return Bytes();
    return std::move(response->body);
}
