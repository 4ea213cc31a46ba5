#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/files/ProgressCombiner.hpp"
#include "vantrel/files/ProgressNotifications.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using vantrel::ProgressCombiner;
using vantrel::ProgressStatus;

namespace {
using Report = std::pair<ProgressStatus, double>;
struct Recorder {
    std::vector<Report> reports;
    vantrel::ProgressBlock block() {
        return [this](ProgressStatus s, double f) { reports.emplace_back(s, f); };
    }
};
}  // namespace

TEST(ProgressCombiner, ZeroStepsReportOnlyDone) {
    Recorder recorder;
    auto combiner = ProgressCombiner::make(0, recorder.block());
    combiner->report(0, ProgressStatus::downloading, 0.5);  // no such step: ignored
    combiner->done();
    EXPECT_EQ(recorder.reports, (std::vector<Report>{{ProgressStatus::done, 1.0}}));
}

TEST(ProgressCombiner, TwoPhaseDownloadReportsTheMeanOfItsSlots) {
    Recorder recorder;
    auto combiner = ProgressCombiner::make(2, recorder.block());
    combiner->report(0, ProgressStatus::downloading, 1.0);  // signed URL obtained
    combiner->report(1, ProgressStatus::downloading, 0.4);  // 40 % of the transfer
    combiner->done();
    ASSERT_EQ(recorder.reports.size(), 3u);
    EXPECT_EQ(recorder.reports[0], (Report{ProgressStatus::downloading, 0.5}));
    EXPECT_EQ(recorder.reports[1].first, ProgressStatus::downloading);
    EXPECT_DOUBLE_EQ(recorder.reports[1].second, 0.7);
    EXPECT_EQ(recorder.reports[2], (Report{ProgressStatus::done, 1.0}));
}

TEST(ProgressCombiner, AStepsDoneIsPassedOnAsLoadingAndNestingKeepsOnlyTheOuterDone) {
    Recorder recorder;
    auto outer = ProgressCombiner::make(4, recorder.block());
    auto inner = ProgressCombiner::make(1, outer->blockForStep(0));
    inner->report(0, ProgressStatus::downloading, 0.5);
    inner->done();
    outer->done();
    ASSERT_EQ(recorder.reports.size(), 3u);
    EXPECT_EQ(recorder.reports[0].first, ProgressStatus::downloading);
    EXPECT_DOUBLE_EQ(recorder.reports[0].second, 0.125);
    EXPECT_EQ(recorder.reports[1], (Report{ProgressStatus::loading, 0.25}));
    EXPECT_EQ(recorder.reports[2], (Report{ProgressStatus::done, 1.0}));
}

TEST(ProgressCombiner, FinishedStepsCountAsFullAndFractionsAreClamped) {
    Recorder recorder;
    auto combiner = ProgressCombiner::make(2, recorder.block());
    combiner->finishStep(1);
    combiner->report(0, ProgressStatus::processing, 7.0);
    EXPECT_EQ(recorder.reports[0], (Report{ProgressStatus::loading, 0.5}));
    EXPECT_EQ(recorder.reports[1], (Report{ProgressStatus::processing, 1.0}));
    // An empty block is allowed.
    auto silent = ProgressCombiner::make(1, {});
    silent->finishStep(0);
    silent->done();
    EXPECT_DOUBLE_EQ(silent->fraction(), 1.0);
}

TEST(ProgressNotifications, PostTheirNameWithTheFourValuesInOrder) {
    auto& center = vantrel::NotificationCenter::defaultCenter();
    std::vector<std::pair<std::string, vantrel::ProgressInfo>> seen;
    vantrel::ScopedObserver all(center, "", [&](const vantrel::Notification& n) {
        if (const auto* info = std::any_cast<vantrel::ProgressInfo>(&n.object)) seen.emplace_back(n.name, *info);
    });
    vantrel::postComponentProgressNotification("c1", "loading sofa", ProgressStatus::caching, 0.25);
    vantrel::postMaterialProgressNotification("m1", "", ProgressStatus::done, 1.0);
    vantrel::postSceneProgressNotification("s1", "scene", ProgressStatus::processing, 0.5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, "ComponentProgressNotification");
    EXPECT_EQ(seen[0].second.id, "c1");
    EXPECT_EQ(seen[0].second.message, "loading sofa");
    EXPECT_EQ(seen[0].second.status, ProgressStatus::caching);  // delivered unchanged
    EXPECT_EQ(seen[0].second.completed, 0.25);
    EXPECT_EQ(seen[1].first, std::string(vantrel::VantrelSDK::materialProgressNotification));
    EXPECT_EQ(seen[2].first, "SceneProgressNotification");
}

TEST(NotificationNames, AreThePlainStrings) {
    auto& center = vantrel::NotificationCenter::defaultCenter();
    int received = 0;
    vantrel::ScopedObserver observer(center, "ComponentUpdatedNotification",
                                     [&](const vantrel::Notification&) { ++received; });
    center.post(vantrel::VantrelSDK::componentUpdatedNotification);
    EXPECT_EQ(received, 1);
    EXPECT_STREQ(vantrel::VantrelSDK::signOutNotification, "SignOutNotification");
    EXPECT_STREQ(vantrel::VantrelSDK::unsupportedAppVersionNotification, "UnsupportedAppVersionNotification");
    EXPECT_STREQ(vantrel::VantrelSDK::anchorObjectDeletedNotification, "AnchorObjectDeletedNotification");
    EXPECT_STREQ(vantrel::VantrelSDK::appListItemCreatedNotification, "AppListItemCreatedNotification");
    EXPECT_STREQ(vantrel::VantrelSDK::conceptDeletedNotification, "ConceptDeletedNotification");
}
