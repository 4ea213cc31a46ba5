#pragma once

// Reading a model file into a scene on the test's thread, as the loader tests do.

#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace vantrel::loader_test {

/// The scene of `file` at `factor` metres a unit; a test failure (and null) when it cannot be read.
inline std::shared_ptr<SCNScene> load(const std::filesystem::path& file, double factor = 1.0) {
    SCNSceneSourceOptions options;
    options.convertUnitsToMeters = factor;
    OptionalError error;
    auto scene = SCNSceneSource::make(file, options)->sceneWithOptions(std::nullopt, {}, &error);
    EXPECT_TRUE(scene) << (error ? error->description() : "no scene");
    return scene;
}

}  // namespace vantrel::loader_test
