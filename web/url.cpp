#include "web/url.h"

#include "text/primitives.h"

namespace {

// "#引号" in code page 936: the stand-in for a double quote inside a marker.
const Text kQuoteMarker = "#\xD2\xFD\xBA\xC5";

int Length(const Text& text) { return static_cast<int>(text.size()); }

}  // namespace

Text TextBetween(const Text& text, const Text& leftMarker, const Text& rightMarker, int start,
                 bool ignoreCase) {
    const Text left = ReplaceText(leftMarker, kQuoteMarker, "\"");
    const Text right = ReplaceText(rightMarker, kQuoteMarker, "\"");
    int a = FindText(text, left, start, ignoreCase);
    if (a != -1) a += Length(left);
    // With a = -1 this searches from the first byte; its result is then not used.
    const int b = FindText(text, right, a, ignoreCase);
    if (a == -1 || b == -1) return Text();
    return MidText(text, a, b - a);
}

Text HeaderValue(const Text& line) {
    const int p = FindText(line, ":");
    if (p == -1) return Text();
    return TrimSpaces(RightText(line, Length(line) - p));
}

Text UrlHost(const Text& url, bool rootDomain, bool keepPort, std::optional<int> labelCount) {
    Text u = LowerAscii(url);
    Text h;
    if (!labelCount) {
        if (RightText(u, 1) != "/") u += "/";
        if (LeftText(u, 8) == "https://") {
            h = TextBetween(u, "https://", "/");
        } else {
            // The first "http://" anywhere counts, so a scheme-less URL that carries another
            // URL in its query takes the host of that one.
            if (FindText(u, "http://") == -1) u = "http://" + u;
            h = TextBetween(u, "http://", "/");
        }
        if (rootDomain) {
            const TextArray labels = SplitText(h, ".");
            const size_t n = labels.size();
            if (n >= 2) h = labels[n - 2] + "." + labels[n - 1];
        }
    } else {
        u = ReplaceText(u, "http://", Text());
        u = ReplaceText(u, "https://", Text());
        const int slash = FindText(u, "/");
        if (slash != -1) u = LeftText(u, slash - 1);
        const int length = Length(u);
        // Each search takes only a dot that ends before p, so a dot in the last byte of the
        // host never separates labels.
        int p = length;
        for (int i = 0; i < *labelCount; ++i) p = FindLastText(u, ".", p);
        const int q = FindLastText(u, ".", p);
        if (rootDomain) {
            h = RightText(u, length - q);
        } else {
            const int r = q == -1 ? -1 : FindLastText(u, ".", q);
            h = r == -1 ? u : RightText(u, length - r);
        }
    }
    if (!keepPort) {
        const int colon = FindText(h, ":");
        if (colon != -1) h = LeftText(h, colon - 1);
    }
    return h;
}

int UrlPort(const Text& url) {
    const Text h = UrlHost(url, false, true);
    const int p = FindLastText(h, ":");
    if (p != -1) return TextToInt(RightText(h, Length(h) - p));
    return LeftText(LowerAscii(url), 5) == "https" ? 443 : 80;
}

Text UrlPath(const Text& url) {
    const Text h = UrlHost(url);
    const int a = FindText(url, h, 1, true);
    const int b = FindText(url, "/", a, true);
    if (b <= 0) return "/";
    return RightText(url, Length(url) - b + 1);
}
