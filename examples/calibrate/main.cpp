// Calibrates a webcam for the marker session: print a ChArUco board, take 10 to 30 pictures of it
// from different angles (some tilted, the board filling a good part of each), and this writes the
// camera's calibration in OpenCV's YAML format, which ARMarkerSession::Options::fromCalibrationFile
// reads.
//
//   vantrel_calibrate --print board.png                          the board to print (A4 at 300 dpi)
//   vantrel_calibrate --out camera.yml picture1.jpg picture2.jpg ...
//   vantrel_calibrate --out camera.yml --camera 0 [--pictures 20]
//
// The board is 5 × 7 squares of 35 mm with 26 mm markers of dictionary 10 (6 × 6 bits) unless
// --squares WxH, --square-length M, --marker-length M or --dictionary N say otherwise; the lengths
// only scale the board, the calibration does not depend on them.

#include <vantrel/vantrel.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vantrel_calibrate --print board.png\n"
                 "       vantrel_calibrate --out camera.yml (picture ... | --camera N [--pictures K])\n"
                 "       board: [--squares WxH] [--square-length M] [--marker-length M] [--dictionary N]\n");
    return 2;
}

// Pictures from camera `index`: every tenth frame in which the whole board is tracked, until `count`.
std::vector<std::shared_ptr<vantrel::UIImage>> picturesFromCamera(const vantrel::ARMarkerBoard& board, int index,
                                                                  int count) {
    vantrel::ARMarkerSession::Options options;
    options.board = board;
    options.smoothPose = false;
    vantrel::ARMarkerSession session(options);
    std::vector<std::shared_ptr<vantrel::UIImage>> pictures;
    if (const auto error = session.openCamera(index)) {
        std::fprintf(stderr, "%s\n", error->description().c_str());
        return pictures;
    }
    session.runWithConfiguration({});
    std::fprintf(stderr, "move the board (or the camera) slowly; taking %d pictures\n", count);
    for (int frame = 0; static_cast<int>(pictures.size()) < count && session.advance(); ++frame) {
        const auto& current = session.currentFrame();
        if (frame % 10 != 0 || current->camera.trackingState != vantrel::ARTrackingState::normal) continue;
        pictures.push_back(current->capturedImage);
        std::fprintf(stderr, "\rpicture %zu of %d", pictures.size(), count);
    }
    std::fprintf(stderr, "\n");
    return pictures;
}

}  // namespace

int main(int argc, char** argv) {
    vantrel::ARMarkerBoard board;
    board.kind = vantrel::ARMarkerBoardKind::charuco;
    board.markersX = 5;
    board.markersY = 7;
    board.squareLength = 0.035f;  // with its margin, the board fits on A4
    board.markerLength = 0.026f;
    board.dictionary = 10;
    std::filesystem::path out;
    std::filesystem::path print;
    std::vector<std::filesystem::path> files;
    int camera = -1;
    int count = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue)
            out = argv[++i];
        else if (arg == "--print" && hasValue)
            print = argv[++i];
        else if (arg == "--camera" && hasValue)
            camera = std::atoi(argv[++i]);
        else if (arg == "--pictures" && hasValue)
            count = std::max(4, std::atoi(argv[++i]));
        else if (arg == "--squares" && hasValue &&
                 std::sscanf(argv[++i], "%dx%d", &board.markersX, &board.markersY) == 2)
            continue;
        else if (arg == "--square-length" && hasValue)
            board.squareLength = std::strtof(argv[++i], nullptr);
        else if (arg == "--marker-length" && hasValue)
            board.markerLength = std::strtof(argv[++i], nullptr);
        else if (arg == "--dictionary" && hasValue)
            board.dictionary = std::atoi(argv[++i]);
        else if (!arg.starts_with("--"))
            files.emplace_back(arg);
        else
            return usage();
    }
    if (const auto error = board.check()) {
        std::fprintf(stderr, "%s\n", error->description().c_str());
        return 1;
    }
    if (!print.empty()) {
        const auto picture = board.image(300.0 / 0.0254, 0.01);  // 300 dots per inch
        const auto error = picture ? vantrel::writePNG(*picture, print) : std::optional<vantrel::Error>{};
        if (!picture || error) {
            std::fprintf(stderr, "cannot write %s\n", print.string().c_str());
            return 1;
        }
        std::printf("wrote %s: print it at 300 dpi, unscaled\n", print.string().c_str());
        return 0;
    }
    if (out.empty() || (files.empty() && camera < 0)) return usage();

    std::vector<std::shared_ptr<vantrel::UIImage>> pictures;
    for (const auto& file : files) {
        auto picture = vantrel::UIImage::fromFile(file);
        if (!picture) std::fprintf(stderr, "skipping %s: not a picture\n", file.string().c_str());
        pictures.push_back(std::move(picture));
    }
    if (camera >= 0) {
        pictures = picturesFromCamera(board, camera, count);
        if (pictures.empty()) return 1;
    }

    const auto calibration = vantrel::ARCameraCalibration::fromPictures(board, pictures);
    if (!calibration) {
        std::fprintf(stderr, "%s\n", calibration.error().description().c_str());
        return 1;
    }
    if (const auto error = calibration->write(out)) {
        std::fprintf(stderr, "%s\n", error->description().c_str());
        return 1;
    }
    const auto& k = calibration->intrinsics;
    std::printf("wrote %s from %zu pictures: fx %.1f fy %.1f cx %.1f cy %.1f, reprojection error %.3f px\n",
                out.string().c_str(), calibration->picturesUsed, k[0][0], k[1][1], k[2][0], k[2][1],
                calibration->reprojectionError);
    return 0;
}
