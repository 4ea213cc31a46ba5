#include "services/ProductUrl.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vantrel::services_detail {

namespace {

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The items of a query as they are written ("name=value", "name" or empty), keeping their
// percent escapes: the link's own items must come out exactly as they went in.
std::vector<std::string> splitItems(std::string_view query) {
    std::vector<std::string> items;
    if (query.empty()) return items;
    std::size_t start = 0;
    while (true) {
        const auto end = query.find('&', start);
        items.emplace_back(query.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return items;
}

}  // namespace

bool isValidQuery(std::string_view text) {
    static constexpr std::string_view allowed = "-._~!$&'()*+,;=:@/?";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            if (!isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return false;
            i += 2;
            continue;
        }
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && allowed.find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string appendExtraParameters(const std::string& link, const std::string& extraParameters) {
    if (isBlank(extraParameters)) return link;

    std::string parameters = extraParameters;
    std::replace(parameters.begin(), parameters.end(), '?', '&');
    if (!parameters.empty() && parameters.front() == '&') parameters.erase(0, 1);
    if (!isValidQuery(parameters)) return link;
    const auto added = splitItems(parameters);
    if (added.empty()) return link;

    // The link's parts: everything before its query, its query, and its fragment.
    std::string_view rest = link;
    std::string_view fragment;
    bool hasFragment = false;
    if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
        fragment = rest.substr(hash + 1);
        rest = rest.substr(0, hash);
        hasFragment = true;
    }
    std::string_view query;
    if (const auto question = rest.find('?'); question != std::string_view::npos) {
        query = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }

    auto items = splitItems(query);
    items.insert(items.end(), added.begin(), added.end());
    std::string result(rest);
    result += '?';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) result += '&';
        result += items[i];
    }
    if (hasFragment) {
        result += '#';
        result += fragment;
    }
    return result;
}

}  // namespace vantrel::services_detail
