#include "adapters/ar/markers/MarkerBoards.hpp"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <vector>

#include <glm/glm.hpp>
#include <opencv2/core.hpp>

namespace vantrel::detail {
namespace {

// Bits of the markers a dictionary file may describe: OpenCV's own dictionaries go from 4 to 7 per
// side, its original one has 5; beyond 10 the byte lists grow without a board that needs them.
constexpr int kLargestMarkerBits = 10;
constexpr int kMostMarkers = 4096;

// The bits of a marker turned by a quarter, `turns` times (row by row, `side` per row).
std::vector<bool> turned(const std::vector<bool>& bits, int side, int turns) {
    std::vector<bool> out = bits;
    for (int t = 0; t < turns; ++t) {
        std::vector<bool> next(out.size());
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                next[static_cast<std::size_t>(x * side + (side - 1 - y))] = out[static_cast<std::size_t>(y * side + x)];
        }
        out = std::move(next);
    }
    return out;
}

// How many bits OpenCV may correct: half the smallest distance between two markers (any turn of
// the second) and between a marker and its own turns, as its predefined dictionaries are made.
int correctableBits(const std::vector<std::vector<bool>>& markers, int side) {
    int smallest = side * side;
    const auto distance = [](const std::vector<bool>& a, const std::vector<bool>& b) {
        int d = 0;
        for (std::size_t i = 0; i < a.size(); ++i) d += a[i] != b[i] ? 1 : 0;
        return d;
    };
    for (std::size_t i = 0; i < markers.size(); ++i) {
        for (int t = 1; t < 4; ++t) smallest = std::min(smallest, distance(markers[i], turned(markers[i], side, t)));
        for (std::size_t j = i + 1; j < markers.size(); ++j) {
            for (int t = 0; t < 4; ++t)
                smallest = std::min(smallest, distance(markers[i], turned(markers[j], side, t)));
        }
    }
    return std::max(0, (smallest - 1) / 2);
}

Expected<cv::Ptr<cv::aruco::Dictionary>> parseDictionary(const cv::FileNode& root, const std::string& name) {
    const auto malformed = [&](const std::string& why) {
        return arError(ARSessionErrorCode::fileMalformed, "dictionary file " + name + ": " + why);
    };
    if (!root["nmarkers"].isInt() || !root["markersize"].isInt()) return malformed("no nmarkers or markersize");
    const int count = static_cast<int>(root["nmarkers"]);
    const int side = static_cast<int>(root["markersize"]);
    if (count < 1 || count > kMostMarkers) return malformed("nmarkers out of range");
    if (side < 2 || side > kLargestMarkerBits) return malformed("markersize out of range");
    std::vector<std::vector<bool>> markers;
    cv::Mat bytes;
    for (int i = 0; i < count; ++i) {
        const std::string key = "marker_" + std::to_string(i);
        const cv::FileNode node = root[key];
        if (!node.isString()) return malformed(key + " missing");
        const std::string text = static_cast<std::string>(node);
        if (text.size() != static_cast<std::size_t>(side * side) || text.find_first_not_of("01") != std::string::npos) {
            return malformed(key + " is not " + std::to_string(side * side) + " zeros and ones");
        }
        cv::Mat bits(side, side, CV_8UC1);
        std::vector<bool> flags;
        for (int b = 0; b < side * side; ++b) {
            bits.at<unsigned char>(b / side, b % side) = text[static_cast<std::size_t>(b)] == '1' ? 1 : 0;
            flags.push_back(text[static_cast<std::size_t>(b)] == '1');
        }
        bytes.push_back(cv::aruco::Dictionary::getByteListFromBits(bits));
        markers.push_back(std::move(flags));
    }
    int correction = correctableBits(markers, side);
    if (!root["maxCorrectionBits"].empty()) {
        if (!root["maxCorrectionBits"].isInt()) return malformed("maxCorrectionBits is not a number");
        correction = std::clamp(static_cast<int>(root["maxCorrectionBits"]), 0, correction);
    }
    return cv::makePtr<cv::aruco::Dictionary>(bytes, side, correction);
}

Expected<cv::Ptr<cv::aruco::Dictionary>> dictionaryOf(const ARMarkerBoard& board) {
    if (!board.dictionaryFile.empty()) return readDictionaryFile(board.dictionaryFile);
    if (board.dictionary < 0 || board.dictionary > cv::aruco::DICT_APRILTAG_36h11) {
        return arError(ARSessionErrorCode::unsupportedConfiguration,
                       "no predefined marker dictionary " + std::to_string(board.dictionary));
    }
    return cv::aruco::getPredefinedDictionary(board.dictionary);
}

}  // namespace

Error arError(ARSessionErrorCode code, std::string message) {
    return Error(ARSession::errorDomain, static_cast<long>(code), std::move(message));
}

Expected<cv::Ptr<cv::aruco::Dictionary>> readDictionaryFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return arError(ARSessionErrorCode::fileUnreadable, "no dictionary file " + path.string());
    }
    // OpenCV's parsers throw on text they cannot read.
    try {
        cv::FileStorage storage(path.string(), cv::FileStorage::READ);
        if (!storage.isOpened()) {
            return arError(ARSessionErrorCode::fileMalformed,
                           "dictionary file " + path.string() + " is not YAML, XML or JSON");
        }
        return parseDictionary(storage.root(), path.string());
    } catch (const cv::Exception& e) {
        return arError(ARSessionErrorCode::fileMalformed, "dictionary file " + path.string() + ": " + e.what());
    }
}

Expected<MarkerBoard> makeBoard(const ARMarkerBoard& board) {
    auto dictionary = dictionaryOf(board);
    if (!dictionary) return dictionary.error();
    const bool charuco = board.kind == ARMarkerBoardKind::charuco;
    const auto unusable = [](const std::string& why) {
        return arError(ARSessionErrorCode::unsupportedConfiguration, "marker board: " + why);
    };
    if (board.markersX < 1 || board.markersY < 1 || (charuco && board.markersX * board.markersY < 2)) {
        return unusable("too few markers or squares");
    }
    if (!(board.markerLength > 0.0f) || !std::isfinite(board.markerLength)) return unusable("no marker length");
    if (charuco && (!(board.squareLength > board.markerLength) || !std::isfinite(board.squareLength))) {
        return unusable("squares not larger than their markers");
    }
    if (!charuco && (!(board.markerSeparation >= 0.0f) || !std::isfinite(board.markerSeparation))) {
        return unusable("negative gap between markers");
    }
    const int needed = charuco ? board.markersX * board.markersY / 2 : board.markersX * board.markersY;
    const int available = (*dictionary)->bytesList.rows;
    if (needed > available) {
        return arError(board.dictionaryFile.empty() ? ARSessionErrorCode::unsupportedConfiguration
                                                    : ARSessionErrorCode::fileMalformed,
                       "marker board needs " + std::to_string(needed) + " markers, its dictionary has " +
                           std::to_string(available));
    }
    try {
        if (charuco) {
            auto made = cv::aruco::CharucoBoard::create(board.markersX, board.markersY, board.squareLength,
                                                        board.markerLength, *dictionary);
            return MarkerBoard{made, made};
        }
        return MarkerBoard{cv::aruco::GridBoard::create(board.markersX, board.markersY, board.markerLength,
                                                        board.markerSeparation, *dictionary),
                           nullptr};
    } catch (const cv::Exception& e) {
        return unusable(e.what());
    }
}

glm::dmat4 worldFromBoard(const MarkerBoard& board) {
    // The axes from the first marker (corners from top-left, clockwise in the picture).
    const auto& first = board.markers->objPoints.front();
    const auto vec = [](const cv::Point3f& p) { return glm::dvec3(p.x, p.y, p.z); };
    const glm::dvec3 right = glm::normalize(vec(first[1]) - vec(first[0]));
    const glm::dvec3 down = glm::normalize(vec(first[3]) - vec(first[0]));
    const glm::dvec3 up = glm::cross(down, right);
    // The centre: of the markers for a grid, of the chessboard for ChArUco (whose markers need not
    // sit symmetrically on it).
    glm::dvec3 low(1e9);
    glm::dvec3 high(-1e9);
    const auto widen = [&](const cv::Point3f& p) {
        low = glm::min(low, vec(p));
        high = glm::max(high, vec(p));
    };
    if (board.charuco && !board.charuco->chessboardCorners.empty()) {
        for (const auto& corner : board.charuco->chessboardCorners) widen(corner);
    } else {
        for (const auto& marker : board.markers->objPoints) {
            for (const auto& corner : marker) widen(corner);
        }
    }
    const glm::dvec3 centre = (low + high) * 0.5;
    glm::dmat4 m(1.0);  // columns hold the world image of each board axis: rows are right, up, down
    for (int i = 0; i < 3; ++i) {
        m[i][0] = right[i];
        m[i][1] = up[i];
        m[i][2] = down[i];
    }
    m[3] = glm::dvec4(-glm::dvec3(m * glm::dvec4(centre, 0.0)), 1.0);
    return m;
}

}  // namespace vantrel::detail
