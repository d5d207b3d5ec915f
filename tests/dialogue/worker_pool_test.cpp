#include "dialogue/worker_pool.hpp"

#include <atomic>
#include <cfenv>
#include <chrono>
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
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::atomic<int>> runs(64);
    std::atomic<std::size_t> onCaller{0};
    auto task = [&](std::size_t chunk) {
        runs[chunk].fetch_add(1, std::memory_order_relaxed);
        if (std::this_thread::get_id() == caller) onCaller.fetch_add(1, std::memory_order_relaxed);
    };
    pool.begin(runs.size(), task);
    std::size_t byCaller = 0;
    while (pool.runOneChunk()) ++byCaller;
    pool.end();
    for (std::size_t c = 0; c < runs.size(); ++c) EXPECT_EQ(runs[c].load(), 1) << "chunk " << c;
    // runOneChunk says true exactly for the chunks it ran on the calling thread.
    EXPECT_EQ(byCaller, onCaller.load());
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
    // The caller takes no chunk here, so every chunk runs on a helper; the wait is bounded so
    // that a pool whose helpers never take a chunk fails instead of hanging.
    std::fenv_t saved;
    std::fegetenv(&saved);
    std::fesetround(FE_DOWNWARD);
    feenableexcept(FE_DIVBYZERO | FE_OVERFLOW);
    const int callerTraps = fegetexcept();
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> rounding(64, -1), traps(64, -1);
    std::vector<std::atomic<bool>> onHelper(64);
    std::atomic<std::size_t> done{0};
    {
        WorkerPool pool(2);
        ASSERT_EQ(pool.threads(), 2u);
        auto task = [&](std::size_t chunk) {
            rounding[chunk] = std::fegetround();
            traps[chunk] = fegetexcept();
            onHelper[chunk].store(std::this_thread::get_id() != caller, std::memory_order_relaxed);
            done.fetch_add(1, std::memory_order_release);
        };
        pool.begin(rounding.size(), task);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (done.load(std::memory_order_acquire) < rounding.size() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        pool.end();
    }
    std::fesetenv(&saved);
    ASSERT_EQ(done.load(), rounding.size()) << "the helper did not take every chunk";
    for (std::size_t c = 0; c < rounding.size(); ++c) {
        EXPECT_TRUE(onHelper[c].load()) << "chunk " << c;
        EXPECT_EQ(rounding[c], FE_DOWNWARD);
        EXPECT_EQ(traps[c], callerTraps);
    }
}

}  // namespace
