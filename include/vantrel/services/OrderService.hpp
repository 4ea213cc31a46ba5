#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/graph/UIImage.hpp"
#include "vantrel/services/ConceptEntity.hpp"

#include <functional>
#include <memory>
#include <string>

namespace vantrel {

/// Renders a concept as a one-page HTML order: a header with the concept's name, one row per
/// distinct component (product number, name, description, quantity, unit price, line price), a
/// total and the host's logo embedded as PNG. Texts from records are HTML-escaped, so a name cannot
/// add markup to the page.
class OrderService {
public:
    /// Receives the page (empty on error) and the error.
    using HtmlBlock = std::function<void(std::string html, OptionalError error)>;

    /// The process-wide instance.
    static OrderService& sharedInstance();

    OrderService(const OrderService&) = delete;
    OrderService& operator=(const OrderService&) = delete;

    /// Builds the order of `conceptEntity` with `logoImage` (none or an image that cannot be encoded gives
    /// an image without data). Reads the concept's items on the calling thread (the main thread);
    /// the block runs on the backend client's thread, or before this returns when the concept has
    /// no items.
    void generateOrderAsHtml(const std::shared_ptr<ConceptEntity>& conceptEntity,
                             const std::shared_ptr<UIImage>& logoImage, HtmlBlock block);

private:
    OrderService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
