#include "platform/db/StandbyJudge.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tunnel::db;

namespace {

constexpr int kMaxLagSeconds = 30;

// A standby streaming from its primary, heard a second ago, with all the primary had replayed.
StandbyReading current() {
    return {true, QStringLiteral("streaming"), 1000, 60'000, true, 3'600'000};
}

struct Case {
    const char* name;
    StandbyReading reading;
    bool current;
};

class StandbyJudgement : public ::testing::TestWithParam<Case> {};

TEST_P(StandbyJudgement, ReadsAreSentToAStandbyOnlyWhileItFollowsItsPrimary) {
    EXPECT_EQ(isCurrentStandby(GetParam().reading, kMaxLagSeconds), GetParam().current);
}

StandbyReading with(const std::function<void(StandbyReading&)>& change) {
    StandbyReading reading = current();
    change(reading);
    return reading;
}

INSTANTIATE_TEST_SUITE_P(
    Readings, StandbyJudgement,
    ::testing::Values(
        Case{"StreamingAndReplayedAll", current(), true},
        Case{"ReceiverWaitingNotStreaming",
             with([](StandbyReading& r) { r.receiverStatus = QStringLiteral("waiting"); }), false},
        Case{"ReceiverStarting",
             with([](StandbyReading& r) { r.receiverStatus = QStringLiteral("starting"); }), false},
        Case{"NoReceiver", with([](StandbyReading& r) { r.receiverStatus.clear(); }), false},
        Case{"HeardAtTheTimeout", with([](StandbyReading& r) { r.msSinceHeard = 60'000; }), true},
        Case{"HeardPastTheTimeout", with([](StandbyReading& r) { r.msSinceHeard = 60'001; }),
             false},
        Case{"NoTimeoutSetMeansAMinute", with([](StandbyReading& r) {
                 r.receiverTimeoutMs = 0;
                 r.msSinceHeard = 60'001;
             }),
             false},
        Case{"BehindButReplayingAtTheLag", with([](StandbyReading& r) {
                 r.replayedAll = false;
                 r.msSinceReplayed = kMaxLagSeconds * 1000;
             }),
             true},
        Case{"BehindPastTheLag", with([](StandbyReading& r) {
                 r.replayedAll = false;
                 r.msSinceReplayed = kMaxLagSeconds * 1000 + 1;
             }),
             false},
        Case{"APrimary", with([](StandbyReading& r) { r.inRecovery = false; }), false}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
