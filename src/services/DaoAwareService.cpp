#include "vantrel/services/DaoAwareService.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/core/Log.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace vantrel::dao_detail {

namespace {

using ParseOperation = void (ParseObject::*)(ParseBooleanResultBlock);

// Saves and deletes share their handling of the answer; only the call, the log prefix and the
// key of the "neither success nor error" text differ.
void persist(const std::shared_ptr<ParseObject>& record, ParseOperation operation, const char* logPrefix,
             const char* failureKey, std::function<void(OptionalError)> done) {
    if (!done) done = [](OptionalError) {};
    if (!record) {
        done(TextError(failureKey));
        return;
    }
    ((*record).*operation)([logPrefix, failureKey, done = std::move(done)](bool succeeded, OptionalError error) {
        if (error) {
            VLOG_ERROR(std::string(logPrefix) + error->description());
            services_detail::applySessionErrorRule(*error);
            return done(std::move(error));
        }
        if (!succeeded) return done(TextError(failureKey));
        done(std::nullopt);
    });
}

}  // namespace

std::string unqualifiedTypeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     std::free);
    std::string name = status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
    if (const auto colon = name.rfind("::"); colon != std::string::npos) name.erase(0, colon + 2);
    return name;
}

void saveOrUpdate(const std::shared_ptr<ParseObject>& record, std::function<void(OptionalError)> done) {
    persist(record, &ParseObject::saveInBackground,
            "saveOrUpdateEntity: ", "daoAwareService_error_unable_to_save_object", std::move(done));
}

void remove(const std::shared_ptr<ParseObject>& record, std::function<void(OptionalError)> done) {
    persist(record, &ParseObject::deleteInBackground, "deleteEntity: ", "daoAwareService_error_unable_to_delete_object",
            std::move(done));
}

}  // namespace vantrel::dao_detail
