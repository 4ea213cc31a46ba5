#include "services/UserVerification.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RoleEntity.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/CompanyService.hpp"

namespace vantrel::services_detail {

namespace {

using SupportedRole = RoleEntity::SupportedRole;

void checkB2B(const std::shared_ptr<UserEntity>& user, CheckBlock block) {
    auto& auth = AuthService::sharedInstance();
    auth.isUserInRole(user, SupportedRole::roleCompanyManager, [user, block](bool isManager, OptionalError error) {
        if (error) return block(std::move(error));
        // A manager needs no further question.
        if (isManager) return block(std::nullopt);
        AuthService::sharedInstance().isUserInRole(
            user, SupportedRole::roleCompanyEmployee, [block](bool isEmployee, OptionalError employeeError) {
                if (employeeError) return block(std::move(employeeError));
                if (!isEmployee) return block(TextError("authService_error_unauthorized_user_not_employee"));
                block(std::nullopt);
            });
    });
}

void checkB2C(const std::shared_ptr<UserEntity>& user, CheckBlock block) {
    AuthService::sharedInstance().isUserInRole(
        user, SupportedRole::roleCompanyAuthToken, [user, block](bool isTokenUser, OptionalError error) {
            if (error) return block(std::move(error));
            if (!isTokenUser) return block(TextError("authService_error_unauthorized_b2c_auth_token_not_supported"));
            if (user->username().value_or("") == VantrelSDK::companyAuthToken()) return block(std::nullopt);
            block(TextError("authService_error_unauthorized_b2c_auth_token_invalid"));
        });
}

// Ends a failed verification: the session ends (announced) before the caller hears of it, except
// when the backend could not be reached, which says nothing about the user.
void failVerification(const Error& failure, bool alreadySignedOut, const VerificationBlock& block) {
    VLOG_ERROR("ERROR on verifyUserForPermissions: " + failure.description());
    if (isBackendUnreachable(failure)) {
        block(nullptr, failure);
        return;
    }
    // A session error was announced by the result processor already; sign out once more, quietly,
    // only so that the caller hears of the failure after the user is gone.
    AuthService::sharedInstance().signOut(!alreadySignedOut, [block] { block(nullptr, std::nullopt); });
}

}  // namespace

OptionalError accountRefusal(const std::shared_ptr<ParseUser>& user) {
    const bool b2c = VantrelSDK::isB2C();
    auto entity = std::dynamic_pointer_cast<UserEntity>(user);
    // A user that is not a UserEntity comes from a client set up without the record classes; the
    // library cannot read it, so it counts as not signed in.
    if (!entity || !entity->isAuthenticated()) return TextError("authService_error_unauthorized_bad_authentication");
    if (!entity->emailVerified())
        return TextError(b2c ? "authService_error_unauthorized_b2c_bad_token"
                             : "authService_error_unauthorized_b2b_no_confirmation");
    const auto company = entity->company();
    if (!company || !company->objectId())
        return TextError(b2c ? "authService_error_unauthorized_b2c_company_authorization_not_supported"
                             : "authService_error_unauthorized_b2b_no_company_id");
    return std::nullopt;
}

void checkCompany(const std::shared_ptr<UserEntity>& user, const std::shared_ptr<CompanyEntity>& company,
                  const OptionalError& fetchError, CheckBlock block) {
    if (fetchError) return block(fetchError);
    if (!company) return block(TextError("authService_error_unauthorized_cannot_find_company"));
    const bool hasCompany = user && user->company() != nullptr;
    if (VantrelSDK::isB2C()) {
        if (!hasCompany)
            return block(TextError("authService_error_unauthorized_b2c_company_authorization_not_supported"));
        checkB2C(user, std::move(block));
        return;
    }
    if (!hasCompany) return block(TextError("authService_error_unauthorized_user_company_nil"));
    checkB2B(user, std::move(block));
}

void fetchAndCheckCompany(const std::shared_ptr<UserEntity>& user, CheckBlock block) {
    const auto company = user ? user->company() : nullptr;
    const auto companyId = company ? company->objectId() : std::nullopt;
    if (!companyId) {
        checkCompany(user, nullptr, std::nullopt, std::move(block));
        return;
    }
    CompanyService::sharedInstance().obtainCompanyById(
        *companyId, [user, block = std::move(block)](std::shared_ptr<CompanyEntity> fetched, OptionalError error) {
            checkCompany(user, fetched, error, block);
        });
}

void verifyUser(const std::shared_ptr<ParseUser>& user, const OptionalError& error, VerificationBlock block) {
    if (error) {
        failVerification(*error, false, block);
        return;
    }
    if (!user) {
        block(nullptr, std::nullopt);
        return;
    }
    if (auto refusal = accountRefusal(user)) {
        failVerification(*refusal, false, block);
        return;
    }
    auto entity = std::dynamic_pointer_cast<UserEntity>(user);
    fetchAndCheckCompany(entity, [entity, block](OptionalError failure) {
        if (!failure) {
            block(entity, std::nullopt);
            return;
        }
        const bool announced = failure->domain == kParseErrorDomain && isSessionError(*failure);
        failVerification(*failure, announced, block);
    });
}

std::shared_ptr<ParseUser> signedInUser() {
    auto user = ParseUser::currentUser();
    const auto token = user ? user->sessionToken() : std::nullopt;
    if (!token || token->empty()) return nullptr;
    return user;
}

}  // namespace vantrel::services_detail
