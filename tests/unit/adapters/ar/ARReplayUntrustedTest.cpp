// Recordings are files from outside: numbers, pictures and memory under hostile or merely long ones.

#include "vantrel/adapters/ARReplaySession.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ArTestSupport.hpp"
#include "unit/materials/TestImages.hpp"

namespace vantrel {
namespace {

using nlohmann::json;

json frameAt(double time, json extra = json::object(), int width = 320, int height = 240) {
    json frame{{"timestamp", time},
               {"camera",
                {{"transform", ar_test::numbers(glm::mat4(1.0f))},
                 {"intrinsics", ar_test::numbers(ARCamera::intrinsicsFor(CGSize(width, height), 60.0))},
                 {"imageResolution", {width, height}}}}};
    if (extra.is_object()) frame.update(extra);
    return frame;
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> picture(int width, int height) {
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(width * height * 3), 90);
    return test::encodePng(width, height, 3, 8, samples);
}

// Opens a one-frame recording whose frame is `frame` and whose pictures are `files`; the error.
Error refusal(const std::string& name, const json& frame,
              const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files = {}) {
    const auto directory = ar_test::writeRecording(ar_test::outputFolder("untrusted") / name, json::array({frame}));
    for (const auto& [file, bytes] : files) writeBytes(directory / file, bytes);
    const auto opened = ARReplaySession::open(directory);
    EXPECT_FALSE(opened.hasValue()) << name;
    return opened ? Error() : opened.error();
}

struct FailureLog final : ARSessionObserver {
    std::vector<Error> failures;
    std::size_t frames = 0;
    void session(ARSession&, const std::shared_ptr<ARFrame>&) override { ++frames; }
    void sessionDidFailWithError(ARSession&, const Error& error) override { failures.push_back(error); }
};

TEST(ARReplayUntrustedTest, NumbersThatAreNotFiniteOrOutOfBoundsAreRefusedAtOpen) {
    auto pose = ar_test::numbers(glm::mat4(1.0f));
    pose[12] = 1e39;  // beyond float: an infinite position
    auto intrinsics = ar_test::numbers(ARCamera::intrinsicsFor(CGSize(320, 240), 60.0));
    intrinsics[6] = 1e30;
    auto flat = intrinsics;
    flat[0] = 0;
    const struct {
        const char* name;
        json frame;
        const char* mentioned;
    } cases[] = {
        {"pose", frameAt(0, {{"camera", {{"transform", pose}}}}), "camera transform"},
        {"intrinsics", frameAt(0, {{"camera", {{"intrinsics", intrinsics}}}}), "camera intrinsics"},
        {"no-focal-length", frameAt(0, {{"camera", {{"intrinsics", flat}}}}), "focal"},
        {"huge-resolution", frameAt(0, {}, 100000, 240), "image width"},
        {"negative-resolution", frameAt(0, {}, -320, 240), "imageResolution"},
        {"fractional-resolution", frameAt(0, {{"camera", {{"imageResolution", {320.5, 240}}}}}), "whole"},
        {"timestamp", frameAt(1e300), "timestamp"},
        {"light", frameAt(0, {{"lightEstimate", {{"ambientIntensity", -5}}}}), "light"},
        {"temperature", frameAt(0, {{"lightEstimate", {{"ambientIntensity", 1000}, {"ambientColorTemperature", 1e20}}}}),
         "colour temperature"},
        {"feature-point", frameAt(0, {{"featurePoints", {{0, 1e39, 0}}}}), "feature point"},
        {"anchor",
         frameAt(0, {{"addedAnchors", {{{"identifier", "a"}, {"transform", pose}}}}}), "anchor transform"},
        {"plane-extent",
         frameAt(0, {{"addedAnchors",
                      {{{"identifier", "p"},
                        {"transform", ar_test::numbers(glm::mat4(1.0f))},
                        {"plane", {{"alignment", "horizontal"}, {"center", {0, 0, 0}}, {"extent", {-1, 0, 1}}}}}}}}),
         "extent"},
        {"text-for-number", frameAt(0, {{"timestamp", "0"}}), "timestamp"},
    };
    // The camera member of `extra` replaces the whole camera: fill in what the case leaves out.
    for (const auto& c : cases) {
        json frame = c.frame;
        const json defaults = frameAt(0)["camera"];
        for (const auto& [key, value] : defaults.items()) {
            if (!frame["camera"].contains(key)) frame["camera"][key] = value;
        }
        const Error error = refusal(c.name, frame);
        EXPECT_EQ(error.code, static_cast<long>(ARSessionErrorCode::fileMalformed)) << c.name;
        EXPECT_NE(error.message.find(c.mentioned), std::string::npos) << c.name << ": " << error.message;
    }
}

TEST(ARReplayUntrustedTest, AVersionOfAnyNumberOrKindIsComparedWithoutConversion) {
    // Found by fuzzing: a version beyond an int's range was converted to one (undefined behaviour).
    for (const json& version : {json(1e65), json(-1e300), json(4294967297LL), json("1"), json(nullptr)}) {
        const auto directory = ar_test::outputFolder("untrusted") / "version";
        std::filesystem::create_directories(directory);
        std::ofstream(directory / "session.json")
            << json{{"format", "vantrel-ar-session"}, {"version", version}, {"frames", json::array({frameAt(0)})}}
                   .dump();
        const auto opened = ARReplaySession::open(directory);
        ASSERT_FALSE(opened.hasValue()) << version.dump();
        EXPECT_EQ(opened.error().code, static_cast<long>(ARSessionErrorCode::fileMalformed)) << version.dump();
    }
}

TEST(ARReplayUntrustedTest, PicturesMustBeWholePngOrJpegOfTheCameraResolution) {
    const auto png = picture(320, 240);
    const std::vector<std::uint8_t> gif{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'};
    const auto webp = test::encodeWebp(320, 240, std::vector<std::uint8_t>(320 * 240 * 4, 70), true);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* mentioned;
    } cases[] = {
        {"cut-png", std::vector<std::uint8_t>(png.begin(), png.end() - 30), "cut short"},
        {"gif", gif, "GIF"},
        {"webp", webp, "PNG or JPEG"},
        {"other-size", picture(160, 120), "resolution"},
    };
    for (const auto& c : cases) {
        const Error error = refusal(c.name, frameAt(0, {{"image", "frames/0.img"}}), {{"frames/0.img", c.bytes}});
        EXPECT_EQ(error.code, static_cast<long>(ARSessionErrorCode::fileMalformed)) << c.name;
        EXPECT_NE(error.message.find(c.mentioned), std::string::npos) << c.name << ": " << error.message;
    }

    const auto directory = ar_test::writeRecording(ar_test::outputFolder("untrusted") / "whole",
                                                   json::array({frameAt(0, {{"image", "frames/0.png"}})}));
    writeBytes(directory / "frames/0.png", png);
    const auto opened = ARReplaySession::open(directory);
    ASSERT_TRUE(opened.hasValue()) << opened.error().description();
}

TEST(ARReplayUntrustedTest, APictureDamagedAfterOpeningFailsTheSessionInsteadOfPlayingBlank) {
    const auto png = picture(320, 240);
    const auto directory = ar_test::writeRecording(
        ar_test::outputFolder("untrusted") / "damaged-later",
        json::array({frameAt(0, {{"image", "frames/0.png"}}), frameAt(0.1, {{"image", "frames/1.png"}})}));
    writeBytes(directory / "frames/0.png", png);
    writeBytes(directory / "frames/1.png", png);
    const auto opened = ARReplaySession::open(directory);
    ASSERT_TRUE(opened.hasValue()) << opened.error().description();
    const auto& session = *opened;
    auto log = std::make_shared<FailureLog>();
    session->addObserver(log);
    session->runWithConfiguration({});

    ASSERT_TRUE(session->advance());
    ASSERT_NE(session->currentFrame()->capturedImage, nullptr);
    EXPECT_EQ(session->currentFrame()->capturedImage->rgba()[0], 90);

    // Whole as far as its chunks go, but the compressed pixels are garbage.
    auto damaged = png;
    for (std::size_t i = 60; i < damaged.size() - 40; ++i) damaged[i] = static_cast<std::uint8_t>(i * 7);
    writeBytes(directory / "frames/1.png", damaged);
    EXPECT_FALSE(session->advance());
    EXPECT_EQ(log->frames, 1u) << "no blank frame";
    ASSERT_EQ(log->failures.size(), 1u);
    EXPECT_EQ(log->failures[0].code, static_cast<long>(ARSessionErrorCode::fileMalformed));
    EXPECT_NE(log->failures[0].message.find("1.png"), std::string::npos) << log->failures[0].message;
    EXPECT_FALSE(session->isRunning());
}

std::size_t residentKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            std::istringstream in(line.substr(std::string(field).size() + 1));
            std::size_t kib = 0;
            in >> kib;
            return kib;
        }
    }
    return 0;
}

// Kept out of the sanitizer passes: their allocators hold freed memory back.
TEST(ARReplayUntrustedTest, ALongReplayHoldsThePixelsOfAboutOneFrame) {
    constexpr int kWidth = 1920;
    constexpr int kHeight = 1440;
    constexpr int kFrames = 300;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(kWidth * kHeight * 3));
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>((i / 3 % kWidth) / 8);
    const auto jpeg = test::encodeJpegWithLibjpeg(kWidth, kHeight, 3, samples);
    json frames = json::array();
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(frameAt(i / 30.0, {{"image", "frames/" + std::to_string(i) + ".jpg"}}, kWidth, kHeight));
    }
    const auto directory = ar_test::writeRecording(ar_test::outputFolder("untrusted") / "long", frames);
    writeBytes(directory / "frames/0.jpg", jpeg);
    for (int i = 1; i < kFrames; ++i) {
        std::filesystem::copy_file(directory / "frames/0.jpg", directory / ("frames/" + std::to_string(i) + ".jpg"));
    }

    const std::size_t before = residentKiB("VmRSS:");
    const auto opened = ARReplaySession::open(directory);
    ASSERT_TRUE(opened.hasValue()) << opened.error().description();
    const auto& session = *opened;
    session->runWithConfiguration({});
    std::size_t peak = residentKiB("VmRSS:");
    int played = 0;
    while (session->advance()) {
        ++played;
        const auto& image = session->currentFrame()->capturedImage;
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->rgba().size(), std::size_t{kWidth} * kHeight * 4);
        peak = std::max(peak, residentKiB("VmRSS:"));
    }
    EXPECT_EQ(played, kFrames);
    const double grownMiB = static_cast<double>(peak - std::min(peak, before)) / 1024.0;
    RecordProperty("ResidentGrowthMiB", std::to_string(grownMiB));
    RecordProperty("PeakResidentMiB", std::to_string(static_cast<double>(peak) / 1024.0));
    // One frame is 10.5 MiB of RGBA; the file being decoded and the frame still shown make two.
    EXPECT_LT(grownMiB, 100.0) << "resident before " << before / 1024 << " MiB, peak " << peak / 1024 << " MiB";
    EXPECT_LT(peak / 1024, 300u) << "MiB resident at the peak";
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace vantrel
