#include "PolygonTriangulator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <glm/geometric.hpp>

namespace vantrel::graph_internal {
namespace {

double signedArea(const std::vector<glm::dvec2>& ring) {
    double twice = 0.0;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        twice += (ring[j].x - ring[i].x) * (ring[j].y + ring[i].y);
    }
    return twice * 0.5;  // positive for counter-clockwise
}

bool insideRing(const glm::dvec2& p, const std::vector<glm::dvec2>& ring) {
    bool inside = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const auto& a = ring[i];
        const auto& b = ring[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
            inside = !inside;
        }
    }
    return inside;
}

// Twice the signed area of triangle abc: positive when counter-clockwise.
double cross(const glm::dvec2& a, const glm::dvec2& b, const glm::dvec2& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Inside or on the border of the counter-clockwise triangle abc.
bool inTriangle(const glm::dvec2& p, const glm::dvec2& a, const glm::dvec2& b, const glm::dvec2& c) {
    return cross(a, b, p) >= 0.0 && cross(b, c, p) >= 0.0 && cross(c, a, p) >= 0.0;
}

// A ring of polygon corners as a doubly linked list; bridges to holes duplicate corners.
struct Corner {
    std::uint32_t index;  // into the points
    int prev;
    int next;
};

class EarClipper {
public:
    explicit EarClipper(const std::vector<glm::dvec2>& points) : points_(points) {}

    // Adds a ring of point indices, returns its first corner.
    int addRing(std::uint32_t first, std::size_t count) {
        const int start = static_cast<int>(corners_.size());
        for (std::size_t i = 0; i < count; ++i) {
            const int self = start + static_cast<int>(i);
            corners_.push_back({first + static_cast<std::uint32_t>(i), self - 1, self + 1});
        }
        corners_[static_cast<std::size_t>(start)].prev = start + static_cast<int>(count) - 1;
        corners_.back().next = start;
        return start;
    }

    // Joins a hole ring to the outer ring that starts at `outer`.
    void bridge(int outer, int hole) {
        // The hole's rightmost corner sees the outer ring to its right.
        int m = hole;
        for (int c = corners_[idx(hole)].next; c != hole; c = corners_[idx(c)].next) {
            if (pt(c).x > pt(m).x) {
                m = c;
            }
        }
        const int p = visibleCorner(outer, m);
        if (p < 0) {
            return;  // nothing to the right (broken input): leave the hole unfilled rather than guess
        }
        // Split: p → m … (hole) … m' → p' → rest of the outer ring.
        const int pCopy = duplicate(p);
        const int mCopy = duplicate(m);
        const int pNext = corners_[idx(p)].next;
        const int mPrev = corners_[idx(m)].prev;
        corners_[idx(p)].next = m;
        corners_[idx(m)].prev = p;
        corners_[idx(mPrev)].next = mCopy;
        corners_[idx(mCopy)].prev = mPrev;
        corners_[idx(mCopy)].next = pCopy;
        corners_[idx(pCopy)].prev = mCopy;
        corners_[idx(pCopy)].next = pNext;
        corners_[idx(pNext)].prev = pCopy;
    }

    void clip(int start, std::vector<std::uint32_t>& triangles) {
        int remaining = 1;
        for (int c = corners_[idx(start)].next; c != start; c = corners_[idx(c)].next) {
            ++remaining;
        }
        int current = start;
        int stop = current;
        while (remaining > 3) {
            const int prev = corners_[idx(current)].prev;
            const int next = corners_[idx(current)].next;
            if (isEar(prev, current, next)) {
                emit(prev, current, next, triangles);
                remove(current);
                --remaining;
                current = next;
                stop = next;
                continue;
            }
            current = next;
            if (current != stop) {
                continue;
            }
            // A whole round without an ear: drop a corner that adds no area, or else cut one anyway
            // so that the loop always ends.
            if (const int flat = flatCorner(current); flat >= 0) {
                current = corners_[idx(flat)].next;
                remove(flat);
            } else {
                emit(corners_[idx(current)].prev, current, corners_[idx(current)].next, triangles);
                const int after = corners_[idx(current)].next;
                remove(current);
                current = after;
            }
            --remaining;
            stop = current;
        }
        if (remaining == 3) {
            const int next = corners_[idx(current)].next;
            emit(corners_[idx(current)].prev, current, next, triangles);
        }
    }

private:
    static std::size_t idx(int corner) { return static_cast<std::size_t>(corner); }
    const glm::dvec2& pt(int corner) const { return points_[corners_[idx(corner)].index]; }

    int duplicate(int corner) {
        corners_.push_back(corners_[idx(corner)]);
        return static_cast<int>(corners_.size()) - 1;
    }

    void remove(int corner) {
        const Corner& c = corners_[idx(corner)];
        corners_[idx(c.prev)].next = c.next;
        corners_[idx(c.next)].prev = c.prev;
    }

    void emit(int a, int b, int c, std::vector<std::uint32_t>& triangles) const {
        if (cross(pt(a), pt(b), pt(c)) == 0.0) {
            return;  // no area: nothing to draw
        }
        triangles.insert(triangles.end(), {corners_[idx(a)].index, corners_[idx(b)].index, corners_[idx(c)].index});
    }

    bool isEar(int a, int b, int c) const {
        const glm::dvec2& pa = pt(a);
        const glm::dvec2& pb = pt(b);
        const glm::dvec2& pc = pt(c);
        if (cross(pa, pb, pc) <= 0.0) {
            return false;  // reflex or flat
        }
        for (int other = corners_[idx(c)].next; other != a; other = corners_[idx(other)].next) {
            const glm::dvec2& p = pt(other);
            if (p == pa || p == pb || p == pc) {
                continue;  // bridge duplicates sit on the triangle's corners
            }
            // Corners on the border block too: a corner on the new diagonal would leave edges
            // folded back onto each other.
            if (inTriangle(p, pa, pb, pc)) {
                return false;
            }
        }
        return true;
    }

    int flatCorner(int start) const {
        int c = start;
        do {
            const Corner& corner = corners_[idx(c)];
            if (cross(pt(corner.prev), pt(c), pt(corner.next)) == 0.0) {
                return c;
            }
            c = corner.next;
        } while (c != start);
        return -1;
    }

    // The outer corner that the hole corner `m` can be joined to without crossing an edge.
    int visibleCorner(int outer, int m) const {
        const glm::dvec2 hole = pt(m);
        double nearestX = -std::numeric_limits<double>::infinity();
        int candidate = -1;
        // Cast a ray from the hole corner to +x and find the nearest edge it meets.
        int a = outer;
        do {
            const int b = corners_[idx(a)].next;
            const glm::dvec2& pa = pt(a);
            const glm::dvec2& pb = pt(b);
            if (pa.y != pb.y && ((pa.y <= hole.y && hole.y <= pb.y) || (pb.y <= hole.y && hole.y <= pa.y))) {
                const double x = pa.x + (hole.y - pa.y) * (pb.x - pa.x) / (pb.y - pa.y);
                if (x >= hole.x && (candidate < 0 || x < nearestX)) {
                    nearestX = x;
                    if (x == pa.x && hole.y == pa.y) {
                        candidate = a;
                    } else if (x == pb.x && hole.y == pb.y) {
                        candidate = b;
                    } else {
                        candidate = pa.x > pb.x ? a : b;
                    }
                }
            }
            a = b;
        } while (a != outer);
        if (candidate < 0) {
            return -1;
        }
        // A corner inside the triangle (hole, hit point, candidate) would block the view; take the
        // one closest in angle to the ray instead (the nearer one on a tie). When the ray meets the
        // candidate itself, nothing can be in the way.
        const glm::dvec2 hit(nearestX, hole.y);
        const glm::dvec2 cand = pt(candidate);
        int best = candidate;
        if (hit != cand) {
            double bestTan = std::numeric_limits<double>::infinity();
            double bestDistance = std::numeric_limits<double>::infinity();
            a = outer;
            do {
                const glm::dvec2& p = pt(a);
                // Either winding of the triangle, since the candidate may lie above or below the ray.
                if (a != candidate && p.x >= hole.x && p != hole &&
                    (inTriangle(p, hole, hit, cand) || inTriangle(p, hole, cand, hit))) {
                    const double tangent = std::abs(p.y - hole.y) / std::max(p.x - hole.x, 1e-300);
                    const double distance = glm::length(p - hole);
                    if (tangent < bestTan || (tangent == bestTan && distance < bestDistance)) {
                        bestTan = tangent;
                        bestDistance = distance;
                        best = a;
                    }
                }
                a = corners_[idx(a)].next;
            } while (a != outer);
        }
        return copyFacing(outer, best, hole);
    }

    // Earlier bridges duplicate corners. Of the copies of `corner`, take the one whose inside angle
    // holds the direction to `target`, so that the new bridge does not cross the old one.
    int copyFacing(int outer, int corner, const glm::dvec2& target) const {
        const glm::dvec2 at = pt(corner);
        int c = outer;
        do {
            if (pt(c) == at && sectorContains(c, target)) {
                return c;
            }
            c = corners_[idx(c)].next;
        } while (c != outer);
        return corner;
    }

    bool sectorContains(int corner, const glm::dvec2& target) const {
        const glm::dvec2& c = pt(corner);
        const glm::dvec2& next = pt(corners_[idx(corner)].next);
        const glm::dvec2& prev = pt(corners_[idx(corner)].prev);
        // The inside of a counter-clockwise ring lies left of c→next and left of prev→c.
        const bool leftOfOutgoing = cross(c, next, target) >= 0.0;
        const bool leftOfIncoming = cross(prev, c, target) >= 0.0;
        return cross(prev, c, next) >= 0.0 ? leftOfOutgoing && leftOfIncoming : leftOfOutgoing || leftOfIncoming;
    }

    const std::vector<glm::dvec2>& points_;
    std::vector<Corner> corners_;
};

}  // namespace

PreparedContours prepareContours(const std::vector<std::vector<glm::dvec2>>& contours,
                                 std::optional<bool> outerCounterClockwise) {
    std::vector<std::vector<glm::dvec2>> cleaned;
    std::vector<double> areas;
    for (const auto& contour : contours) {
        std::vector<glm::dvec2> ring;
        for (const auto& p : contour) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
                continue;
            }
            if (ring.empty() || ring.back() != p) {
                ring.push_back(p);
            }
        }
        while (ring.size() > 1 && ring.front() == ring.back()) {
            ring.pop_back();
        }
        if (ring.size() < 3) {
            continue;
        }
        const double area = signedArea(ring);
        if (area == 0.0) {
            continue;
        }
        cleaned.push_back(std::move(ring));
        areas.push_back(area);
    }

    const std::size_t n = cleaned.size();
    const auto encloses = [&](std::size_t outer, std::size_t inner) {
        return outer != inner && std::abs(areas[outer]) > std::abs(areas[inner]) &&
               insideRing(cleaned[inner].front(), cleaned[outer]);
    };
    std::vector<bool> hole(n, false);
    if (outerCounterClockwise) {
        for (std::size_t i = 0; i < n; ++i) {
            hole[i] = (areas[i] > 0.0) != *outerCounterClockwise;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            int depth = 0;
            for (std::size_t j = 0; j < n; ++j) {
                depth += encloses(j, i) ? 1 : 0;
            }
            hole[i] = depth % 2 == 1;
        }
    }

    PreparedContours prepared;
    prepared.parent.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        if (!hole[i]) {
            continue;
        }
        // The hole belongs to the smallest outer contour around it.
        int owner = -1;
        for (std::size_t j = 0; j < n; ++j) {
            if (!hole[j] && encloses(j, i) &&
                (owner < 0 || std::abs(areas[j]) < std::abs(areas[static_cast<std::size_t>(owner)]))) {
                owner = static_cast<int>(j);
            }
        }
        prepared.parent[i] = owner;
        if (owner < 0) {
            hole[i] = false;  // a hole in nothing is filled rather than dropped
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const bool counterClockwise = areas[i] > 0.0;
        if (counterClockwise == hole[i]) {
            std::reverse(cleaned[i].begin(), cleaned[i].end());
        }
    }
    prepared.contours = std::move(cleaned);
    return prepared;
}

std::vector<std::uint32_t> triangulate(const PreparedContours& prepared) {
    std::vector<glm::dvec2> points;
    std::vector<std::uint32_t> offsets;
    for (const auto& contour : prepared.contours) {
        offsets.push_back(static_cast<std::uint32_t>(points.size()));
        points.insert(points.end(), contour.begin(), contour.end());
    }
    std::vector<std::uint32_t> triangles;
    const std::size_t n = prepared.contours.size();
    for (std::size_t outer = 0; outer < n; ++outer) {
        if (prepared.parent[outer] >= 0) {
            continue;
        }
        EarClipper clipper(points);
        const int start = clipper.addRing(offsets[outer], prepared.contours[outer].size());
        // Holes join from right to left so that each bridge sees only edges already in place.
        std::vector<std::size_t> holes;
        for (std::size_t h = 0; h < n; ++h) {
            if (prepared.parent[h] == static_cast<int>(outer)) {
                holes.push_back(h);
            }
        }
        const auto rightmost = [&](std::size_t h) {
            double x = -std::numeric_limits<double>::infinity();
            for (const auto& p : prepared.contours[h]) {
                x = std::max(x, p.x);
            }
            return x;
        };
        std::sort(holes.begin(), holes.end(),
                  [&](std::size_t l, std::size_t r) { return rightmost(l) > rightmost(r); });
        for (std::size_t h : holes) {
            clipper.bridge(start, clipper.addRing(offsets[h], prepared.contours[h].size()));
        }
        clipper.clip(start, triangles);
    }
    return triangles;
}

}  // namespace vantrel::graph_internal
