#pragma once
/// A fixed set of threads that stay alive between tasks and help the calling thread through a
/// task split into chunks. The caller takes chunks too, and waits only for chunks that a
/// helper has already begun: a helper that is slow to wake, or not scheduled at all on a busy
/// machine, leaves its share to the caller instead of holding it up.

#include <atomic>
#include <cfenv>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

/// One round of waiting for another thread: a pause for the first rounds, then a yield.
void waitRound(int round);

class WorkerPool {
public:
    /// A pool of `threads` threads counting the caller (at least 1), so threads - 1 helpers are
    /// started, or as many as the system gives. They compute under the caller's floating-point
    /// environment, traps included.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned threads() const { return static_cast<unsigned>(helpers_.size()) + 1; }

    /// Starts task(chunk) for every chunk in [0, chunks), in any order and on any of the
    /// threads: the helpers begin taking chunks at once. Every begin needs its end.
    template <typename Task>
    void begin(std::size_t chunks, Task& task) {
        begin(chunks, &invoke<Task>, &task);
    }
    /// Runs one chunk not yet taken on the calling thread; false when all are taken.
    bool runOneChunk();
    /// Returns once every chunk has run.
    void end();

    /// begin, then every chunk the caller can take, then end.
    template <typename Task>
    void run(std::size_t chunks, Task& task) {
        begin(chunks, task);
        while (runOneChunk()) {
        }
        end();
    }

private:
    using TaskFunction = void (*)(void*, std::size_t);
    template <typename Task>
    static void invoke(void* task, std::size_t chunk) {
        (*static_cast<Task*>(task))(chunk);
    }
    void begin(std::size_t chunks, TaskFunction function, void* task);
    void help();

    std::fenv_t environment_;
    // The task being run; written only while no helper has joined it.
    TaskFunction function_ = nullptr;
    void* task_ = nullptr;
    std::size_t chunks_ = 0;
    std::atomic<std::size_t> nextChunk_{0};
    // Bumped for every task (and for the end), and waited on by idle helpers.
    std::atomic<std::uint32_t> generation_{0};
    // The task's generation (high 32 bits), whether it still takes helpers (bit 31) and how
    // many helpers are in it (low 31 bits).
    std::atomic<std::uint64_t> state_{0};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> helpers_;
};
