#pragma once

#include <string_view>

namespace vantrel::domain_detail {

/// True when `text` is a URI reference of RFC 3986, absolute ("https://shop.example/p?id=1") or
/// relative ("shop/p"): every character allowed where it stands and every "%" followed by two
/// hexadecimal digits. Blanks, quotes, angle brackets and non-ASCII text are not.
bool isValidUrlReference(std::string_view text);

}  // namespace vantrel::domain_detail
