#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/RoleEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"
#include "vantrel/services/DaoAwareService.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// Signs users in and out, keeps every backend call tied to a verified user of a known company,
/// answers role questions, registers users of the demonstration company and asks for password
/// resets.
///
/// B2B hosts sign employees in with e-mail and password; in B2C the library signs in with the
/// company authentication token as both user name and password. Blocks run on the backend
/// client's threads (or the sign-out's background thread), never on the main queue.
class AuthService : public DaoAwareService<AuthService> {
public:
    /// Receives the signed-in user or why sign-in was refused.
    using SignInBlock = std::function<void(std::shared_ptr<UserEntity> user, OptionalError error)>;
    /// Receives the verified user, none when there is none or it failed verification.
    using UserBlock = std::function<void(std::shared_ptr<UserEntity> user)>;
    /// Receives the current user's company, or none and the error.
    using CompanyBlock = std::function<void(std::shared_ptr<CompanyEntity> company, OptionalError error)>;
    /// Receives the answer to a yes/no question.
    using BooleanBlock = std::function<void(bool answer)>;
    /// Receives role membership and the error that prevented the answer.
    using RoleBlock = std::function<void(bool isMember, OptionalError error)>;
    /// Receives the backend function's text result and its error.
    using SignUpBlock = std::function<void(std::optional<std::string> result, OptionalError error)>;
    /// Receives the error, none on success.
    using ErrorBlock = std::function<void(OptionalError error)>;

    /// Name of the company whose employees may register themselves.
    static constexpr const char* demoCompanyName = "vantrel-demo Rm4pXc2Lq (do NOT change the name please)";
    /// Application name of the library itself in the unsupported-version list.
    static constexpr const char* sdkAppName = "IOS_SDK";

    /// The process-wide instance.
    static AuthService& sharedInstance();

    AuthService(const AuthService&) = delete;
    AuthService& operator=(const AuthService&) = delete;

    /// Runs the version gate, logs in (B2B: `email` / `password`; B2C: the company token) and
    /// checks the e-mail confirmation, the company and the roles. Any refusal after the login
    /// leaves the user signed out without the sign-out notification; the block runs once that
    /// sign-out is done. On success the live subscriptions start.
    void signIn(const std::optional<std::string>& appName, const std::optional<std::string>& appVersion,
                const std::optional<std::string>& email, const std::optional<std::string>& password, SignInBlock block);

    /// Signs out in the background: stops the live subscriptions, logs out, forgets the services'
    /// last access times and, when `notify` is true, posts the sign-out notification.
    void signOut(bool notify);
    /// `signOut(notify)`, then `completion` on the same background thread once all is done.
    void signOut(bool notify, std::function<void()> completion);

    /// The current user after verification; none (and a sign-out with notification) when there
    /// is no signed-in user.
    void currentUser(UserBlock block);
    /// The current user's company, read from the network.
    void currentCompany(CompanyBlock block);

    /// Whether the verified current user is a company manager.
    void isCurrentUserCompanyManager(BooleanBlock block);
    /// Whether the verified current user is a company employee.
    void isCurrentUserCompanyEmployee(BooleanBlock block);
    /// Whether the verified current user is a company's token user.
    void isCurrentUserCompanyAuthToken(BooleanBlock block);
    /// Whether `user` belongs to the role `supportedRole`.
    void isUserInRole(const std::shared_ptr<ParseUser>& user, RoleEntity::SupportedRole supportedRole, RoleBlock block);

    /// Registers a new employee of the demonstration company (B2B only); the block receives the
    /// backend function's result (the new user's id). Leaves nobody signed in.
    void signUpAsDemoCompanyEmployee(const std::string& email, const std::string& password, const std::string& fullName,
                                     SignUpBlock block);
    /// Asks the backend to send a password-reset e-mail (B2B only).
    void resetPassword(const std::string& email, ErrorBlock block);

    /// Checks that `user` is authenticated, confirmed and belongs to a company it may use, in the
    /// order of sign-in. A failure (or an incoming `error`) is logged and signs out with
    /// notification; the block then receives none. No user gives none without a sign-out.
    void verifyUserForPermissions(const std::shared_ptr<ParseUser>& user, const OptionalError& error, UserBlock block);

private:
    AuthService();
    ~AuthService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
