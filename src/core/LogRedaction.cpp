#include "core/LogRedaction.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace vantrel::detail {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

constexpr std::array kLoggableHeaders{
    std::string_view("accept"),
    std::string_view("accept-encoding"),
    std::string_view("cache-control"),
    std::string_view("connection"),
    std::string_view("content-encoding"),
    std::string_view("content-length"),
    std::string_view("content-type"),
    std::string_view("date"),
    std::string_view("etag"),
    std::string_view("transfer-encoding"),
    std::string_view("user-agent"),
    std::string_view("vary"),
    std::string_view("x-parse-application-id"),
    std::string_view("x-powered-by"),
};

// Keys whose string values are credentials: the user's, the session's and the application keys
// that requests and LiveQuery frames carry.
constexpr std::array kCredentialKeys{
    std::string_view("password"),   std::string_view("sessionToken"),  std::string_view("clientKey"),
    std::string_view("masterKey"),  std::string_view("javascriptKey"), std::string_view("restAPIKey"),
    std::string_view("windowsKey"), std::string_view("authData"),      std::string_view("companyAuthToken"),
};

bool isCredentialKey(std::string_view key) {
    return std::find(kCredentialKeys.begin(), kCredentialKeys.end(), key) != kCredentialKeys.end();
}

bool looksLikeUrl(std::string_view text) {
    return text.starts_with("http://") || text.starts_with("https://") || text.starts_with("ws://") ||
           text.starts_with("wss://");
}

// The end of the string literal opening at `open` (index of its closing quote), or npos when the
// text ends first.
std::size_t endOfString(std::string_view text, std::size_t open) {
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i;
    }
    return std::string_view::npos;
}

// Just past the array or object opening at `open`, or the end of the text when it ends first.
std::size_t endOfContainer(std::string_view text, std::size_t open) {
    std::size_t depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            i = endOfString(text, i);
            if (i == std::string_view::npos) return text.size();
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && --depth == 0) {
            return i + 1;
        }
    }
    return text.size();
}

// Cut at a character boundary of UTF-8, never inside a sequence.
std::string_view cutAt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

bool isLoggableHeader(std::string_view name) {
    return std::any_of(kLoggableHeaders.begin(), kLoggableHeaders.end(),
                       [name](std::string_view allowed) { return equalsIgnoringCase(name, allowed); });
}

std::string redactedUrl(std::string_view url) {
    const auto query = url.find('?');
    if (query == std::string_view::npos) return std::string(url);
    return std::string(url.substr(0, query + 1)) + std::string(kRedacted);
}

std::string loggableBody(std::string_view body, std::size_t limit) {
    const std::string_view text = cutAt(body, limit);
    std::string out;
    out.reserve(text.size() + 32);
    bool afterCredentialKey = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (afterCredentialKey && (c == '{' || c == '[')) {
            // A structured credential ("authData"): withheld whole, up to its closing bracket.
            i = endOfContainer(text, i);
            out += kRedacted;
            afterCredentialKey = false;
            continue;
        }
        if (c != '"') {
            out.push_back(c);
            if (c != ':' && !std::isspace(static_cast<unsigned char>(c))) afterCredentialKey = false;
            ++i;
            continue;
        }
        const auto close = endOfString(text, i);
        const auto end = close == std::string_view::npos ? text.size() : close + 1;
        const std::string_view content =
            text.substr(i + 1, (close == std::string_view::npos ? text.size() : close) - i - 1);
        auto next = end;
        while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next]))) ++next;
        const bool isKey = next < text.size() && text[next] == ':';
        if (isKey) {
            out.append(text.substr(i, end - i));
            afterCredentialKey = isCredentialKey(content);
        } else if (afterCredentialKey) {
            out += '"';
            out += kRedacted;
            out += '"';
            afterCredentialKey = false;
        } else if (looksLikeUrl(content)) {
            out += '"' + redactedUrl(content) + '"';
        } else {
            out.append(text.substr(i, end - i));
        }
        i = end;
    }
    if (text.size() < body.size()) out += "… (" + std::to_string(body.size()) + " bytes in all)";
    return out;
}

}  // namespace vantrel::detail
