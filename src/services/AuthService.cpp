#include "vantrel/services/AuthService.hpp"

#include "services/QueryPattern.hpp"
#include "services/UserVerification.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/CompanyService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/ModelMeasuringUnitService.hpp"
#include "vantrel/services/SceneService.hpp"
#include "vantrel/services/UnsupportedAppVersionService.hpp"

#include <algorithm>
#include <cctype>

namespace vantrel {

using services_detail::signedInUser;

namespace {

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

void logInAndCheck(const std::string& username, const std::string& password, const AuthService::SignInBlock& block) {
    ParseUser::logInWithUsernameInBackground(
        username, password, [block](std::shared_ptr<ParseUser> user, OptionalError error) {
            auto& auth = AuthService::sharedInstance();
            if (error) {
                auth.signOut(false, [block, error] { block(nullptr, error); });
                return;
            }
            if (!user) {
                CatalogService::sharedInstance().subscribeIfNeeded();
                block(nullptr, std::nullopt);
                return;
            }
            if (auto refusal = services_detail::accountRefusal(user)) {
                auth.signOut(false, [block, refusal] { block(nullptr, refusal); });
                return;
            }
            auto entity = std::dynamic_pointer_cast<UserEntity>(user);
            services_detail::fetchAndCheckCompany(entity, [entity, block](OptionalError failure) {
                if (failure) {
                    AuthService::sharedInstance().signOut(false, [block, failure] { block(nullptr, failure); });
                    return;
                }
                CatalogService::sharedInstance().subscribeIfNeeded();
                block(entity, std::nullopt);
            });
        });
}

void askCurrentUserRole(RoleEntity::SupportedRole role, const AuthService::BooleanBlock& block) {
    auto user = signedInUser();
    if (!user) {
        AuthService::sharedInstance().signOut(true, [block] { block(false); });
        return;
    }
    services_detail::verifyUser(user, std::nullopt, [role, block](std::shared_ptr<UserEntity> verified, OptionalError) {
        if (!verified) return block(false);
        AuthService::sharedInstance().isUserInRole(verified, role, [block](bool isMember, OptionalError error) {
            if (error) {
                VLOG_ERROR("Unable to check user's role due error: " + error->description());
                return block(false);
            }
            block(isMember);
        });
    });
}

}  // namespace

AuthService::AuthService() { registerRecordClasses(); }

AuthService& AuthService::sharedInstance() {
    // Never destroyed: background work may still reach it while the process exits.
    static auto* instance = new AuthService();
    return *instance;
}

void AuthService::signIn(const std::optional<std::string>& appName, const std::optional<std::string>& appVersion,
                         const std::optional<std::string>& email, const std::optional<std::string>& password,
                         SignInBlock block) {
    if (!block) block = [](std::shared_ptr<UserEntity>, OptionalError) {};
    const auto versionName = VantrelSDK::versionName();
    if (!versionName || versionName->empty()) {
        signOut(false, [block] {
            NotificationCenter::defaultCenter().post(VantrelSDK::unsupportedAppVersionNotification);
            block(nullptr, TextError("error_unsupported_app_version"));
        });
        return;
    }
    // B2C signs in as the company's token user; B2B with what the host's user typed.
    const bool b2c = VantrelSDK::isB2C();
    const std::string username = b2c ? VantrelSDK::companyAuthToken() : email.value_or("");
    const std::string secret = b2c ? VantrelSDK::companyAuthToken() : password.value_or("");
    UnsupportedAppVersionService::sharedInstance().checkAppVersions(
        *versionName, appName, appVersion, [block, username, secret](bool isUnsupported) {
            if (isUnsupported) return block(nullptr, TextError("error_unsupported_app_version"));
            logInAndCheck(username, secret, block);
        });
}

void AuthService::signOut(bool notify) { signOut(notify, {}); }

void AuthService::signOut(bool notify, std::function<void()> completion) {
    DispatchQueue::global().async([notify, completion = std::move(completion)] {
        CatalogService::sharedInstance().unsubscribeAll();
        ParseUser::logOut();
        // The next read of each of these services goes to the network again. Anchor objects keep
        // their time: they are not tied to who is signed in.
        for (const auto& name :
             {UnsupportedAppVersionService::typeName(), AuthService::typeName(), CompanyService::typeName(),
              CatalogService::typeName(), ComponentService::typeName(), MaterialService::typeName(),
              AppListItemService::typeName(), SceneService::typeName(), ModelMeasuringUnitService::typeName()})
            VantrelSDK::setLastDbAccessTime(name, 0);
        if (notify) NotificationCenter::defaultCenter().post(VantrelSDK::signOutNotification);
        if (completion) completion();
    });
}

void AuthService::currentUser(UserBlock block) {
    if (!block) block = [](std::shared_ptr<UserEntity>) {};
    auto user = signedInUser();
    if (!user) {
        signOut(true, [block] { block(nullptr); });
        return;
    }
    services_detail::verifyUser(user, std::nullopt, [block](std::shared_ptr<UserEntity> verified, OptionalError) {
        block(std::move(verified));
    });
}

void AuthService::currentCompany(CompanyBlock block) {
    if (!block) block = [](std::shared_ptr<CompanyEntity>, OptionalError) {};
    auto user = signedInUser();
    if (!user) {
        signOut(true, [block] { block(nullptr, std::nullopt); });
        return;
    }
    services_detail::verifyUser(user, std::nullopt,
                                [block](std::shared_ptr<UserEntity> verified, OptionalError unreachable) {
                                    if (!verified) return block(nullptr, std::move(unreachable));
                                    const auto company = verified->company();
                                    const auto companyId = company ? company->objectId() : std::nullopt;
                                    if (!companyId) return block(nullptr, std::nullopt);
                                    // The company may have been removed since it was last read: always ask the backend.
                                    VantrelSDK::setLastDbAccessTime(CompanyService::typeName(), 0);
                                    CompanyService::sharedInstance().obtainCompanyById(*companyId, block);
                                });
}

void AuthService::isCurrentUserCompanyManager(BooleanBlock block) {
    askCurrentUserRole(
        RoleEntity::SupportedRole::roleCompanyManager, block ? block : [](bool) {});
}

void AuthService::isCurrentUserCompanyEmployee(BooleanBlock block) {
    askCurrentUserRole(
        RoleEntity::SupportedRole::roleCompanyEmployee, block ? block : [](bool) {});
}

void AuthService::isCurrentUserCompanyAuthToken(BooleanBlock block) {
    askCurrentUserRole(
        RoleEntity::SupportedRole::roleCompanyAuthToken, block ? block : [](bool) {});
}

void AuthService::isUserInRole(const std::shared_ptr<ParseUser>& user, RoleEntity::SupportedRole supportedRole,
                               RoleBlock block) {
    if (!block) block = [](bool, OptionalError) {};
    // Roles list their members in the relation "users": the role is named so and holds the user.
    // A user never saved cannot be looked for.
    const auto member = services_detail::pointerTo(user);
    const std::string roleName(rawValue(supportedRole));
    if (!member || roleName.empty()) {
        VLOG_ERROR("Unable to create predicate query to check if user in role");
        block(false, TextError("common_internal_error"));
        return;
    }
    ParseQuery query(RoleEntity::parseClassName());
    query.whereEqualTo("name", roleName).whereEqualTo("users", *member);
    services_detail::countObjects(std::move(query), typeName(), [block](int count, OptionalError error) {
        if (error) {
            VLOG_ERROR("Unable to detect if user in role due error: " + error->description());
            return block(false, std::move(error));
        }
        block(count > 0, std::nullopt);
    });
}

void AuthService::signUpAsDemoCompanyEmployee(const std::string& email, const std::string& password,
                                              const std::string& fullName, SignUpBlock block) {
    if (!block) block = [](std::optional<std::string>, OptionalError) {};
    if (VantrelSDK::isB2C()) {
        block(std::nullopt, TextError("authService_error_unauthorized_b2c_not_support_signup"));
        return;
    }
    CompanyService::sharedInstance().obtainCompanyByName(
        demoCompanyName,
        [email, password, fullName, block](std::shared_ptr<CompanyEntity> company, OptionalError error) {
            if (error) return block(std::nullopt, std::move(error));
            if (!company)
                return block(std::nullopt, TextError("authService_error_unauthorized_demo_company_not_exist"));
            const nlohmann::json parameters = {
                {"company_id", company->objectId().value_or("")},
                {"full_name", fullName},
                {"email", email},
                {"password", password},
                {"role", std::string(rawValue(RoleEntity::SupportedRole::roleCompanyEmployee))}};
            ParseCloud::callFunctionInBackground(
                "registerCompanyUser", parameters, [block](nlohmann::json result, OptionalError callError) {
                    std::optional<std::string> text;
                    if (result.is_string()) text = result.get<std::string>();
                    // Registering leaves nobody signed in; the new user signs in once confirmed.
                    AuthService::sharedInstance().signOut(false, [block, text, callError] { block(text, callError); });
                });
        });
}

void AuthService::resetPassword(const std::string& email, ErrorBlock block) {
    if (!block) block = [](OptionalError) {};
    if (VantrelSDK::isB2C()) {
        block(TextError("authService_error_reset_password_b2c_not_support"));
        return;
    }
    if (isBlank(email)) {
        block(TextError("authService_error_reset_password_invalid_email"));
        return;
    }
    ParseCloud::callFunctionInBackground("requestPasswordReset", {{"username", email}, {"schema", ""}},
                                         [block](nlohmann::json, OptionalError error) { block(std::move(error)); });
}

void AuthService::verifyUserForPermissions(const std::shared_ptr<ParseUser>& user, const OptionalError& error,
                                           UserBlock block) {
    if (!block) block = [](std::shared_ptr<UserEntity>) {};
    services_detail::verifyUser(
        user, error, [block](std::shared_ptr<UserEntity> verified, OptionalError) { block(std::move(verified)); });
}

}  // namespace vantrel
