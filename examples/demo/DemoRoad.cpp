#include "DemoRoad.hpp"

#include "Await.hpp"
#include "TerminalProgress.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace demo {

using vantrel::ComponentEntity;
using vantrel::ModelNode;
using vantrel::OptionalError;

namespace {

std::string describe(const OptionalError& error) { return error ? error->description() : std::string("unknown error"); }

const char* phaseName(vantrel::ProgressStatus status) {
    switch (status) {
        case vantrel::ProgressStatus::loading: return "loading";
        case vantrel::ProgressStatus::downloading: return "downloading";
        case vantrel::ProgressStatus::caching: return "caching";
        case vantrel::ProgressStatus::thumbnailing: return "thumbnailing";
        case vantrel::ProgressStatus::processing: return "processing";
        case vantrel::ProgressStatus::done: return "done";
    }
    return "";
}

// The products the demo arranges: the sofa, its corner module (which docks to the sofa through its
// snapping area) and a chair beside them.
constexpr const char* kSofa = "NH-1001";
constexpr const char* kSofaCorner = "NH-1002";
constexpr const char* kChair = "NH-2001";

}  // namespace

DemoRoad::DemoRoad(DemoOptions options) : options_(std::move(options)) {}

int DemoRoad::run() {
    std::filesystem::create_directories(options_.outputDirectory);
    const bool ok = signIn() && listCatalogue() && loadModels() && placeAndDock() && recolour() && takePictures() &&
                    placeInRecordedAr() && saveConcept() && renderOrder();
    return ok ? 0 : 1;
}

bool DemoRoad::fail(const std::string& step, const std::string& why) {
    failure_ = step + ": " + why;
    std::fprintf(stderr, "demo: %s failed: %s\n", step.c_str(), why.c_str());
    return false;
}

void DemoRoad::note(const std::string& what, const std::string& where) { outputs_.emplace_back(what, where); }

bool DemoRoad::signIn() {
    std::printf("\n1. Signing in as %s\n", options_.email.c_str());
    const auto answer = await<std::shared_ptr<vantrel::UserEntity>, OptionalError>([&](auto block) {
        vantrel::AuthService::sharedInstance().signIn("VantrelDemo", vantrel::VantrelSDK::version(), options_.email,
                                                      options_.password, std::move(block));
    });
    if (!answer) return fail("sign-in", "no answer from the backend");
    const auto& [user, error] = *answer;
    if (!user) return fail("sign-in", describe(error));
    userId_ = user->objectId().value_or("");
    std::printf("   signed in (user %s)\n", userId_.c_str());
    note("signed-in user", options_.email);
    return true;
}

bool DemoRoad::listCatalogue() {
    std::printf("\n2. Reading the catalogue in pages of 100\n");
    TerminalProgress bar("components");
    constexpr int kPage = 100;
    for (int offset = 0;; offset += kPage) {
        const auto answer = await<std::vector<std::shared_ptr<ComponentEntity>>, OptionalError>([&](auto block) {
            vantrel::ComponentService::sharedInstance().obtainAllComponentsByCurrentCatalog(offset, kPage,
                                                                                            std::move(block));
        });
        if (!answer) return fail("catalogue", "no answer from the backend");
        const auto& [page, error] = *answer;
        if (error) return fail("catalogue", describe(error));
        components_.insert(components_.end(), page.begin(), page.end());
        const bool last = static_cast<int>(page.size()) < kPage;
        bar.update(last ? 1.0 : 0.5, std::to_string(components_.size()) + " read");
        if (last) break;
    }
    bar.finish("done");
    for (const auto& component : components_)
        std::printf("   %-10s %-32s %8.2f\n", component->productNumber().c_str(), component->genericName().c_str(),
                    component->price());
    note("catalogue", std::to_string(components_.size()) + " components");
    return true;
}

std::shared_ptr<ComponentEntity> DemoRoad::componentByProductNumber(const std::string& productNumber) const {
    for (const auto& component : components_)
        if (component->productNumber() == productNumber) return component;
    return nullptr;
}

bool DemoRoad::loadModels() {
    std::printf("\n3. Loading models (signed download, unpacking, scene reading)\n");
    for (const char* productNumber : {kSofa, kSofaCorner, kChair}) {
        const auto component = componentByProductNumber(productNumber);
        if (!component) return fail("loading", std::string("the catalogue has no ") + productNumber);
        TerminalProgress bar(component->genericName());
        const auto answer = await<std::shared_ptr<ModelNode>, OptionalError>(
            [&](auto block) {
                vantrel::ModelLoaderService::sharedInstance().loadModelBy(
                    component, std::nullopt, std::move(block), [&bar](vantrel::ProgressStatus status, double fraction) {
                        bar.update(fraction, phaseName(status));
                    });
            },
            std::chrono::minutes(5));
        if (!answer) return fail("loading", "no answer for " + component->genericName());
        const auto& [model, error] = *answer;
        if (!model) {
            bar.finish("failed");
            return fail("loading " + component->genericName(), describe(error));
        }
        bar.finish("done");
        // The catalogue's files may carry material variants (other fabrics of the same product).
        std::string variants;
        for (const auto& name : model->materialVariantNames()) variants += (variants.empty() ? "" : ", ") + name;
        if (!variants.empty()) note("variants: " + component->genericName(), variants);
        models_.push_back(model);
    }
    note("loaded models", std::to_string(models_.size()));
    return true;
}

bool DemoRoad::placeAndDock() {
    std::printf("\n4. Placing the models on the canvas and docking the corner module by a drag\n");
    const auto& corner = models_.at(1);
    view_ = std::make_shared<vantrel::SCNView>(vantrel::CGRect(0, 0, options_.pictureWidth, options_.pictureHeight));
    canvas_ = vantrel::CanvasAdapter::make();
    canvas_->setSceneView(view_);
    canvas_->setModelSelectionEnabled(true);
    canvas_->setGroundEnabled(true);
    // The sofa and the chair each go to the right of what stands already; the corner module waits in
    // front of the sofa. The camera frames them all.
    canvas_->addModel(models_.at(0));
    const auto sofaAt = models_.at(0)->position();
    canvas_->addModel(models_.at(2), vantrel::SCNVector3{sofaAt.x - 2.2f, 0.0f, sofaAt.z + 0.8f});
    canvas_->addModel(corner, vantrel::SCNVector3{sofaAt.x + 0.5f, 0.0f, sofaAt.z + 3.0f});
    canvas_->focusToCenter(false, true, false);
    canvas_->setGesturesEnabled(true);
    vantrel::MainRunLoop::drain();  // the gestures attach on the main queue

    // Selecting the corner module offers a snapping point beside the sofa (its catalogue record
    // names the sofa); a one-finger drag from the module onto the point drops it there, and the
    // move's end docks it exactly.
    canvas_->selectModelById(corner->id());
    std::shared_ptr<vantrel::SnappingNode> point;
    for (const auto& model : canvas_->modelNodes())
        for (const auto& [owner, points] : model->snappingNodesDictionary())
            for (const auto& candidate : points)
                if (!point && candidate && !candidate->isHidden()) point = candidate;
    if (!point) {
        std::size_t hidden = 0;
        for (const auto& model : canvas_->modelNodes())
            for (const auto& [owner, points] : model->snappingNodesDictionary()) hidden += points.size();
        return fail("docking", "the corner module shows no snapping point on the sofa (" + std::to_string(hidden) +
                                   " hidden, " + std::to_string(corner->snappingAreas().size()) + " areas)");
    }
    const auto onScreen = [this](const vantrel::SCNNode& node) {
        const auto p = view_->projectPoint(node.convertPosition(node.boundingSphere().center, nullptr));
        return vantrel::CGPoint(p.x, p.y);
    };
    // One finger, as a hand would move it: each touch event is followed by a turn of the main queue,
    // where the recognizers deliver their actions.
    // Stand the module beside the point, as the camera sees it, at the same depth: a finger moves
    // a model in the plane facing the camera.
    if (auto error = view_->draw()) return fail("docking", error->description());  // places the camera
    const auto& lens = *canvas_->cameraNode()->cameraLens();
    const auto right = lens.convertPosition({1.0f, 0.0f, 0.0f}, nullptr) - lens.worldPosition();
    const auto beside = point->worldPosition() + right.normalized() * 2.6f;
    corner->setPosition({beside.x, corner->position().y, beside.z});
    if (auto error = view_->draw()) return fail("docking", error->description());
    auto& touches = *canvas_->touchDispatcher();
    const auto from = onScreen(*corner);
    const auto to = onScreen(*point);
    constexpr int kMoves = 24;
    touches.touchesBegan({{1, from, vantrel::UITouchPhase::began}});
    vantrel::MainRunLoop::drain();
    for (int i = 1; i <= kMoves; ++i) {
        const double t = static_cast<double>(i) / kMoves;
        touches.touchesMoved(
            {{1, {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t}, vantrel::UITouchPhase::moved}});
        vantrel::MainRunLoop::drain();
    }
    touches.touchesEnded({{1, to, vantrel::UITouchPhase::ended}});
    vantrel::MainRunLoop::runUntil([] { return false; }, std::chrono::milliseconds(400));  // the snap animates
    const auto at = corner->worldPosition();
    const auto target = point->worldPosition();
    const float miss = std::hypot(at.x - target.x, at.y - target.y, at.z - target.z);
    if (miss > 1e-3f) return fail("docking", "the drop missed the snapping point by " + std::to_string(miss) + " m");
    std::printf("   dragged onto the snapping point: the corner docked at (%.2f, %.2f, %.2f)\n", at.x, at.y, at.z);
    canvas_->resetSelection();
    note("docked corner module", "by a drag onto the sofa's snapping point");
    return true;
}

bool DemoRoad::recolour() {
    std::printf("\n5. Re-colouring tagged parts with materials of the catalogue\n");
    // The sofa's upholstery takes the last material its tag admits (the corner module, the same
    // product placed again, keeps its own colours); the chair's seat takes the first of its list.
    const std::vector<std::tuple<std::size_t, const char*, const char*, bool>> jobs = {{0, kSofa, "upholstery", true},
                                                                                       {2, kChair, "seat", false}};
    for (const auto& [index, productNumber, tag, takeLast] : jobs) {
        const auto component = componentByProductNumber(productNumber);
        const auto materialIds = component->getMaterialIdsByTag(tag);
        if (materialIds.empty())
            return fail("re-colouring", component->genericName() + " admits no material for " + tag);
        const auto materialId = takeLast ? materialIds.back() : materialIds.front();
        const auto record = await<std::shared_ptr<vantrel::MaterialEntity>, OptionalError>([&](auto block) {
            vantrel::MaterialService::sharedInstance().obtainMaterialById(materialId, std::move(block));
        });
        if (!record || !std::get<0>(*record))
            return fail("re-colouring", describe(record ? std::get<1>(*record) : std::nullopt));
        const auto material = std::get<0>(*record);
        const auto built = await<std::shared_ptr<vantrel::SCNMaterial>>(
            [&](auto block) { material->getScnMaterial(std::move(block)); });
        if (!built || !std::get<0>(*built))
            return fail("re-colouring", "the material record gives no rendering material");
        const auto parts = component->getNodeNamesOrNodeIdsByTag(tag);
        canvas_->assignMaterialToModel(models_.at(index)->id(), parts, materialId, std::get<0>(*built));
        assignedMaterials_.emplace_back(index, tag, materialId);
        std::printf("   %s, %s: \"%s\" on %zu tagged part(s)\n", component->genericName().c_str(), tag,
                    material->name().c_str(), parts.size());
        note(std::string("re-coloured ") + tag, material->name());
    }
    return true;
}

// Turns the camera and brings it closer, as a user's drag and pinch would, until `models` span
// `widthShare` of the picture's width (or their box would leave the picture): the canvas's own framing leaves room for models yet to come,
// which in a picture of three products leaves them small.
void DemoRoad::frameModels(const std::vector<std::shared_ptr<vantrel::ModelNode>>& models, double widthShare) {
    std::optional<vantrel::SCNBoundingBox> box;
    for (const auto& model : models) {
        if (const auto own = model->worldBoundingBox()) {
            box = box ? vantrel::SCNBoundingBox{{std::min(box->min.x, own->min.x), std::min(box->min.y, own->min.y),
                                                 std::min(box->min.z, own->min.z)},
                                                {std::max(box->max.x, own->max.x), std::max(box->max.y, own->max.y),
                                                 std::max(box->max.z, own->max.z)}}
                      : *own;
        }
    }
    if (!box) {
        return;
    }
    // Earlier camera moves animate for a moment; the projection below must see where they end.
    vantrel::MainRunLoop::runUntil([] { return false; }, std::chrono::milliseconds(400));
    if (view_->draw()) {
        return;  // no picture can be drawn: nothing to frame
    }
    auto& rig = *canvas_->cameraNode();
    rig.moveCenter({(box->min.x + box->max.x) / 2, (box->min.y + box->max.y) / 2, (box->min.z + box->max.z) / 2});
    const double width = options_.pictureWidth;
    const double height = options_.pictureHeight;
    // The share of the width the box covers and whether all of it is in the picture.
    const auto measure = [&] {
        double left = width, right = 0.0;
        bool inside = true;
        for (int corner = 0; corner < 8; ++corner) {
            const vantrel::SCNVector3 p{corner & 1 ? box->max.x : box->min.x, corner & 2 ? box->max.y : box->min.y,
                                        corner & 4 ? box->max.z : box->min.z};
            const auto at = view_->projectPoint(p);
            left = std::min(left, static_cast<double>(at.x));
            right = std::max(right, static_cast<double>(at.x));
            inside = inside && at.x >= 0 && at.x <= width && at.y >= 0 && at.y <= height;
        }
        return std::make_pair((right - left) / width, inside);
    };
    // Turn the camera about the vertical so that the models line up across the picture, not along
    // its diagonal; then come closer.
    constexpr float kTurn = 1.0f / 96.0f;
    int best = 0;
    double bestShare = measure().first;
    rig.rotate(0.0f, -12 * kTurn);
    for (int turn = -12; turn <= 12; ++turn) {
        const auto [share, inside] = measure();
        if (inside && share > bestShare) {
            best = turn;
            bestShare = share;
        }
        rig.rotate(0.0f, kTurn);
    }
    rig.rotate(0.0f, static_cast<float>(best - 13) * kTurn);
    for (int step = 0; step < 24; ++step) {
        const auto [share, inside] = measure();
        if (!inside || share >= widthShare || share <= 0.0) {
            break;
        }
        const double before = rig.distance();
        rig.zoom(std::min(widthShare / share, 1.05));
        if (!measure().second) {
            rig.setDistance(static_cast<float>(before));  // one step too far: the box left the picture
            break;
        }
    }
}

bool DemoRoad::takePictures() {
    std::printf("\n6. Drawing the canvas (offscreen OpenGL)\n");
    const auto picture = [&](const std::string& name) {
        vantrel::MainRunLoop::runUntil([] { return false; }, std::chrono::milliseconds(400));  // moves settle
        const auto file = options_.outputDirectory / ("canvas-" + name + ".png");
        if (auto error = view_->writeSnapshot(file)) return fail("picture " + name, error->description());
        std::printf("   %s\n", file.c_str());
        note("picture: " + name, file.string());
        return true;
    };
    frameModels(models_, 0.75);
    for (const auto environment : vantrel::allSceneEnvironments) {
        canvas_->setSceneEnvironment(environment);
        if (!picture(std::string(vantrel::caseName(environment)))) return false;
    }
    canvas_->setSceneEnvironment(vantrel::SceneEnvironment::basicLight);
    canvas_->setGroundEnabled(false);
    if (!picture("no-ground")) return false;
    canvas_->setGroundEnabled(true);

    // The selected model glows; every model shows its sizes. The camera comes close to the selected
    // model, the chair standing apart, so that its labels can be read.
    canvas_->selectModelById(models_.at(2)->id());
    canvas_->setShowSizes(true);
    frameModels({models_.at(2)}, 0.5);
    if (!picture("selected-glow-sizes")) return false;
    canvas_->setShowSizes(false);
    canvas_->resetSelection();
    return true;
}

bool DemoRoad::placeInRecordedAr() {
    std::printf("\n7. Placing the chair in a recorded AR session\n");
    // A session recorded with a printed marker board on a table: replayed, it gives the camera's
    // pose and picture frame by frame and a horizontal plane where the board lies.
    if (!std::filesystem::exists(options_.arSession / "session.json")) {
        note("AR snapshot", "skipped: no recorded session at " + options_.arSession.string());
        return true;
    }
    auto session = vantrel::ARReplaySession::open(options_.arSession);
    if (!session) return fail("AR", session.error().description());
    const auto width = 640, height = 480;
    vantrel::ARSCNView view(vantrel::CGRect(0, 0, width, height));
    view.setSession(*session);
    (*session)->runWithConfiguration({});
    while ((*session)->advance()) {
    }

    // Where the middle of the view meets the detected plane, the chair goes: a miniature the size
    // of the board, so that both fit in the picture.
    const auto hits = view.hitTest(vantrel::CGPoint(width / 2.0, height / 2.0),
                                   vantrel::ARHitTestResultType::existingPlaneUsingGeometry);
    if (hits.empty()) return fail("AR", "the middle of the view meets no detected plane");
    auto chair = std::static_pointer_cast<vantrel::ModelNode>(models_.at(2)->clone());
    chair->setPosition({});  // the clone keeps the canvas placement; here it stands at the hit
    chair->setOrientation({0.0f, 0.0f, 0.0f, 1.0f});
    const auto box = chair->boundingBox();
    const float scale = 0.3f / std::max(box.max.x - box.min.x, 1e-3f);
    auto holder = vantrel::SCNNode::make();
    holder->setSimdTransform(hits.front().worldTransform);
    chair->setScale({scale, scale, scale});
    holder->addChildNode(chair);
    view.scene()->rootNode()->addChildNode(holder);
    auto sun = vantrel::SCNNode::make();
    sun->setLight(vantrel::SCNLight::make(vantrel::SCNLightType::directional));
    sun->setEulerAngles({-1.0f, 0.5f, 0.0f});
    view.scene()->rootNode()->addChildNode(sun);

    const auto file = options_.outputDirectory / "ar-snapshot.png";
    if (auto error = view.writeSnapshot(file)) return fail("AR snapshot", error->description());
    std::printf("   %zu frames replayed; the chair stands on the board: %s\n", (*session)->frameCount(), file.c_str());
    note("AR snapshot", file.string());
    return true;
}

bool DemoRoad::saveConcept() {
    std::printf("\n8. Saving the arrangement as a concept in the local store\n");
    auto& concepts = vantrel::ConceptService::sharedInstance();
    concept_ = concepts.spawnConcept(userId_, "Living room, demo");
    for (std::size_t i = 0; i < models_.size(); ++i) {
        const auto& model = models_[i];
        const auto q = model->orientation();
        auto item = concepts.spawnConceptItem(model->componentId(), model->position(), {q.x, q.y, q.z, q.w});
        for (const auto& [index, tag, materialId] : assignedMaterials_)
            if (index == i) item->addToAssignedMaterials(concepts.spawnAssignedMaterial(tag, materialId));
        concept_->addToConceptItems(item);
    }
    const auto saved = await<OptionalError>(
        [](auto block) { vantrel::CoreDataService::sharedInstance().saveContext(std::move(block)); });
    if (!saved) return fail("saving", "the store did not answer");
    if (const auto& error = std::get<0>(*saved)) return fail("saving", describe(error));
    const auto file = vantrel::CoreDataService::defaultStoreFile();
    std::printf("   \"%s\" with %zu items saved to %s\n", concept_->name().value_or("").c_str(),
                concept_->conceptItems().size(), file.c_str());
    note("saved concept", file.string());
    return true;
}

bool DemoRoad::renderOrder() {
    std::printf("\n9. Rendering the order page\n");
    // The company's logo heads the page.
    std::shared_ptr<vantrel::UIImage> logo;
    const auto company = await<std::shared_ptr<vantrel::CompanyEntity>, OptionalError>(
        [](auto block) { vantrel::AuthService::sharedInstance().currentCompany(std::move(block)); });
    if (company && std::get<0>(*company)) {
        if (const auto key = std::get<0>(*company)->logoFilePath()) {
            const auto data = await<std::optional<vantrel::FileData>, OptionalError>([&](auto block) {
                vantrel::DownloadingService::sharedInstance().obtainDataFromLocalCache(*key, true, std::move(block));
            });
            if (data && std::get<0>(*data))
                if (auto decoded = vantrel::decodeImage(*std::get<0>(*data))) logo = decoded->image;
        }
    }
    const auto page = await<std::string, OptionalError>([&](auto block) {
        vantrel::OrderService::sharedInstance().generateOrderAsHtml(concept_, logo, std::move(block));
    });
    if (!page) return fail("order", "no answer");
    const auto& [html, error] = *page;
    if (error) return fail("order", describe(error));
    const auto file = options_.outputDirectory / "order.html";
    std::ofstream(file) << html;
    std::printf("   %s\n", file.c_str());
    note("order page", file.string());

    // A screenshot of the page as a browser shows it, when the machine has one.
    const std::filesystem::path chromium = "/usr/bin/chromium";
    if (!std::filesystem::exists(chromium)) {
        note("order screenshot", "skipped: no /usr/bin/chromium");
        return true;
    }
    const auto shot = std::filesystem::absolute(options_.outputDirectory / "order.png");
    const auto profile = std::filesystem::absolute(options_.outputDirectory / ".chromium-profile");
    const std::string command = "timeout 120 " + chromium.string() +
                                " --headless --no-sandbox --disable-gpu --disable-background-networking"
                                " --disable-component-update --disable-sync --no-first-run --hide-scrollbars"
                                " --user-data-dir='" +
                                profile.string() + "' --window-size=1024,900 --screenshot='" + shot.string() +
                                "' 'file://" + std::filesystem::absolute(file).string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(shot))
        return fail("order screenshot", "chromium failed");
    std::filesystem::remove_all(profile);
    std::printf("   %s\n", shot.c_str());
    note("order screenshot", shot.string());
    return true;
}

void DemoRoad::printSummary() const {
    std::printf("\nSummary\n");
    for (const auto& [what, where] : outputs_) std::printf("  %-24s %s\n", what.c_str(), where.c_str());
    if (failure_)
        std::printf("  stopped at %s\n", failure_->c_str());
    else
        std::printf("  every step succeeded; outputs in %s\n", options_.outputDirectory.c_str());
}

}  // namespace demo
