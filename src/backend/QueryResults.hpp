#pragma once

#include "vantrel/backend/ParseObject.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::backend_detail {

/// The records of a query's answer (`{"results": [...]}`), each an object of its "className" or
/// else `className`, decoded straight from `text` without a JSON tree in between: the records
/// `ParseObject::fromJSON` makes of the parsed answer's results. None when the fast parser does
/// not read `text` or it holds no results array; `parseJsonDocument` then decides.
std::optional<std::vector<std::shared_ptr<ParseObject>>> decodeQueryResults(std::string_view text,
                                                                            const std::string& className);

}  // namespace vantrel::backend_detail
