// Camera calibration: computed from pictures of a ChArUco board, written and read in OpenCV's format.

#include "vantrel/adapters/ARCameraCalibration.hpp"

#include <gtest/gtest.h>

#include "ArTestSupport.hpp"

namespace vantrel {
namespace {

ARMarkerBoard calibrationBoard() { return ar_test::charucoBoard(5, 7, 0.05f, 0.0375f); }

// Views for a calibration, as a person takes them: from all round and from steep to flat, the
// board in different parts of the picture, the camera held a little askew.
std::vector<glm::mat4> calibrationViews(int count) {
    std::vector<glm::mat4> views;
    for (int i = 0; i < count; ++i) {
        const double azimuth = glm::radians(-60.0 + 120.0 * i / std::max(1, count - 1));
        const double elevation = glm::radians(35.0 + (i * 17) % 45);
        const double distance = 0.38 + 0.05 * (i % 3);
        const glm::vec3 eye(static_cast<float>(distance * std::cos(elevation) * std::sin(azimuth)),
                            static_cast<float>(distance * std::sin(elevation)),
                            static_cast<float>(distance * std::cos(elevation) * std::cos(azimuth)));
        const glm::vec3 target(0.04f * static_cast<float>(i % 3 - 1), 0.0f,
                               0.04f * static_cast<float>((i / 3) % 3 - 1));
        const glm::mat4 pose = glm::inverse(glm::lookAt(eye, target, glm::vec3(0.0f, 1.0f, 0.0f)));
        views.push_back(pose * glm::rotate(glm::mat4(1.0f), glm::radians(12.0f * static_cast<float>(i % 5 - 2)),
                                           glm::vec3(0.0f, 0.0f, 1.0f)));
    }
    return views;
}

TEST(ARCameraCalibrationTest, PicturesOfAChArUcoBoardGiveTheCamerasFocalLengthWithinAFewPercent) {
    // Our renderer's camera: 60° vertical field of view, square pixels, centred.
    constexpr double kFocal = 240.0 / 0.57735026918962576;  // 240 / tan 30°
    ar_test::BoardStage stage(640, 480, calibrationBoard());
    std::vector<std::shared_ptr<UIImage>> pictures;
    for (const auto& view : calibrationViews(14)) pictures.push_back(stage.shoot(view));
    pictures.push_back(UIImage::filled(UIColor(0.5, 0.5, 0.5), 640, 480));  // a picture without the board
    const auto calibration = ARCameraCalibration::fromPictures(calibrationBoard(), pictures);
    ASSERT_TRUE(calibration.hasValue()) << calibration.error().description();
    const glm::mat3& k = calibration->intrinsics;
    std::cout << "calibrated from " << calibration->picturesUsed << " pictures: fx " << k[0][0] << " fy " << k[1][1]
              << " cx " << k[2][0] << " cy " << k[2][1] << " (true focal " << kFocal << "), reprojection error "
              << calibration->reprojectionError << " px\n";
    EXPECT_GE(calibration->picturesUsed, 12u);
    EXPECT_NEAR(k[0][0] / kFocal, 1.0, 0.03);
    EXPECT_NEAR(k[1][1] / kFocal, 1.0, 0.03);
    EXPECT_NEAR(k[2][0], 320.0, 10.0);
    EXPECT_NEAR(k[2][1], 240.0, 10.0);
    EXPECT_LT(calibration->reprojectionError, 1.0);
    EXPECT_EQ(calibration->imageSize.width, 640);
    EXPECT_EQ(calibration->imageSize.height, 480);

    // Written and read back as a marker session's camera.
    const auto file = ar_test::outputFolder("calibration-files") / "rendered-camera.yml";
    ASSERT_FALSE(calibration->write(file).has_value());
    const auto options = ARMarkerSession::Options::fromCalibrationFile(file);
    ASSERT_TRUE(options.hasValue()) << options.error().description();
    ASSERT_TRUE(options->intrinsics.has_value());
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) EXPECT_NEAR((*options->intrinsics)[c][r], k[c][r], 1e-3) << c << r;
    }
    EXPECT_EQ(options->distortion.size(), calibration->distortion.size());
    ASSERT_TRUE(options->calibrationSize.has_value());
    EXPECT_EQ(options->calibrationSize->width, 640);
    const auto reread = ARCameraCalibration::read(file);
    ASSERT_TRUE(reread.hasValue());
    EXPECT_NEAR(reread->reprojectionError, calibration->reprojectionError, 1e-9);
}

TEST(ARCameraCalibrationTest, TooFewPicturesOfTheBoardOrAGridBoardCalibrateNothing) {
    ar_test::BoardStage stage(640, 480, calibrationBoard());
    const auto views = calibrationViews(2);
    std::vector<std::shared_ptr<UIImage>> pictures{stage.shoot(views[0]), stage.shoot(views[1]),
                                                   UIImage::filled(UIColor(0.5, 0.5, 0.5), 640, 480), nullptr};
    const auto few = ARCameraCalibration::fromPictures(calibrationBoard(), pictures);
    ASSERT_FALSE(few.hasValue());
    EXPECT_EQ(few.error().code, static_cast<long>(ARSessionErrorCode::calibrationFailed));
    EXPECT_NE(few.error().message.find("2 of 4"), std::string::npos) << few.error().message;
    const auto grid = ARCameraCalibration::fromPictures(ARMarkerBoard{}, pictures);
    ASSERT_FALSE(grid.hasValue());
    EXPECT_EQ(grid.error().code, static_cast<long>(ARSessionErrorCode::unsupportedConfiguration));
}

TEST(ARCameraCalibrationTest, OpenCVsCalibrationFilesGiveTheSessionsCameraModel) {
    const auto real = test::sourceDirectory() / "tests/data/ar/real";
    const auto webcam = ARMarkerSession::Options::fromCalibrationFile(real / "tutorial_camera_params.yml");
    ASSERT_TRUE(webcam.hasValue()) << webcam.error().description();
    ASSERT_TRUE(webcam->intrinsics.has_value());
    EXPECT_NEAR((*webcam->intrinsics)[0][0], 628.158, 1e-3);
    EXPECT_NEAR((*webcam->intrinsics)[1][1], 628.156, 1e-3);
    EXPECT_NEAR((*webcam->intrinsics)[2][0], 324.099, 1e-3);
    EXPECT_NEAR((*webcam->intrinsics)[2][1], 260.908, 1e-3);
    EXPECT_EQ(webcam->distortion, (std::vector<double>{0.0995485, -0.206384, 0.00754589, 0.00336531, 0.0}));
    EXPECT_FALSE(webcam->calibrationSize.has_value());

    // A camera calibrated at 640 × 480 seeing frames of 320 × 240: the model is halved.
    auto options = ARMarkerSession::Options::fromCalibrationFile(real / "tutorial_camera_charuco.yml");
    ASSERT_TRUE(options.hasValue()) << options.error().description();
    ASSERT_TRUE(options->calibrationSize.has_value());
    EXPECT_EQ(options->calibrationSize->width, 640);
    EXPECT_EQ(options->calibrationSize->height, 480);
    const glm::mat3 measured = *options->intrinsics;
    ARMarkerSession session(*options);
    session.runWithConfiguration({});
    session.processImage(UIImage::filled(UIColor(0.5, 0.5, 0.5), 320, 240), 0.0);
    const glm::mat3 used = session.currentFrame()->camera.intrinsics;
    EXPECT_NEAR(used[0][0], measured[0][0] / 2, 1e-3);
    EXPECT_NEAR(used[1][1], measured[1][1] / 2, 1e-3);
    EXPECT_NEAR(used[2][0], measured[2][0] / 2, 1e-3);
    EXPECT_NEAR(used[2][1], measured[2][1] / 2, 1e-3);
    session.processImage(UIImage::filled(UIColor(0.5, 0.5, 0.5), 640, 480), 0.1);
    EXPECT_EQ(session.currentFrame()->camera.intrinsics, measured);
}

TEST(ARCameraCalibrationTest, CalibrationFilesThatCannotBeUsedAreTypedErrors) {
    const std::string matrix = "camera_matrix: !!opencv-matrix\n   rows: 3\n   cols: 3\n   dt: d\n";
    const std::string good = "%YAML:1.0\n" + matrix + "   data: [ 500., 0., 320., 0., 500., 240., 0., 0., 1. ]\n";
    const ar_test::UnusableFile cases[] = {
        {"missing.yml", std::nullopt, ARSessionErrorCode::fileUnreadable},
        {"not-yaml.yml", "camera: {{{ [", ARSessionErrorCode::fileMalformed},
        {"plain-text.yml", "a camera, calibrated last week\n", ARSessionErrorCode::fileMalformed},
        {"no-matrix.yml", "%YAML:1.0\nimage_width: 640\n", ARSessionErrorCode::fileMalformed},
        {"two-by-three.yml",
         "%YAML:1.0\ncamera_matrix: !!opencv-matrix\n   rows: 2\n   cols: 3\n   dt: d\n   data: [ 1., 0., 2., 0., 1., "
         "3. ]\n",
         ARSessionErrorCode::fileMalformed},
        {"too-few-numbers.yml", "%YAML:1.0\n" + matrix + "   data: [ 500., 0., 320. ]\n",
         ARSessionErrorCode::fileMalformed},
        {"not-finite.yml", "%YAML:1.0\n" + matrix + "   data: [ .nan, 0., 320., 0., 500., 240., 0., 0., 1. ]\n",
         ARSessionErrorCode::fileMalformed},
        {"infinite.yml", "%YAML:1.0\n" + matrix + "   data: [ 500., 0., .inf, 0., 500., 240., 0., 0., 1. ]\n",
         ARSessionErrorCode::fileMalformed},
        {"negative-focal.yml", "%YAML:1.0\n" + matrix + "   data: [ -500., 0., 320., 0., 500., 240., 0., 0., 1. ]\n",
         ARSessionErrorCode::fileMalformed},
        {"three-coefficients.yml",
         good +
             "distortion_coefficients: !!opencv-matrix\n   rows: 1\n   cols: 3\n   dt: d\n   data: [ 0.1, 0.2, 0.3 ]\n",
         ARSessionErrorCode::fileMalformed},
        {"coefficient-not-finite.yml",
         good + "distortion_coefficients: !!opencv-matrix\n   rows: 4\n   cols: 1\n   dt: d\n   data: [ 0.1, .nan, 0., "
                "0. ]\n",
         ARSessionErrorCode::fileMalformed},
        {"width-only.yml", good + "image_width: 640\n", ARSessionErrorCode::fileMalformed},
        {"size-in-words.yml", good + "image_width: wide\nimage_height: 480\n", ARSessionErrorCode::fileMalformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = c.path("calibration-files");
        const auto options = ARMarkerSession::Options::fromCalibrationFile(path);
        ASSERT_FALSE(options.hasValue());
        EXPECT_EQ(options.error().domain, ARSession::errorDomain);
        EXPECT_EQ(options.error().code, static_cast<long>(c.code)) << options.error().message;
    }
    const auto fine =
        ARMarkerSession::Options::fromCalibrationFile(ar_test::writeText("calibration-files", "good.yml", good));
    ASSERT_TRUE(fine.hasValue()) << fine.error().description();
    EXPECT_TRUE(fine->distortion.empty());

    ARCameraCalibration calibration;
    const auto error = calibration.write(ar_test::outputFolder() / "no-such-folder" / "camera.yml");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, static_cast<long>(ARSessionErrorCode::fileUnwritable));
}

}  // namespace
}  // namespace vantrel
