#include "fit/worker_pool.hpp"

#include <atomic>
#include <cfenv>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(WorkerPool, RunsEveryChunkExactlyOnceTaskAfterTask) {
    WorkerPool pool(3);
    ASSERT_EQ(pool.threads(), 3u);
    for (std::size_t chunks = 0; chunks < 300; ++chunks) {
        std::vector<std::atomic<int>> runs(chunks);
        auto task = [&](std::size_t chunk) { runs[chunk].fetch_add(1, std::memory_order_relaxed); };
        pool.run(chunks, task);
        for (std::size_t c = 0; c < chunks; ++c) ASSERT_EQ(runs[c].load(), 1) << chunks << " chunks, chunk " << c;
    }
}

TEST(WorkerPool, CallerTakesChunksBetweenItsOwnWork) {
    WorkerPool pool(2);
    std::vector<std::atomic<bool>> done(64);
    auto task = [&](std::size_t chunk) { done[chunk].store(true, std::memory_order_release); };
    pool.begin(done.size(), task);
    std::size_t byCaller = 0;
    while (pool.runOneChunk()) ++byCaller;
    pool.end();
    for (const auto& d : done) EXPECT_TRUE(d.load(std::memory_order_acquire));
    EXPECT_LE(byCaller, done.size());
}

TEST(WorkerPool, OneThreadRunsEverythingOnTheCaller) {
    WorkerPool pool(1);
    const std::thread::id caller = std::this_thread::get_id();
    int runs = 0;
    auto task = [&](std::size_t) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        ++runs;
    };
    pool.run(10, task);
    EXPECT_EQ(runs, 10);
}

TEST(WorkerPool, HelpersComputeUnderTheCallersFloatingPointEnvironment) {
    // The program traps overflow, invalid operations and division by zero: so must every thread.
    std::fenv_t saved;
    std::fegetenv(&saved);
    std::fesetround(FE_DOWNWARD);
    feenableexcept(FE_DIVBYZERO | FE_OVERFLOW);
    const int callerTraps = fegetexcept();
    std::vector<int> rounding(256), traps(256);
    {
        WorkerPool pool(2);
        auto task = [&](std::size_t chunk) {
            rounding[chunk] = std::fegetround();
            traps[chunk] = fegetexcept();
        };
        pool.run(rounding.size(), task);
    }
    std::fesetenv(&saved);
    for (std::size_t c = 0; c < rounding.size(); ++c) {
        EXPECT_EQ(rounding[c], FE_DOWNWARD);
        EXPECT_EQ(traps[c], callerTraps);
    }
}

}  // namespace
