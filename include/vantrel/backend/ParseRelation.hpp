#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class ParseObject;
class ParseQuery;

/// A many-to-many link stored under one key of an object (for example a role's "users").
///
/// The value read from the server names only the target class; `ParseObject::relation(key)`
/// gives a relation bound to its parent, whose `query()` lists the related objects and whose
/// `addObject` / `removeObject` record changes that the parent's next save sends.
class ParseRelation {
public:
    /// A relation value of `targetClassName` that is not bound to a parent object.
    explicit ParseRelation(std::string targetClassName = {});
    /// A relation under `key` of `parent`.
    ParseRelation(const std::shared_ptr<ParseObject>& parent, std::string key, std::string targetClassName);

    /// Class of the related objects; empty while unknown (an unsaved relation with no member).
    [[nodiscard]] const std::string& targetClassName() const noexcept { return targetClassName_; }
    /// The parent's key, empty when unbound.
    [[nodiscard]] const std::string& key() const noexcept { return key_; }
    /// The parent object, none when unbound or gone.
    [[nodiscard]] std::shared_ptr<ParseObject> parent() const { return parent_.lock(); }

    /// A query of the related objects ($relatedTo the parent under the key). Needs a saved parent.
    [[nodiscard]] ParseQuery query() const;
    /// Adds `object` to the relation on the parent's next save.
    void addObject(const std::shared_ptr<ParseObject>& object);
    /// Removes `object` from the relation on the parent's next save.
    void removeObject(const std::shared_ptr<ParseObject>& object);

    /// Relations are equal when they have the same target class (values read from the server
    /// carry nothing else).
    friend bool operator==(const ParseRelation& a, const ParseRelation& b) noexcept {
        return a.targetClassName_ == b.targetClassName_;
    }

private:
    void change(const std::shared_ptr<ParseObject>& object, bool add);

    std::weak_ptr<ParseObject> parent_;
    std::string key_;
    std::string targetClassName_;
};

}  // namespace vantrel

#pragma GCC visibility pop
