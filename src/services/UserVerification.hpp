#pragma once

// The checks that tie a signed-in user to a company it may use: the account checks of sign-in,
// the company check with its role questions, and the verification that every current-catalogue
// read starts with.

#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace vantrel::services_detail {

/// Receives none when the check passed, else why it failed.
using CheckBlock = std::function<void(OptionalError failure)>;
/// Receives the verified user; or none and, when verification could not reach the backend, that
/// error (the session is then left alone).
using VerificationBlock = std::function<void(std::shared_ptr<UserEntity> user, OptionalError unreachable)>;

/// The account checks, in order: authenticated, e-mail confirmed, a company with an object id.
/// The text error of the first that fails; none when all pass.
OptionalError accountRefusal(const std::shared_ptr<ParseUser>& user);

/// The company check on the answer of fetching the user's company (`company`, `fetchError`):
/// the fetch error, a missing company, then the variant's role questions.
void checkCompany(const std::shared_ptr<UserEntity>& user, const std::shared_ptr<CompanyEntity>& company,
                  const OptionalError& fetchError, CheckBlock block);

/// Fetches the user's company from the network and runs the company check on it.
void fetchAndCheckCompany(const std::shared_ptr<UserEntity>& user, CheckBlock block);

/// verifyUserForPermissions, telling the caller why it failed when the backend was unreachable.
void verifyUser(const std::shared_ptr<ParseUser>& user, const OptionalError& error, VerificationBlock block);

/// The current user when it holds a session token; none otherwise.
std::shared_ptr<ParseUser> signedInUser();

}  // namespace vantrel::services_detail
