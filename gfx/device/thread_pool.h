// A small pool of worker threads for the rasteriser. ParallelFor hands out
// indices 0..count-1 to the workers and the calling thread and returns when
// every index is done. One caller at a time (the device's thread).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace gfx {

class ThreadPool {
public:
    // `threads` workers in total, the calling thread included (at least 1).
    explicit ThreadPool(unsigned threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    unsigned size() const { return unsigned(workers_.size()) + 1; }
    // fn(index, worker) with worker in 0..size()-1; each worker number is used
    // by one thread at a time, so it can select per-thread scratch memory.
    void ParallelFor(size_t count, const std::function<void(size_t, unsigned)>& fn);

private:
    void WorkerLoop(unsigned worker);
    void RunShare(unsigned worker);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<std::thread> workers_;
    const std::function<void(size_t, unsigned)>* job_ = nullptr;
    size_t count_ = 0;
    size_t next_ = 0;
    unsigned busy_ = 0;
    uint64_t generation_ = 0;
    bool stop_ = false;
};

// Number of hardware threads (at least 1).
unsigned HardwareThreads();

}  // namespace gfx
