#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

/// The library's table of localized message texts, read from the resource bundle
/// ("strings/<language>.json", a flat object from message key to text).
class Strings {
public:
    /// The text of `key`; the key itself when the table has no entry.
    static std::string localized(std::string_view key);
    /// The text of `key` used as a format: each "%@", "%d", "%ld", "%s" or "%i" takes the next
    /// argument, "%n$@" takes argument n, and "%%" is a percent sign.
    static std::string localized(std::string_view key, const std::vector<std::string>& arguments);
    /// Applies the format rule above to any text.
    static std::string format(std::string_view format, const std::vector<std::string>& arguments);
    /// Forgets the loaded table so that the next look-up reads the bundle again.
    static void reload();
};

}  // namespace vantrel

#pragma GCC visibility pop
