#pragma once

// The concept store's model (entities, attributes, relations, version), apart from the service that
// opens the store, so that tools can read store files with plain objects.

#include <memory>

#include "vantrel/store/ManagedObjectModel.hpp"

namespace vantrel::services_detail {

/// How instances of the model's three entities are made (the typed entity classes in the library).
struct CodeBaseFactories {
    EntityDescription::Factory design;       // the concept entity
    EntityDescription::Factory designItem;   // its items
    EntityDescription::Factory assignedMaterial;
};

/// The model of the concept store ("CodeBase", version 1): concepts, their items and the materials
/// assigned to the items.
std::shared_ptr<const ManagedObjectModel> makeCodeBaseModel(const CodeBaseFactories& factories);

}  // namespace vantrel::services_detail
