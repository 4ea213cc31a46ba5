#pragma once

// The demo's picture set-up: a studio of lights, a floor and a camera around the arranged models,
// and the views that write the pictures. The canvas adapter will own this set-up; until then the
// demo builds it from the scene graph directly.

#include <vantrel/graph/SCNNode.hpp>
#include <vantrel/graph/SCNScene.hpp>
#include <vantrel/graph/UIColor.hpp>
#include <vantrel/render/SCNView.hpp>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace demo {

/// A lighting mood of the studio: background, light colours and strengths.
struct StudioMood {
    std::string name;
    vantrel::UIColor background;
    vantrel::UIColor keyColor;
    double keyIntensity;
    double fillIntensity;
    double ambientIntensity;
};

class DemoStudio {
public:
    /// Adds lights, a floor and a camera framing what `scene` holds now; pictures of width × height.
    DemoStudio(std::shared_ptr<vantrel::SCNScene> scene, int width, int height);

    /// Switches the lights and background to `mood`.
    void apply(const StudioMood& mood);
    /// Shows or hides the floor.
    void setFloorShown(bool shown);
    /// Turns the glow technique on or off for the next pictures; an error text when it cannot load.
    std::optional<std::string> setGlow(bool on, const vantrel::UIColor& color);
    /// Writes the current picture; an error text on failure.
    std::optional<std::string> write(const std::filesystem::path& file);

    /// The moods the demo shows.
    static const std::vector<StudioMood>& moods();

private:
    std::shared_ptr<vantrel::SCNScene> scene_;
    std::shared_ptr<vantrel::SCNNode> key_, fill_, ambient_, floor_, camera_;
    vantrel::SCNView view_;
};

}  // namespace demo
