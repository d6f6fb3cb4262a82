#include "io/usable_cpus.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>

namespace talvik::io {
namespace {

TEST(UsableCpus, QuotaRoundsUpAndMaxMeansNone) {
    EXPECT_EQ(cpus_of_quota("150000 100000"), 2);
    EXPECT_EQ(cpus_of_quota("100000 100000"), 1);
    EXPECT_EQ(cpus_of_quota("50000 100000"), 1);
    EXPECT_EQ(cpus_of_quota("400000 100000\n"), 4);
    EXPECT_EQ(cpus_of_quota("max 100000"), std::nullopt);
    EXPECT_EQ(cpus_of_quota("-1 100000"), std::nullopt);  // cgroup v1's "no quota"
    EXPECT_EQ(cpus_of_quota(""), std::nullopt);
    EXPECT_EQ(cpus_of_quota(" "), std::nullopt);
}

TEST(UsableCpus, FollowTheAffinityMask) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_LE(usable_cpu_count(), CPU_COUNT(&all));
    int first = 0;
    while (!CPU_ISSET(first, &all)) ++first;
    // Run on a thread of its own so the mask never outlives the check.
    int pinned = 0;
    std::thread([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        if (sched_setaffinity(0, sizeof one, &one) == 0) pinned = usable_cpu_count();
    }).join();
    EXPECT_EQ(pinned, 1);
}

}  // namespace
}  // namespace talvik::io
