#include "vantrel/scene/SnappingObstacles.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/scene/SnappingNode.hpp"

namespace vantrel {
namespace {

// Below this many models a plain walk over the list is as quick as the grid.
constexpr std::size_t kGridThreshold = 16;
// A box spanning more cells than this is tested with every point instead of being filed everywhere.
constexpr std::int64_t kMaxCellsPerBox = 16;
// Cell indices stay well inside the 32 bits each half of a cell key holds.
constexpr double kMaxCellIndex = 1 << 30;

struct CellRange {
    std::int64_t firstColumn, lastColumn, firstRow, lastRow;

    [[nodiscard]] std::int64_t count() const { return (lastColumn - firstColumn + 1) * (lastRow - firstRow + 1); }
};

std::optional<CellRange> cellsOf(const SCNBoundingBox& box, float cellSize) {
    const double bounds[4] = {std::floor(box.min.x / cellSize), std::floor(box.max.x / cellSize),
                              std::floor(box.min.z / cellSize), std::floor(box.max.z / cellSize)};
    for (double b : bounds) {
        if (!std::isfinite(b) || std::abs(b) > kMaxCellIndex) {
            return std::nullopt;
        }
    }
    CellRange range{std::int64_t(bounds[0]), std::int64_t(bounds[1]), std::int64_t(bounds[2]), std::int64_t(bounds[3])};
    if (range.count() > kMaxCellsPerBox) {
        return std::nullopt;
    }
    return range;
}

}  // namespace

SnappingObstacles::SnappingObstacles(const std::vector<std::shared_ptr<ModelNode>>& models) {
    entries_.reserve(models.size());
    for (const auto& model : models) {
        if (model) {
            entries_.push_back({model.get(), model->overlapBoundingBox()});
        }
    }
    const auto all = [this] {
        large_.resize(entries_.size());
        for (std::uint32_t i = 0; i < entries_.size(); ++i) {
            large_[i] = i;
        }
    };
    if (entries_.size() < kGridThreshold) {
        all();
        return;
    }
    // Cells as large as a typical product's footprint: a point then looks at a handful of cells.
    std::vector<float> footprints;
    footprints.reserve(entries_.size());
    for (const auto& entry : entries_) {
        footprints.push_back(std::max(entry.box.max.x - entry.box.min.x, entry.box.max.z - entry.box.min.z));
    }
    std::nth_element(footprints.begin(), footprints.begin() + std::ptrdiff_t(footprints.size() / 2), footprints.end());
    cellSize_ = footprints[footprints.size() / 2];
    if (!(cellSize_ > 1e-4f) || !std::isfinite(cellSize_)) {
        cellSize_ = 0.0f;
        all();
        return;
    }
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        const auto range = cellsOf(entries_[i].box, cellSize_);
        if (!range) {
            large_.push_back(i);
            continue;
        }
        for (auto column = range->firstColumn; column <= range->lastColumn; ++column) {
            for (auto row = range->firstRow; row <= range->lastRow; ++row) {
                cells_[cellKey(column, row)].push_back(i);
            }
        }
    }
}

std::int64_t SnappingObstacles::cellKey(std::int64_t column, std::int64_t row) const noexcept {
    return (column << 32) ^ (row & 0xffffffff);
}

bool SnappingObstacles::blocks(const Entry& entry, const SCNBoundingBox& box, const ModelNode* carrier,
                               const ModelNode* snappingModel) const {
    return entry.model != carrier && entry.model != snappingModel && ModelNode::boxesOverlap(box, entry.box);
}

bool SnappingObstacles::isBlocking(const SnappingNode& point) const {
    if (entries_.empty()) {
        return false;
    }
    const SCNBoundingBox box = point.overlapBoundingBox();
    const auto parent = point.parentNode();
    const auto* carrier = dynamic_cast<const ModelNode*>(parent.get());
    const auto snapping = point.snappingModel();
    const auto test = [&](std::uint32_t index) { return blocks(entries_[index], box, carrier, snapping.get()); };

    if (std::any_of(large_.begin(), large_.end(), test)) {
        return true;
    }
    if (cells_.empty()) {
        return false;
    }
    const auto range = cellsOf(box, cellSize_);
    if (!range) {
        // A preview larger than the grid's reach: test every filed model.
        for (std::uint32_t i = 0; i < entries_.size(); ++i) {
            if (test(i)) {
                return true;
            }
        }
        return false;
    }
    for (auto column = range->firstColumn; column <= range->lastColumn; ++column) {
        for (auto row = range->firstRow; row <= range->lastRow; ++row) {
            if (const auto it = cells_.find(cellKey(column, row));
                it != cells_.end() && std::any_of(it->second.begin(), it->second.end(), test)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace vantrel
