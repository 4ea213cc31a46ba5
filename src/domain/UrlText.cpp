#include "domain/UrlText.hpp"

namespace vantrel::domain_detail {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) { return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos; }

// True when every character of `text` is one of `extra`, unreserved, a sub-delimiter or part of
// a valid percent escape.
bool consistsOf(std::string_view text, std::string_view extra) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return false;
            i += 2;
            continue;
        }
        if (!isUnreserved(c) && !isSubDelim(c) && extra.find(c) == std::string_view::npos) return false;
    }
    return true;
}

bool isValidScheme(std::string_view scheme) {
    if (scheme.empty() || !isAlpha(scheme.front())) return false;
    for (char c : scheme)
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

bool isValidAuthority(std::string_view authority) {
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        if (!consistsOf(authority.substr(0, at), ":")) return false;
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    std::string_view port;
    if (host.starts_with('[')) {
        const auto close = host.find(']');
        if (close == std::string_view::npos || !consistsOf(host.substr(1, close - 1), ":")) return false;
        const auto rest = host.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return false;
        port = rest.empty() ? rest : rest.substr(1);
    } else {
        if (const auto colon = host.rfind(':'); colon != std::string_view::npos) {
            port = host.substr(colon + 1);
            host = host.substr(0, colon);
        }
        if (!consistsOf(host, "")) return false;
    }
    for (char c : port)
        if (!isDigit(c)) return false;
    return true;
}

}  // namespace

bool isValidUrlReference(std::string_view text) {
    // Split as RFC 3986, appendix B: scheme ":" "//" authority path "?" query "#" fragment.
    std::string_view fragment;
    if (const auto hash = text.find('#'); hash != std::string_view::npos) {
        fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
        if (!consistsOf(fragment, ":@/?")) return false;
    }
    if (const auto question = text.find('?'); question != std::string_view::npos) {
        if (!consistsOf(text.substr(question + 1), ":@/?")) return false;
        text = text.substr(0, question);
    }
    const auto colon = text.find(':');
    const auto slash = text.find('/');
    if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
        // Before the first "/", a ":" ends the scheme; a relative reference cannot have one there.
        if (!isValidScheme(text.substr(0, colon))) return false;
        text.remove_prefix(colon + 1);
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const auto end = text.find('/');
        if (!isValidAuthority(text.substr(0, end))) return false;
        text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    }
    return consistsOf(text, ":@/");
}

}  // namespace vantrel::domain_detail
