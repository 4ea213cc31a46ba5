// What the records' fuzz target links instead of the transports, queues, clocks and files: reading a
// record never sends a request, downloads or stores a file or queues work, so reaching any of these
// is itself a finding. No client is configured.

#include <cstdlib>

#include "backend/RestClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Paths.hpp"
#include "vantrel/files/DownloadingService.hpp"

namespace vantrel {

namespace backend_detail {

void performRequest(const std::string&, const std::string&, const std::optional<nlohmann::json>&,
                    RestClient::Completion) {
    std::abort();
}

void performRequestWithSession(const std::string&, const std::string&, const std::optional<nlohmann::json>&,
                               const std::optional<std::string>&, RestClient::Completion) {
    std::abort();
}

void performRequestForResponse(const std::string&, const std::string&, const std::optional<nlohmann::json>&,
                               RestClient::ResponseCompletion) {
    std::abort();
}

std::pair<nlohmann::json, OptionalError> RestClient::interpret(const HttpResponse&) { std::abort(); }

std::optional<std::string> currentSessionToken() { return std::nullopt; }

std::string encodePathSegment(const std::string& segment) { return segment; }

}  // namespace backend_detail

const ParseClientConfiguration& Parse::configuration() { std::abort(); }

bool Parse::isInitialized() { return false; }

std::shared_ptr<Clock> Clock::current() { std::abort(); }

std::filesystem::path Paths::dataDirectory() { std::abort(); }

DispatchQueue& DispatchQueue::global() { std::abort(); }

void DispatchQueue::async(Work) { std::abort(); }

DownloadingService& DownloadingService::sharedInstance() { std::abort(); }

void DownloadingService::obtainDataFromLocalCache(const std::string&, bool, DataBlock, ProgressBlock) { std::abort(); }

}  // namespace vantrel
