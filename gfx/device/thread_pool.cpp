#include "gfx/device/thread_pool.h"

namespace gfx {

unsigned HardwareThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

ThreadPool::ThreadPool(unsigned threads) {
    if (threads == 0) threads = 1;
    for (unsigned i = 1; i < threads; ++i) workers_.emplace_back([this, i] { WorkerLoop(i); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ThreadPool::RunShare(unsigned worker) {
    for (;;) {
        size_t index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (next_ >= count_) return;
            index = next_++;
        }
        (*job_)(index, worker);
    }
}

void ThreadPool::ParallelFor(size_t count, const std::function<void(size_t, unsigned)>& fn) {
    if (count == 0) return;
    if (workers_.empty() || count == 1) {
        for (size_t i = 0; i < count; ++i) fn(i, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &fn;
        count_ = count;
        next_ = 0;
        busy_ = unsigned(workers_.size());
        ++generation_;
    }
    wake_.notify_all();
    RunShare(0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return busy_ == 0; });
    job_ = nullptr;
}

void ThreadPool::WorkerLoop(unsigned worker) {
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
        }
        RunShare(worker);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (--busy_ == 0) done_.notify_one();
        }
    }
}

}  // namespace gfx
