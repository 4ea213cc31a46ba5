#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <string>

namespace vantrel {

/// Reads company records. Both reads always go to the network: a company decides who may use
/// the catalogue, so a cached answer is never good enough.
class CompanyService : public DaoAwareService<CompanyService> {
public:
    /// The process-wide instance.
    static CompanyService& sharedInstance();

    CompanyService(const CompanyService&) = delete;
    CompanyService& operator=(const CompanyService&) = delete;

    /// The company with object id `id`; none when there is none the user may read.
    void obtainCompanyById(const std::string& id, RecordResultBlock<CompanyEntity> block);
    /// The first company named exactly `name`.
    void obtainCompanyByName(const std::string& name, RecordResultBlock<CompanyEntity> block);

private:
    CompanyService();
    ~CompanyService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
