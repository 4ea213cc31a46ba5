#include "DemoRoad.hpp"

#include "Await.hpp"
#include "DemoStudio.hpp"
#include "TerminalProgress.hpp"

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

DemoRoad::DemoRoad(DemoOptions options) : options_(std::move(options)), scene_(vantrel::SCNScene::make()) {}

int DemoRoad::run() {
    std::filesystem::create_directories(options_.outputDirectory);
    const bool ok = signIn() && listCatalogue() && loadModels() && placeAndDock() && recolour() && takePictures() &&
                    saveConcept() && renderOrder();
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
        models_.push_back(model);
    }
    note("loaded models", std::to_string(models_.size()));
    return true;
}

bool DemoRoad::placeAndDock() {
    std::printf("\n4. Placing the models and docking the corner module to the sofa\n");
    const auto& sofa = models_.at(0);
    const auto& corner = models_.at(1);
    const auto& chair = models_.at(2);
    for (const auto& model : models_) scene_->rootNode()->addChildNode(model);

    // The corner stands apart at first; its snapping area names the sofa, so selecting it shows a
    // snapping point on the sofa, and a drop there docks it exactly.
    corner->setPosition({4.0f, 0.0f, 0.0f});
    const auto points = vantrel::docking::buildSnappingNodes(corner, models_);
    if (points.empty()) return fail("docking", "the corner module shows no snapping point on the sofa");
    vantrel::docking::dock(*corner, *points.front());
    vantrel::docking::removeSnappingNodes(models_);

    const auto box = sofa->boundingBox();
    chair->setPosition({box.min.x - 1.2f, 0.0f, 0.6f});
    const auto at = corner->position();
    std::printf("   %zu snapping point(s) offered; the corner docked at (%.2f, %.2f, %.2f)\n", points.size(), at.x,
                at.y, at.z);
    note("docked corner module", "at the sofa's snapping point");
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
        models_.at(index)->assignMaterial(std::get<0>(*built), parts);
        assignedMaterials_.emplace_back(index, tag, materialId);
        std::printf("   %s, %s: \"%s\" on %zu tagged part(s)\n", component->genericName().c_str(), tag,
                    material->name().c_str(), parts.size());
        note(std::string("re-coloured ") + tag, material->name());
    }
    return true;
}

bool DemoRoad::takePictures() {
    std::printf("\n6. Drawing the arrangement (offscreen OpenGL)\n");
    // Let the docking move finish before the pictures are taken.
    vantrel::MainRunLoop::runUntil([] { return false; }, std::chrono::milliseconds(400));
    DemoStudio studio(scene_, options_.pictureWidth, options_.pictureHeight);
    const auto picture = [&](const std::string& name) {
        const auto file = options_.outputDirectory / ("canvas-" + name + ".png");
        if (auto error = studio.write(file)) return fail("picture " + name, *error);
        std::printf("   %s\n", file.c_str());
        note("picture: " + name, file.string());
        return true;
    };
    for (const auto& mood : DemoStudio::moods()) {
        studio.apply(mood);
        if (!picture(mood.name)) return false;
    }
    studio.apply(DemoStudio::moods().front());
    studio.setFloorShown(false);
    if (!picture("no-floor")) return false;
    studio.setFloorShown(true);

    // The selected model glows; the sofa shows its sizes.
    const auto& corner = models_.at(1);
    corner->highlight(vantrel::ModelHighlightingMode::glow);
    if (auto error = studio.setGlow(true, vantrel::UIColor{1.0, 0.55, 0.1, 1.0})) return fail("glow", *error);
    models_.at(0)->showSizes(vantrel::UIColor{0.1, 0.1, 0.1, 1.0}, vantrel::UIColor{0.1, 0.1, 0.1, 1.0});
    if (!picture("selected-glow-sizes")) return false;
    corner->unhighlight();
    models_.at(0)->hideSizes();
    (void)studio.setGlow(false, {});
    return true;
}

bool DemoRoad::saveConcept() {
    std::printf("\n7. Saving the arrangement as a concept in the local store\n");
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
    std::printf("\n8. Rendering the order page\n");
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
