// The estimate of a job's seconds from given kernel speeds (no timing), and
// the job's size against the lattice actually built.
#include "Figures.h"
#include "TestGrids.h"
#include "Workload.h"

#include <gtest/gtest.h>

using namespace kelvaro;

namespace {

TEST(Workload, EstimateAddsTheValuationAndTheRevaluationRounds) {
    // 1e10 updates: 2 s at 5e9 a second split; pairs at 2.5e9 each take
    // two rounds of 4 s; without pairs four revaluations at the split speed.
    const struct { int32_t revaluations; CKernelSpeed speed; double seconds; } cases[] = {
        {0, {5e9, 2.5e9, true}, 2},
        {4, {5e9, 2.5e9, true}, 2 + 2 * 4},
        {3, {5e9, 2.5e9, true}, 2 + 2 * 4}, // an odd one takes a round of its own
        {4, {5e9, 5e9, false}, 2 + 4 * 2},
        {4, {0, 2.5e9, true}, 0}, // no speed measured: no estimate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.revaluations << " revaluations, pairs " << c.speed.Pairs);
        EXPECT_DOUBLE_EQ(EstimatedSeconds({1e10, c.revaluations}, c.speed), c.seconds);
    }
}

TEST(Workload, LearnsTheSpeedOfRunsLongEnoughToTell) {
    const CWorkload work{1e10, 4};
    CKernelSpeed speed{5e9, 2.5e9, true};
    LearnSpeed(speed, work, 0.1, 0.2); // start-up, not speed
    EXPECT_EQ(speed.Split, 5e9);
    EXPECT_EQ(speed.OneThread, 2.5e9);
    LearnSpeed(speed, work, 4, 10); // two rounds of pairs in 10 s
    EXPECT_DOUBLE_EQ(speed.Split, 2.5e9);
    EXPECT_DOUBLE_EQ(speed.OneThread, 2e9);
    EXPECT_DOUBLE_EQ(EstimatedSeconds(work, speed), 14);
    CKernelSpeed alone{5e9, 5e9, false};
    LearnSpeed(alone, work, 2, 16); // four in a row at the split speed
    EXPECT_DOUBLE_EQ(alone.Split, 2.5e9);
}

TEST(Workload, SizeIsTheBuiltLatticeAndTheFiguresFourMore) {
    const CGrid g = Valued(WorkedExample());
    CWorkload work;
    ASSERT_TRUE(WorkloadOf(WorkedExample(), true, work));
    EXPECT_EQ(work.Updates, double(g.TotalSteps) * g.NodeCount);
    EXPECT_EQ(work.Revaluations, kFigureRevaluations);
    ASSERT_TRUE(WorkloadOf(WorkedExample(), false, work));
    EXPECT_EQ(work.Revaluations, 0);
    CLatticeSize size;
    ASSERT_TRUE(LatticeSize(WorkedExample(), size));
    EXPECT_EQ(size.DayCount, g.DayCount);
    CGrid refused = WorkedExample();
    refused.Warrant.Expiry = refused.ValuationTime - 1;
    EXPECT_FALSE(WorkloadOf(refused, true, work));
}

} // namespace
