#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::services_detail {

/// `link` (a valid URL reference) with the query items of `extraParameters` appended after its
/// own. The parameters are taken as stored: every "?" separates items like "&", and a leading
/// separator is dropped, so "?a=1?b=2" adds a=1 and b=2. Blank parameters, or parameters that
/// are not a valid query, leave the link as it is.
std::string appendExtraParameters(const std::string& link, const std::string& extraParameters);

/// True when `text` is made only of characters a URL query may hold (valid "%" escapes included).
bool isValidQuery(std::string_view text);

}  // namespace vantrel::services_detail
