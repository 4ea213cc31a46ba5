#include "vantrel/services/OrderService.hpp"

#include "services/OrderDocument.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"

#include <algorithm>

namespace vantrel {

OrderService& OrderService::sharedInstance() {
    static OrderService instance;
    return instance;
}

void OrderService::generateOrderAsHtml(const std::shared_ptr<ConceptEntity>& conceptEntity,
                                       const std::shared_ptr<UIImage>& logoImage, HtmlBlock block) {
    // Everything the page needs from the store is read here, on the caller's (main) thread.
    std::vector<std::string> componentIds;
    for (const auto& item : conceptEntity->conceptItems()) componentIds.push_back(item->component_id().value_or(""));
    const std::string name = conceptEntity->name().value_or("");

    auto finish = [componentIds, name, logoImage,
                   block](const std::vector<std::shared_ptr<ComponentEntity>>& components) {
        std::vector<services_detail::OrderLine> lines;
        for (const auto& component : components) {
            const auto id = component->objectId().value_or("");
            const auto quantity = std::count(componentIds.begin(), componentIds.end(), id);
            lines.push_back({component->productNumber(), component->genericName(), component->desc(),
                             static_cast<int>(quantity), component->price()});
        }
        block(services_detail::orderHtml(name, lines, services_detail::pngBase64(logoImage)), std::nullopt);
    };
    if (componentIds.empty()) {
        finish({});
        return;
    }
    ComponentService::sharedInstance().obtainAllComponentsByIds(componentIds, std::nullopt, std::nullopt,
                                                                [finish, block](auto components, OptionalError error) {
                                                                    if (error) {
                                                                        block("", std::move(error));
                                                                        return;
                                                                    }
                                                                    finish(components);
                                                                });
}

}  // namespace vantrel
