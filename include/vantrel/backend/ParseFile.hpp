#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>

namespace vantrel {

/// A file value as the backend stores it under a key: its name and, once saved, its URL.
struct ParseFile {
    /// The stored file's name.
    std::string name;
    /// Where the file can be read; empty when the server gave none.
    std::string url;

    friend bool operator==(const ParseFile&, const ParseFile&) = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
