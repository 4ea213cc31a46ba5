#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/TextEnumeration.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/UIColor.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

class ComponentEntity;

/// What an entry of the app's product lists is.
enum class AppListItemType {
    overlayImage,    ///< "OVERLAY_IMAGE": an image laid over the list.
    navigationItem,  ///< "NAVIGATION_ITEM": leads to a sub-list.
    mainProduct,     ///< "MAIN_PRODUCT": shows its linked component.
};

template <>
struct EnumerationTexts<AppListItemType> {
    static constexpr std::array<std::pair<AppListItemType, std::string_view>, 3> entries{{
        {AppListItemType::overlayImage, "OVERLAY_IMAGE"},
        {AppListItemType::navigationItem, "NAVIGATION_ITEM"},
        {AppListItemType::mainProduct, "MAIN_PRODUCT"},
    }};
};

/// An entry of the app's product lists (backend class "MarketingListItem").
///
/// A main-product entry always shows its component's current name, description and thumbnail:
/// its `label`, `desc` and `imagePath` follow the linked component and ignore their own keys.
class AppListItemEntity : public CatalogAwareEntity {
public:
    /// The backend class name, "MarketingListItem".
    static std::string parseClassName() { return "MarketingListItem"; }
    /// Receives the image's bytes or the file cache's error; neither when there is no image.
    using ImageDataBlock = DownloadingService::DataBlock;

    /// A new, unsaved list item.
    AppListItemEntity();

    /// A new, unsaved item with a copy of `item`'s type, label, description, image, flags, text
    /// colour, index and component.
    [[nodiscard]] static std::shared_ptr<AppListItemEntity> spawn(const AppListItemEntity& item);

    /// The enclosing item, "parent"; none when absent.
    [[nodiscard]] std::shared_ptr<AppListItemEntity> parent() const;
    /// Stores the parent; none stores a null.
    void setParent(const std::shared_ptr<AppListItemEntity>& parent);
    /// The linked component, "component"; none when absent.
    [[nodiscard]] std::shared_ptr<ComponentEntity> component() const;
    /// Stores the component; none stores a null.
    void setComponent(const std::shared_ptr<ComponentEntity>& component);

    /// "type", trimmed and upper-cased; a main product for unknown text or none.
    [[nodiscard]] AppListItemType type() const;
    /// Stores the type's raw value.
    void setType(AppListItemType type);

    /// Main product: the component's generic name (empty without one); otherwise "label", trimmed.
    [[nodiscard]] std::string label() const;
    /// Stores `label` under "label".
    void setLabel(const std::string& label);
    /// Main product: the component's description; otherwise "description", trimmed.
    [[nodiscard]] std::string desc() const;
    /// Stores `desc` under "description".
    void setDesc(const std::string& desc);
    /// Main product: the component's thumbnail key; otherwise "imagePath", trimmed, none when blank.
    [[nodiscard]] std::optional<std::string> imagePath() const;
    /// Stores `path` under "imagePath"; none stores a null.
    void setImagePath(const std::optional<std::string>& path);

    /// "enabled"; true by default.
    [[nodiscard]] bool enabled() const;
    /// Stores `enabled`.
    void setEnabled(bool enabled);
    /// "showPreview"; true by default.
    [[nodiscard]] bool showPreview() const;
    /// Stores `showPreview`.
    void setShowPreview(bool showPreview);
    /// "textColor" read as hexadecimal colour text; none when absent or blank.
    [[nodiscard]] std::optional<UIColor> textColor() const;
    /// Stores the colour as "#RRGGBB" (alpha is not kept); none stores a null.
    void setTextColor(const std::optional<UIColor>& color);
    /// The position in the list, "index"; 0 by default.
    [[nodiscard]] std::int64_t index() const;
    /// Stores `index`.
    void setIndex(std::int64_t index);
    /// "automaticDownloadingVariances"; false by default.
    [[nodiscard]] bool automaticDownloadingVariances() const;
    /// Stores `automatic`.
    void setAutomaticDownloadingVariances(bool automatic);

    /// True when `type` is overlayImage.
    [[nodiscard]] bool isOverlayImage() const;
    /// True when `type` is navigationItem.
    [[nodiscard]] bool isNavigationItem() const;
    /// True when `type` is mainProduct.
    [[nodiscard]] bool isMainProduct() const;

    /// True when `imagePath` holds something.
    [[nodiscard]] bool isImageExist() const;
    /// Fetches the image's bytes through the file cache, downloading when needed; without an
    /// image the block runs at once with neither bytes nor error.
    void obtainImageData(ImageDataBlock block) const;

    /// None for a main product (its files are the component's); otherwise the image, if any.
    [[nodiscard]] std::vector<std::string> cachedFileKeys() const override;
};

}  // namespace vantrel

#pragma GCC visibility pop
