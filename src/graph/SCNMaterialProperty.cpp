#include "vantrel/graph/SCNMaterialProperty.hpp"

namespace vantrel {

std::optional<UIColor> SCNMaterialProperty::contentsColor() const {
    if (const auto* color = std::get_if<UIColor>(&contents_)) {
        return *color;
    }
    return std::nullopt;
}

std::shared_ptr<UIImage> SCNMaterialProperty::contentsImage() const {
    if (const auto* image = std::get_if<std::shared_ptr<UIImage>>(&contents_)) {
        return *image;
    }
    return nullptr;
}

std::optional<double> SCNMaterialProperty::contentsNumber() const {
    if (const auto* number = std::get_if<double>(&contents_)) {
        return *number;
    }
    return std::nullopt;
}

}  // namespace vantrel
