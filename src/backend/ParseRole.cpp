#include "vantrel/backend/ParseRole.hpp"

namespace vantrel {

ParseRole::ParseRole() : ParseObject(parseClassName()) {}

ParseRole::ParseRole(const std::string& name, nlohmann::json acl) : ParseObject(parseClassName()) {
    set("name", name);
    if (!acl.is_object() || acl.empty()) acl = {{"*", {{"read", true}}}};
    set("ACL", ParseValue::fromJSON(acl));
}

}  // namespace vantrel
