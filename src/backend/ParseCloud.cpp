#include "vantrel/backend/ParseCloud.hpp"

#include "backend/RestClient.hpp"

namespace vantrel {

void ParseCloud::callFunctionInBackground(const std::string& name, const nlohmann::json& parameters,
                                          ParseCloudResultBlock block) {
    const nlohmann::json body = parameters.is_object() ? parameters : nlohmann::json::object();
    backend_detail::performRequest("POST", "functions/" + backend_detail::encodePathSegment(name), body,
                                   [block = std::move(block)](nlohmann::json result, OptionalError error) {
                                       if (!block) return;
                                       if (error) {
                                           block(nullptr, std::move(error));
                                           return;
                                       }
                                       nlohmann::json value = nullptr;
                                       if (result.is_object())
                                           if (auto it = result.find("result"); it != result.end())
                                               value = std::move(*it);
                                       block(std::move(value), std::nullopt);
                                   });
}

}  // namespace vantrel
