#pragma once

// The start of every read scoped to the current catalogue: a signed-in user, verified, then its
// company's catalogue.

#include "vantrel/core/Error.hpp"
#include "vantrel/domain/CatalogEntity.hpp"

#include <functional>
#include <memory>

namespace vantrel::services_detail {

/// Receives the current catalogue; or none and the error that ends the read (none when the read
/// ends with an empty result and no error).
using CatalogBlock = std::function<void(std::shared_ptr<CatalogEntity> catalog, OptionalError error)>;

/// Finds the current catalogue. Nobody signed in, or a user failing verification, signs out with
/// notification and ends the read empty without an error; a backend that cannot be reached ends
/// it with that error.
void withCurrentCatalog(CatalogBlock next);

}  // namespace vantrel::services_detail
