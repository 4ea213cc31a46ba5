// Marker boards: dictionaries from files, ChArUco boards, and boards that cannot be made.

#include <gtest/gtest.h>

#include <glm/gtc/quaternion.hpp>

#include "ArTestSupport.hpp"
#include "vantrel/adapters/ARMarkerSession.hpp"

namespace vantrel {
namespace {

using ar_test::BoardStage;

std::filesystem::path tutorialDictionary() { return test::sourceDirectory() / "tests/data/ar/real/tutorial_dict.yml"; }

struct FailureCounter final : ARSessionObserver {
    std::vector<Error> errors;
    void sessionDidFailWithError(ARSession&, const Error& error) override { errors.push_back(error); }
};

double degreesBetween(const glm::mat4& a, const glm::mat4& b) {
    const glm::quat qa = glm::quat_cast(glm::mat3(a));
    const glm::quat qb = glm::quat_cast(glm::mat3(b));
    return glm::degrees(2.0 * std::acos(std::min(1.0, static_cast<double>(std::abs(glm::dot(qa, qb))))));
}

glm::mat4 trackedPose(const ARMarkerBoard& board, const std::shared_ptr<UIImage>& picture) {
    ARMarkerSession::Options options;
    options.board = board;
    options.intrinsics = ARCamera::intrinsicsFor(CGSize(picture->width(), picture->height()), 60.0);
    ARMarkerSession session(options);
    session.runWithConfiguration({});
    session.processImage(picture, 0.0);
    EXPECT_EQ(session.currentFrame()->camera.trackingState, ARTrackingState::normal);
    return session.currentFrame()->camera.transform;
}

TEST(ARMarkerBoardTest, ABoardFromADictionaryFileIsDrawnAndTrackedWithThatFilesMarkers) {
    ARMarkerBoard board;
    board.markersX = 5;
    board.markersY = 7;
    board.markerLength = 0.04f;
    board.markerSeparation = 0.01f;
    board.dictionaryFile = tutorialDictionary();
    EXPECT_FALSE(board.check().has_value());
    const auto fromFile = board.image(1000.0);
    ASSERT_NE(fromFile, nullptr);
    ARMarkerBoard predefined = board;
    predefined.dictionaryFile.clear();
    predefined.dictionary = 10;  // 6 × 6 bits too, other markers
    EXPECT_NE(fromFile->rgba(), predefined.image(1000.0)->rgba());

    BoardStage stage(640, 480, board);
    const glm::mat4 pose = ar_test::cameraPose(20.0, 0.4, 0.4);
    const glm::mat4 found = trackedPose(board, stage.shoot(pose));
    EXPECT_LT(glm::length(glm::vec3(found[3]) - glm::vec3(pose[3])), 0.005f);
    // A session with the predefined dictionary sees none of these markers.
    ARMarkerSession::Options options;
    options.board = predefined;
    ARMarkerSession blind(options);
    blind.runWithConfiguration({});
    blind.processImage(stage.shoot(pose), 0.0);
    EXPECT_EQ(blind.currentFrame()->camera.trackingState, ARTrackingState::notAvailable);
}

TEST(ARMarkerBoardTest, DictionaryFilesThatCannotBeUsedAreTypedErrorsAndFailTheSessionWhenItRuns) {
    const std::string good =
        "%YAML:1.0\nnmarkers: 2\nmarkersize: 3\nmarker_0: \"101010101\"\nmarker_1: \"110011001\"\n";
    const ar_test::UnusableFile cases[] = {
        {"missing.yml", std::nullopt, ARSessionErrorCode::fileUnreadable},
        {"not-yaml.yml", "this is { not [ yaml", ARSessionErrorCode::fileMalformed},
        {"no-count.yml", "%YAML:1.0\nmarkersize: 3\nmarker_0: \"101010101\"\n", ARSessionErrorCode::fileMalformed},
        {"short-bits.yml", "%YAML:1.0\nnmarkers: 1\nmarkersize: 3\nmarker_0: \"1010\"\n",
         ARSessionErrorCode::fileMalformed},
        {"not-bits.yml", "%YAML:1.0\nnmarkers: 1\nmarkersize: 3\nmarker_0: \"10101010x\"\n",
         ARSessionErrorCode::fileMalformed},
        {"a-marker-missing.yml",
         "%YAML:1.0\nnmarkers: 3\nmarkersize: 3\nmarker_0: \"101010101\"\nmarker_1: \"110011001\"\n",
         ARSessionErrorCode::fileMalformed},
        {"huge-markers.yml", "%YAML:1.0\nnmarkers: 1\nmarkersize: 4000\nmarker_0: \"1\"\n",
         ARSessionErrorCode::fileMalformed},
        // Good markers, but a 4 × 3 grid needs twelve.
        {"too-few.yml", good, ARSessionErrorCode::fileMalformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ARMarkerBoard board;
        board.dictionaryFile = c.path("dictionaries");
        const auto error = board.check();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, ARSession::errorDomain);
        EXPECT_EQ(error->code, static_cast<long>(c.code)) << error->message;
        EXPECT_EQ(board.image(1000.0), nullptr);

        ARMarkerSession::Options options;
        options.board = board;
        auto session = std::make_shared<ARMarkerSession>(options);
        auto failures = std::make_shared<FailureCounter>();
        session->addObserver(failures);
        session->runWithConfiguration({});
        EXPECT_FALSE(session->isRunning());
        ASSERT_EQ(failures->errors.size(), 1u);
        EXPECT_EQ(failures->errors.front().code, static_cast<long>(c.code));
    }
    // The same two markers make a 2 × 1 grid.
    ARMarkerBoard small;
    small.markersX = 2;
    small.markersY = 1;
    small.dictionaryFile = ar_test::writeText("dictionaries", "two.yml", good);
    EXPECT_FALSE(small.check().has_value());
}

TEST(ARMarkerBoardTest, BoardsWhoseSizesMakeNoBoardAreUnsupportedConfigurations) {
    ARMarkerBoard noMarkers;
    noMarkers.markersX = 0;
    ARMarkerBoard tooManyMarkers;  // the first dictionary has 50
    tooManyMarkers.markersX = 10;
    tooManyMarkers.markersY = 10;
    ARMarkerBoard unknownDictionary;
    unknownDictionary.dictionary = 99;
    ARMarkerBoard squaresSmallerThanMarkers;
    squaresSmallerThanMarkers.kind = ARMarkerBoardKind::charuco;
    squaresSmallerThanMarkers.squareLength = 0.05f;
    squaresSmallerThanMarkers.markerLength = 0.06f;
    for (const auto& board : {noMarkers, tooManyMarkers, unknownDictionary, squaresSmallerThanMarkers}) {
        const auto error = board.check();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, static_cast<long>(ARSessionErrorCode::unsupportedConfiguration)) << error->message;
    }
}

// A ChArUco board about as large as the default grid board (0.38 m × 0.28 m), its markers a little
// smaller (0.062 m against 0.08 m).
ARMarkerBoard charucoBoard() { return ar_test::charucoBoard(5, 4, 0.08f, 0.062f); }

TEST(ARMarkerBoardTest, AChArUcoBoardsPoseAgreesWithTheGridBoardsPoseOfTheSameSceneWithinACentimetreAndADegree) {
    BoardStage grid(640, 480);
    BoardStage charuco(640, 480, charucoBoard());
    EXPECT_NEAR(charucoBoard().size().width, 0.40, 1e-6);
    EXPECT_NEAR(charucoBoard().size().height, 0.32, 1e-6);
    double worstCentimetres = 0.0;
    double worstDegrees = 0.0;
    double worstTruthCentimetres = 0.0;
    for (const auto& pose : ar_test::cameraPath()) {
        const glm::mat4 fromGrid = trackedPose(grid.board, grid.shoot(pose));
        const glm::mat4 fromCharuco = trackedPose(charuco.board, charuco.shoot(pose));
        worstCentimetres =
            std::max(worstCentimetres, 100.0 * glm::length(glm::vec3(fromGrid[3]) - glm::vec3(fromCharuco[3])));
        worstDegrees = std::max(worstDegrees, degreesBetween(fromGrid, fromCharuco));
        worstTruthCentimetres =
            std::max(worstTruthCentimetres, 100.0 * glm::length(glm::vec3(fromCharuco[3]) - glm::vec3(pose[3])));
    }
    std::cout << "ChArUco against grid: " << worstCentimetres << " cm, " << worstDegrees
              << "°; ChArUco against the true pose: " << worstTruthCentimetres << " cm\n";
    EXPECT_LT(worstCentimetres, 1.0);
    EXPECT_LT(worstDegrees, 1.0);
    EXPECT_LT(worstTruthCentimetres, 0.5);
}

TEST(ARMarkerBoardTest, AChArUcoBoardsFeaturePointsAreItsChessboardCornersOnTheFloor) {
    BoardStage stage(640, 480, charucoBoard());
    ARMarkerSession::Options options;
    options.board = charucoBoard();
    ARMarkerSession session(options);
    session.runWithConfiguration({});
    const auto picture = stage.shoot(ar_test::cameraPose(0.0));
    ASSERT_FALSE(writePNG(*picture, ar_test::outputFolder() / "charuco-board.png").has_value());
    session.processImage(picture, 0.0);
    const auto& points = session.currentFrame()->rawFeaturePoints;
    ASSERT_FALSE(points.empty());
    EXPECT_LE(points.size(), 12u);  // 4 × 3 inner corners
    for (const auto& p : points) {
        EXPECT_NEAR(p.y, 0.0f, 1e-5f);
        // Inner corners lie on the 0.08 m lattice centred on the board.
        EXPECT_NEAR(std::remainder(p.x - 0.04f, 0.08f), 0.0f, 1e-4f);
        EXPECT_NEAR(std::remainder(p.z, 0.08f), 0.0f, 1e-4f);
    }
}

}  // namespace
}  // namespace vantrel
