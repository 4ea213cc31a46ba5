#pragma once

// Shared by the AR platform tests: a marker board drawn by our own renderer from a known camera
// path, recordings written by hand, an output folder for pictures.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "support/ModelArchives.hpp"
#include "support/TestPaths.hpp"
#include "vantrel/adapters/ARMarkerSession.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNPlane.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/render/SCNView.hpp"

namespace vantrel::ar_test {

/// A folder for the pictures and recordings the tests write; look at them.
inline std::filesystem::path outputFolder(const std::string& name = {}) {
    auto folder = vantrel::test::binaryDirectory() / "test-output" / "ar";
    if (!name.empty()) folder /= name;
    std::filesystem::create_directories(folder);
    return folder;
}

/// The committed recording of the board seen along `cameraPath` (6 frames, 320×240 JPEG).
inline std::filesystem::path boardRecording() { return vantrel::test::sourceDirectory() / "tests/data/ar/board-walk"; }

constexpr double kMargin = 0.02;  // white border around the printed grid, metres

/// World from camera for a camera on a circle around the board, looking at its centre.
inline glm::mat4 cameraPose(double degrees, double radius = 0.5, double height = 0.4) {
    const double a = degrees * M_PI / 180.0;
    const glm::vec3 eye(static_cast<float>(radius * std::sin(a)), static_cast<float>(height),
                        static_cast<float>(radius * std::cos(a)));
    return glm::inverse(glm::lookAt(eye, glm::vec3(0.0f, 0.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f)));
}

/// The known camera path of the marker tests: six stops from 40° left to 35° right.
inline std::vector<glm::mat4> cameraPath() {
    std::vector<glm::mat4> poses;
    for (int i = 0; i < 6; ++i) poses.push_back(cameraPose(-40.0 + 15.0 * i, 0.45 + 0.02 * i, 0.35 + 0.02 * i));
    return poses;
}

/// A printed board lying on the floor (as a marker session's world puts it), drawn unlit, seen by a
/// camera of 60° vertical field of view.
struct BoardStage {
    ARMarkerBoard board;
    std::shared_ptr<SCNScene> scene = SCNScene::make();
    std::shared_ptr<SCNNode> camera = SCNNode::make();
    std::unique_ptr<SCNView> view;

    BoardStage(double width, double height, ARMarkerBoard printedBoard = {})
        : board(std::move(printedBoard)), view(std::make_unique<SCNView>(CGRect(0, 0, width, height))) {
        const CGSize grid = board.size();
        auto plane =
            SCNPlane::make(static_cast<float>(grid.width + 2 * kMargin), static_cast<float>(grid.height + 2 * kMargin));
        auto material = SCNMaterial::make();
        material->diffuse().setContents(board.image(4000.0, kMargin));
        material->setLightingModel(SCNLightingModel::constant);
        plane->setFirstMaterial(material);
        auto printed = SCNNode::make(plane);
        printed->setEulerAngles({static_cast<float>(-M_PI / 2), 0.0f, 0.0f});
        scene->rootNode()->addChildNode(printed);
        auto lens = SCNCamera::make();
        lens->setZNear(0.01);
        lens->setZFar(10.0);
        camera->setCamera(lens);
        scene->rootNode()->addChildNode(camera);
        view->setScene(scene);
        view->setPointOfView(camera);
        view->setBackgroundColor(UIColor(0.45, 0.42, 0.40));
    }

    /// The picture the camera takes at `pose`.
    std::shared_ptr<UIImage> shoot(const glm::mat4& pose) {
        camera->setSimdWorldTransform(pose);
        auto picture = view->snapshot();
        return picture ? *picture : nullptr;
    }
};

/// A ChArUco board of `squaresX` × `squaresY` squares.
inline ARMarkerBoard charucoBoard(int squaresX, int squaresY, float squareLength, float markerLength,
                                  int dictionary = 0) {
    ARMarkerBoard board;
    board.kind = ARMarkerBoardKind::charuco;
    board.markersX = squaresX;
    board.markersY = squaresY;
    board.squareLength = squareLength;
    board.markerLength = markerLength;
    board.dictionary = dictionary;
    return board;
}

/// Writes `text` to the file `name` in the output folder `folder`.
inline std::filesystem::path writeText(const std::string& folder, const std::string& name, const std::string& text) {
    const auto path = outputFolder(folder) / name;
    std::ofstream(path) << text;
    return path;
}

/// A file that a session cannot use, and the error code it must give.
struct UnusableFile {
    std::string name;
    std::optional<std::string> text;  ///< Nothing: no such file.
    ARSessionErrorCode code;

    /// The file written into the output folder `folder` (or where no file is).
    [[nodiscard]] std::filesystem::path path(const std::string& folder) const {
        return text ? writeText(folder, name, *text) : outputFolder(folder) / ("missing-" + name);
    }
};

/// A sofa model `width` metres wide whose node's origin is the middle of its underside, so that it
/// stands where the node is put.
inline std::shared_ptr<SCNNode> standingSofa(double width) {
    OptionalError error;
    const auto scene =
        SCNSceneSource::make(test::modelFileOf("GlamVelvetSofa"))->sceneWithOptions(std::nullopt, {}, &error);
    EXPECT_TRUE(scene != nullptr) << (error ? error->description() : "");
    if (scene == nullptr) return SCNNode::make();
    auto model = scene->rootNode();
    const auto box = model->boundingBox();
    const float scale = static_cast<float>(width) / (box.max.x - box.min.x);
    auto holder = SCNNode::make();
    holder->addChildNode(model);
    model->setScale({scale, scale, scale});
    model->setPosition(
        {-scale * (box.min.x + box.max.x) / 2, -scale * box.min.y, -scale * (box.min.z + box.max.z) / 2});
    return holder;
}

/// Writes `frames` as a recording's session.json into `directory` (made fresh).
inline std::filesystem::path writeRecording(const std::filesystem::path& directory, const nlohmann::json& frames) {
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    std::ofstream(directory / "session.json")
        << nlohmann::json{{"format", "vantrel-ar-session"}, {"version", 1}, {"frames", frames}}.dump();
    return directory;
}

/// The JSON numbers of a matrix, column-major.
template <class Matrix>
nlohmann::json numbers(const Matrix& m) {
    nlohmann::json out = nlohmann::json::array();
    for (int c = 0; c < Matrix::length(); ++c) {
        for (int r = 0; r < Matrix::col_type::length(); ++r) out.push_back(m[c][r]);
    }
    return out;
}

}  // namespace vantrel::ar_test
