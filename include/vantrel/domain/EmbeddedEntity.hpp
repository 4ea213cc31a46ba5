#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseValue.hpp"

#include <memory>
#include <string>
#include <utility>

namespace vantrel {

/// A record that is not a backend object but a dictionary nested in a backend record's value
/// (a snapping area, a material property, a component's image set...). Its accessors read the
/// dictionary with the same rules as backend records; it is never saved on its own.
class EmbeddedEntity {
public:
    /// The nested dictionary's type.
    using Dictionary = ParseValue::Object;

    /// An empty record.
    EmbeddedEntity() = default;
    virtual ~EmbeddedEntity() = default;
    EmbeddedEntity(const EmbeddedEntity&) = default;
    EmbeddedEntity& operator=(const EmbeddedEntity&) = default;
    EmbeddedEntity(EmbeddedEntity&&) = default;
    EmbeddedEntity& operator=(EmbeddedEntity&&) = default;

    /// The values of the record by key. Writable: the image records write through it.
    Dictionary dictionary;

protected:
    /// The value under `key`, absent when the key is missing.
    [[nodiscard]] ParseValue value(const std::string& key) const {
        const auto it = dictionary.find(key);
        return it == dictionary.end() ? ParseValue() : it->second;
    }
};

/// Base of each embedded record class `Self`: gives it `fromDictionary`, which makes an instance
/// of `Self` (not of the base) holding the given dictionary.
template <class Self>
class EmbeddedRecord : public EmbeddedEntity {
public:
    /// A new `Self` that reads `dictionary`.
    [[nodiscard]] static std::shared_ptr<Self> fromDictionary(Dictionary dictionary) {
        auto record = std::make_shared<Self>();
        record->dictionary = std::move(dictionary);
        return record;
    }
};

}  // namespace vantrel

#pragma GCC visibility pop
