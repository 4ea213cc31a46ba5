#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"

#include <optional>
#include <string>

namespace vantrel {

/// A backend role (class "_Role"): a name and the relations of its member users and roles.
class ParseRole : public ParseObject {
public:
    /// The backend class name of roles.
    static std::string parseClassName() { return "_Role"; }

    /// An empty role (as the client makes them from server data).
    ParseRole();
    /// A new role named `name`; `acl` is the role's access list ({"*":{"read":true}} when empty).
    explicit ParseRole(const std::string& name, nlohmann::json acl = nlohmann::json::object());

    /// The role's name.
    [[nodiscard]] std::optional<std::string> name() const { return value("name").asString(); }
    /// Sets the role's name.
    void setName(const std::string& name) { set("name", name); }
    /// The member users.
    [[nodiscard]] ParseRelation users() { return relation("users"); }
    /// The member roles.
    [[nodiscard]] ParseRelation roles() { return relation("roles"); }
};

}  // namespace vantrel

#pragma GCC visibility pop
