#pragma once

// The steps of the demo, each a small function over the library's public API. Every step reports
// what it produced; a failed step ends the road with its error and the summary says how far it got.

#include <vantrel/vantrel.hpp>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace demo {

struct DemoOptions {
    std::filesystem::path outputDirectory = "demo-output";
    std::string email = "emma.employee@nordhaven.test";
    std::string password = "emma-password-1";
    bool debugLogging = false;
    int pictureWidth = 1280;
    int pictureHeight = 720;
    /// A recorded AR session to replay (a folder with session.json and its frames).
    std::filesystem::path arSession = "tests/data/ar/board-walk";
};

class DemoRoad {
public:
    explicit DemoRoad(DemoOptions options);

    /// Runs every step in order; 0 when all succeeded.
    int run();
    /// Prints what each step produced and where its files are.
    void printSummary() const;

private:
    bool signIn();
    bool listCatalogue();
    bool loadModels();
    bool placeAndDock();
    bool recolour();
    bool takePictures();
    bool placeInRecordedAr();
    bool saveConcept();
    bool renderOrder();

    void frameModels(const std::vector<std::shared_ptr<vantrel::ModelNode>>& models, double widthShare);

    bool fail(const std::string& step, const std::string& why);
    void note(const std::string& what, const std::string& where = {});
    std::shared_ptr<vantrel::ComponentEntity> componentByProductNumber(const std::string& productNumber) const;

    DemoOptions options_;
    std::vector<std::shared_ptr<vantrel::ComponentEntity>> components_;
    std::vector<std::shared_ptr<vantrel::ModelNode>> models_;
    std::shared_ptr<vantrel::SCNView> view_;
    std::shared_ptr<vantrel::CanvasAdapter> canvas_;
    std::string userId_;
    std::vector<std::tuple<std::size_t, std::string, std::string>> assignedMaterials_;  // model, tag, material id
    std::shared_ptr<vantrel::ConceptEntity> concept_;
    std::vector<std::pair<std::string, std::string>> outputs_;
    std::optional<std::string> failure_;
};

}  // namespace demo
