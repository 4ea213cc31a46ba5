#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/BackendRecord.hpp"

#include <memory>
#include <string>

namespace vantrel {

class CompanyEntity;

/// A backend user (the backend's user class): a company's employee or the company itself.
class UserEntity : public BackendRecord<ParseUser> {
public:
    /// A new, unsaved user.
    UserEntity() = default;

    /// "fullName", trimmed; empty when absent.
    [[nodiscard]] std::string fullName() const;
    /// The user's company, "company"; none when absent or not a company.
    [[nodiscard]] std::shared_ptr<CompanyEntity> company() const;
    /// Whether the user confirmed the e-mail address, "emailVerified"; false by default. Read by
    /// the authentication service.
    [[nodiscard]] bool emailVerified() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
