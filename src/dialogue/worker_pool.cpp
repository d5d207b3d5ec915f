#include "dialogue/worker_pool.hpp"

#include <chrono>
#include <system_error>

namespace {

// The fit's full evaluations come in runs a few tens of microseconds apart: a helper that
// spins about that long before it sleeps joins the next one without a system call, and one
// that is not needed for a while (the cheap evaluations in between) gives its core back.
constexpr std::chrono::microseconds helperSpin{100};
// Waiting for a helper to finish the chunk it has begun: short, so pause before yielding.
constexpr int spinRounds = 2000;

constexpr std::uint64_t openBit = std::uint64_t{1} << 31;
constexpr std::uint64_t helperMask = openBit - 1;

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

std::uint64_t stateOf(std::uint32_t generation, bool open) {
    return (std::uint64_t{generation} << 32) | (open ? openBit : 0);
}

}  // namespace

void waitRound(int round) {
    if (round < spinRounds) {
        relax();
    } else {
        std::this_thread::yield();
    }
}

WorkerPool::WorkerPool(unsigned threads) {
    std::fegetenv(&environment_);
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers_.emplace_back([this] { help(); });
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the pool works with those it has
        }
    }
}

WorkerPool::~WorkerPool() {
    stopping_.store(true, std::memory_order_release);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
}

bool WorkerPool::runOneChunk() {
    const std::size_t chunk = nextChunk_.fetch_add(1, std::memory_order_relaxed);
    if (chunk >= chunks_) return false;
    function_(task_, chunk);
    return true;
}

void WorkerPool::begin(std::size_t chunks, TaskFunction function, void* task) {
    function_ = function;
    task_ = task;
    chunks_ = chunks;
    nextChunk_.store(0, std::memory_order_relaxed);
    if (helpers_.empty()) return;
    const std::uint32_t generation = generation_.load(std::memory_order_relaxed) + 1;
    state_.store(stateOf(generation, true), std::memory_order_release);
    generation_.store(generation, std::memory_order_release);
    generation_.notify_all();
}

void WorkerPool::end() {
    if (helpers_.empty()) return;
    // Close the task to latecomers, then wait for the helpers in it to finish their chunks.
    std::uint64_t state = state_.fetch_and(~openBit, std::memory_order_acq_rel) & ~openBit;
    for (int round = 0; (state & helperMask) != 0; ++round) {
        waitRound(round);
        state = state_.load(std::memory_order_acquire);
    }
}

void WorkerPool::help() {
    std::fesetenv(&environment_);
    std::uint32_t seen = 0;
    for (;;) {
        const auto spinEnd = std::chrono::steady_clock::now() + helperSpin;
        for (int round = 1; generation_.load(std::memory_order_acquire) == seen; ++round) {
            if (round % 64 == 0 && std::chrono::steady_clock::now() > spinEnd) break;
            relax();
        }
        while (generation_.load(std::memory_order_acquire) == seen) generation_.wait(seen, std::memory_order_acquire);
        if (stopping_.load(std::memory_order_acquire)) return;
        seen = generation_.load(std::memory_order_acquire);

        // Join the task only while it is open and still the one just seen.
        const std::uint64_t open = stateOf(seen, true);
        std::uint64_t state = state_.load(std::memory_order_acquire);
        bool joined = false;
        while ((state & ~helperMask) == open) {
            if (state_.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel)) {
                joined = true;
                break;
            }
        }
        if (!joined) continue;
        while (runOneChunk()) {
        }
        state_.fetch_sub(1, std::memory_order_release);
    }
}
