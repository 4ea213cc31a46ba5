#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <concepts>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

namespace vantrel {

namespace dao_detail {
/// The unqualified name of a class ("ComponentService" for vantrel::ComponentService).
std::string unqualifiedTypeName(const std::type_info& type);
/// Saves `record`; `done` receives none or the error (already logged, session rule applied).
void saveOrUpdate(const std::shared_ptr<ParseObject>& record, std::function<void(OptionalError)> done);
/// Deletes `record`; `done` as for saveOrUpdate.
void remove(const std::shared_ptr<ParseObject>& record, std::function<void(OptionalError)> done);
}  // namespace dao_detail

/// What every data service shares: its name, under which its last backend access is recorded,
/// and saving and deleting records of any class.
///
/// `Derived` is the service class itself (ComponentService derives from
/// DaoAwareService<ComponentService>).
template <class Derived>
class DaoAwareService {
public:
    /// The service's own class name, for example "ComponentService".
    static const std::string& typeName() {
        // Never destroyed: read by completions that may run while the process exits.
        static const auto* name = new std::string(dao_detail::unqualifiedTypeName(typeid(Derived)));
        return *name;
    }

    /// Creates or updates `entity` on the backend. The block receives the same record and none,
    /// the backend's error, or a text error when the backend reported neither success nor error.
    // clang-format off
    template <class T>
        requires std::derived_from<T, ParseObject>
    void saveOrUpdateEntity(const std::shared_ptr<T>& entity, EntityResultBlock<T> block) const {
        // clang-format on
        dao_detail::saveOrUpdate(entity, [entity, block = std::move(block)](OptionalError error) {
            if (block) block(entity, std::move(error));
        });
    }

    /// Deletes `entity` on the backend; the block as for `saveOrUpdateEntity`.
    // clang-format off
    template <class T>
        requires std::derived_from<T, ParseObject>
    void deleteEntity(const std::shared_ptr<T>& entity, EntityResultBlock<T> block) const {
        // clang-format on
        dao_detail::remove(entity, [entity, block = std::move(block)](OptionalError error) {
            if (block) block(entity, std::move(error));
        });
    }

protected:
    DaoAwareService() = default;
    ~DaoAwareService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
