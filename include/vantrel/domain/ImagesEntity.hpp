#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

/// One picture of a component in four resolutions, each an image file key.
class ImagesFrameEntity : public EmbeddedRecord<ImagesFrameEntity> {
public:
    /// "original", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> original() const;
    /// Stores `key` under "original"; none removes the key.
    void setOriginal(const std::optional<std::string>& key);
    /// "small", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> small() const;
    /// Stores `key` under "small"; none removes the key.
    void setSmall(const std::optional<std::string>& key);
    /// "medium", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> medium() const;
    /// Stores `key` under "medium"; none removes the key.
    void setMedium(const std::optional<std::string>& key);
    /// "large", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> large() const;
    /// Stores `key` under "large"; none removes the key.
    void setLarge(const std::optional<std::string>& key);

private:
    void store(const std::string& key, const std::optional<std::string>& fileKey);
};

/// A turn-around sequence of a component in four resolutions, each a list of image file keys.
class ImagesFrame360Entity : public EmbeddedRecord<ImagesFrame360Entity> {
public:
    /// "original"; empty when absent.
    [[nodiscard]] std::vector<std::string> original() const;
    /// Stores `keys` under "original".
    void setOriginal(const std::vector<std::string>& keys);
    /// "small"; empty when absent.
    [[nodiscard]] std::vector<std::string> small() const;
    /// Stores `keys` under "small".
    void setSmall(const std::vector<std::string>& keys);
    /// "medium"; empty when absent.
    [[nodiscard]] std::vector<std::string> medium() const;
    /// Stores `keys` under "medium".
    void setMedium(const std::vector<std::string>& keys);
    /// "large"; empty when absent.
    [[nodiscard]] std::vector<std::string> large() const;
    /// Stores `keys` under "large".
    void setLarge(const std::vector<std::string>& keys);
};

/// A component's pictures, from its "images": a still frame and a turn-around sequence.
///
/// The getters return new records over copies of the nested dictionaries; to change a picture,
/// change the returned record and store it back with the setter.
class ImagesEntity : public EmbeddedRecord<ImagesEntity> {
public:
    /// "frame"; an empty frame when absent or not a dictionary.
    [[nodiscard]] std::shared_ptr<ImagesFrameEntity> frame() const;
    /// Stores the frame's whole dictionary under "frame" (an empty one for none).
    void setFrame(const std::shared_ptr<ImagesFrameEntity>& frame);
    /// "frame360"; an empty sequence when absent or not a dictionary.
    [[nodiscard]] std::shared_ptr<ImagesFrame360Entity> frame360() const;
    /// Stores the sequence's whole dictionary under "frame360" (an empty one for none).
    void setFrame360(const std::shared_ptr<ImagesFrame360Entity>& frame360);
};

}  // namespace vantrel

#pragma GCC visibility pop
