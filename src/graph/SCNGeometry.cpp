#include "vantrel/graph/SCNGeometry.hpp"

#include <algorithm>
#include <cmath>

#include "GeometryMesh.hpp"

namespace vantrel {
namespace {

bool isFiniteVertex(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

std::atomic<std::uint64_t>& boundsEpochCounter() {
    static std::atomic<std::uint64_t> counter{1};
    return counter;
}

}  // namespace

namespace graph_internal {

std::uint64_t boundsEpoch() noexcept { return boundsEpochCounter().load(std::memory_order_relaxed); }

void noteBoundsCached(const SCNGeometry& geometry) noexcept {
    geometry.mesh()->boundsObserved.store(true, std::memory_order_relaxed);
}

}  // namespace graph_internal

SCNGeometry::Mesh::Mesh(SCNGeometrySource src, std::vector<SCNGeometryElement> elems)
    : source(std::move(src)), elements(std::move(elems)) {
    const std::size_t vertexCount = source.vertices.size();
    if (source.normals.size() != vertexCount) {
        source.normals.clear();
    }
    if (source.tangents.size() != vertexCount) {
        source.tangents.clear();
    }
    if (source.colors.size() != vertexCount) {
        source.colors.clear();
    }
    std::erase_if(source.textureCoordinates,
                  [vertexCount](const std::vector<glm::vec2>& set) { return set.size() != vertexCount; });

    for (auto& element : elements) {
        auto& indices = element.indices;
        indices.resize(indices.size() - indices.size() % 3);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < indices.size(); i += 3) {
            const bool valid = indices[i] < vertexCount && indices[i + 1] < vertexCount && indices[i + 2] < vertexCount;
            if (valid) {
                std::copy_n(indices.begin() + static_cast<std::ptrdiff_t>(i), 3,
                            indices.begin() + static_cast<std::ptrdiff_t>(kept));
                kept += 3;
            }
        }
        indices.resize(kept);
        triangleCount += kept / 3;
        const bool fitsSixteenBits =
            std::all_of(indices.begin(), indices.end(), [](std::uint32_t index) { return index <= 0xFFFFu; });
        if (element.bytesPerIndex != 2 || !fitsSixteenBits) {
            element.bytesPerIndex = 4;
        }
    }

    // Bounds cover every finite position, referenced or not, as the platform does.
    glm::vec3 lo(0.0f);
    glm::vec3 hi(0.0f);
    for (const auto& v : source.vertices) {
        if (!isFiniteVertex(v)) {
            continue;
        }
        lo = hasBounds ? glm::min(lo, v) : v;
        hi = hasBounds ? glm::max(hi, v) : v;
        hasBounds = true;
    }
    bounds = {SCNVector3(lo), SCNVector3(hi)};
}

const graph_internal::TriangleBvh& SCNGeometry::Mesh::triangleBvh() const {
    std::call_once(bvhOnce, [this] { bvh = std::make_unique<graph_internal::TriangleBvh>(source, elements); });
    return *bvh;
}

SCNGeometry::SCNGeometry() : mesh_(std::make_shared<Mesh>(SCNGeometrySource{}, std::vector<SCNGeometryElement>{})) {}

SCNGeometry::SCNGeometry(const SCNGeometry& other)
    : name_(other.name_),
      mesh_(other.mesh_),
      materials_(other.materials_),
      tessellator_(other.tessellator_),
      materialVariants_(other.materialVariants_) {}

std::uint64_t SCNGeometry::meshID() const noexcept { return mesh_->id; }

void SCNGeometry::prepareForHitTesting() const {
    if (mesh_->triangleCount > 0) {
        (void)mesh_->triangleBvh();
    }
}

SCNGeometry::~SCNGeometry() = default;

std::shared_ptr<SCNGeometry> SCNGeometry::make(SCNGeometrySource source, std::vector<SCNGeometryElement> elements) {
    auto geometry = std::make_shared<SCNGeometry>();
    geometry->setMesh(std::move(source), std::move(elements));
    return geometry;
}

std::shared_ptr<SCNGeometry> SCNGeometry::copy() const { return std::shared_ptr<SCNGeometry>(new SCNGeometry(*this)); }

const SCNGeometrySource& SCNGeometry::source() const noexcept { return mesh_->source; }

const std::vector<SCNGeometryElement>& SCNGeometry::elements() const noexcept { return mesh_->elements; }

void SCNGeometry::setMesh(SCNGeometrySource source, std::vector<SCNGeometryElement> elements) {
    const bool cached = mesh_ && mesh_->boundsObserved.load(std::memory_order_relaxed);
    mesh_ = std::make_shared<Mesh>(std::move(source), std::move(elements));
    if (cached) {
        boundsEpochCounter().fetch_add(1, std::memory_order_relaxed);
    }
    revision_.bump();
}

std::size_t SCNGeometry::triangleCount() const noexcept { return mesh_->triangleCount; }

void SCNGeometry::setMaterials(std::vector<std::shared_ptr<SCNMaterial>> materials) {
    std::erase(materials, nullptr);
    materials_ = std::move(materials);
    revision_.bump();
}

std::shared_ptr<SCNMaterial> SCNGeometry::firstMaterial() const {
    return materials_.empty() ? nullptr : materials_.front();
}

void SCNGeometry::setFirstMaterial(std::shared_ptr<SCNMaterial> material) {
    if (!material) {
        if (!materials_.empty()) {
            materials_.erase(materials_.begin());
        }
    } else if (materials_.empty()) {
        materials_.push_back(std::move(material));
    } else {
        materials_.front() = std::move(material);
    }
    revision_.bump();
}

std::shared_ptr<SCNMaterial> SCNGeometry::materialForElement(std::size_t index) const {
    return materials_.empty() ? nullptr : materials_[index % materials_.size()];
}

SCNBoundingBox SCNGeometry::boundingBox() const { return mesh_->bounds; }

bool SCNGeometry::hasBounds() const { return mesh_->hasBounds; }

}  // namespace vantrel
