#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/domain/BackendRecord.hpp"
#include "vantrel/domain/TextEnumeration.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <string>
#include <string_view>
#include <utility>

namespace vantrel {

/// A backend role (the backend's role class).
class RoleEntity : public BackendRecord<ParseRole> {
public:
    /// The roles the library knows; the raw value is the role's name in the backend.
    enum class SupportedRole {
        roleSystemAdmin,       ///< "ROLE_SYSTEM_ADMIN".
        roleSystemSales,       ///< "ROLE_SYSTEM_SALES".
        roleSystemFinance,     ///< "ROLE_SYSTEM_FINANCE".
        roleCompanyManager,    ///< "ROLE_COMPANY_MANAGER".
        roleCompanyEmployee,   ///< "ROLE_COMPANY_EMPLOYEE".
        roleCompanyAuthToken,  ///< "ROLE_COMPANY_AUTH_TOKEN".
    };

    /// A new, unsaved role without a name.
    RoleEntity() = default;
    /// A new role named `name`, readable by everyone.
    explicit RoleEntity(const std::string& name) : BackendRecord(name) {}
    /// A new role named `name` with the access list `acl`.
    RoleEntity(const std::string& name, nlohmann::json acl) : BackendRecord(name, std::move(acl)) {}
};

template <>
struct EnumerationTexts<RoleEntity::SupportedRole> {
    static constexpr std::array<std::pair<RoleEntity::SupportedRole, std::string_view>, 6> entries{{
        {RoleEntity::SupportedRole::roleSystemAdmin, "ROLE_SYSTEM_ADMIN"},
        {RoleEntity::SupportedRole::roleSystemSales, "ROLE_SYSTEM_SALES"},
        {RoleEntity::SupportedRole::roleSystemFinance, "ROLE_SYSTEM_FINANCE"},
        {RoleEntity::SupportedRole::roleCompanyManager, "ROLE_COMPANY_MANAGER"},
        {RoleEntity::SupportedRole::roleCompanyEmployee, "ROLE_COMPANY_EMPLOYEE"},
        {RoleEntity::SupportedRole::roleCompanyAuthToken, "ROLE_COMPANY_AUTH_TOKEN"},
    }};
};

}  // namespace vantrel

#pragma GCC visibility pop
