#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/BackendRecord.hpp"

#include <string>

namespace vantrel {

/// One application version that may no longer use the backend (backend class
/// "UnsupportedAppVersion").
class UnsupportedAppVersionEntity : public BackendRecord<ParseObject> {
public:
    /// The backend class name, "UnsupportedAppVersion".
    static std::string parseClassName() { return "UnsupportedAppVersion"; }

    /// A new, unsaved entry.
    UnsupportedAppVersionEntity();

    /// The application, "app", trimmed; empty when absent.
    [[nodiscard]] std::string app() const;
    /// The version, "version", trimmed; empty when absent.
    [[nodiscard]] std::string version() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
