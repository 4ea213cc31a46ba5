#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"

#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace vantrel {

/// Completion of cloud functions: the function's "result" (JSON null when it returned nothing)
/// or the error (code 141 when the function failed, as the server reports it).
using ParseCloudResultBlock = std::function<void(nlohmann::json result, OptionalError error)>;

/// Calls the backend's cloud functions.
class ParseCloud {
public:
    ParseCloud() = delete;

    /// Calls function `name` with `parameters` (a JSON object) under the current user's session.
    static void callFunctionInBackground(const std::string& name, const nlohmann::json& parameters,
                                         ParseCloudResultBlock block);
};

}  // namespace vantrel

#pragma GCC visibility pop
