#include "gpu/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <exception>

struct ThreadPool::Job {
    const std::function<void(std::size_t)>* task = nullptr;
    std::size_t count = 0;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::exception_ptr error;

    bool exhausted() const { return next.load() >= count; }

    // Claims and runs indices until none is left.
    void work() {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count) return;
            try {
                (*task)(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!error) error = std::current_exception();
            }
            if (done.fetch_add(1) + 1 == count) {
                std::lock_guard<std::mutex> lock(mutex);
                finished.notify_all();
            }
        }
    }
};

ThreadPool::ThreadPool(unsigned threadCount) : threadCount_(std::max(1u, threadCount)) {
    for (unsigned i = 1; i < threadCount_; ++i) workers_.emplace_back([this] { workerLoop(); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

ThreadPool& ThreadPool::shared() {
    static ThreadPool pool(std::max(1u, std::thread::hardware_concurrency()));
    return pool;
}

void ThreadPool::workerLoop() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            job = queue_.front();
            if (job->exhausted()) {
                queue_.pop_front();
                continue;
            }
        }
        job->work();
    }
}

void ThreadPool::run(std::size_t count, const std::function<void(std::size_t)>& task) {
    if (count == 0) return;
    if (workers_.empty() || count == 1) {
        for (std::size_t i = 0; i < count; ++i) task(i);
        return;
    }
    auto job = std::make_shared<Job>();
    job->task = &task;
    job->count = count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
    }
    if (count - 1 >= workers_.size()) {
        wake_.notify_all();
    } else {
        for (std::size_t i = 0; i + 1 < count; ++i) wake_.notify_one();
    }
    job->work();
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        job->finished.wait(lock, [&] { return job->done.load() == count; });
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find(queue_.begin(), queue_.end(), job);
        if (it != queue_.end()) queue_.erase(it);
    }
    if (job->error) std::rethrow_exception(job->error);
}

namespace {

struct HostMultithread {
    std::mutex mutex;
    HostMultithreadFunction function;
    unsigned threadCount = 1;
};

HostMultithread& hostMultithread() {
    static HostMultithread state;
    return state;
}

thread_local bool insideHostThread = false;

}  // namespace

void setHostMultithread(HostMultithreadFunction function, unsigned threadCount) {
    HostMultithread& state = hostMultithread();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.function = std::move(function);
    state.threadCount = std::max(1u, threadCount);
}

unsigned parallelThreadCount() {
    HostMultithread& state = hostMultithread();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.function) return state.threadCount;
    }
    return ThreadPool::shared().threadCount();
}

void parallelFor(std::size_t count, const std::function<void(std::size_t index)>& task) {
    if (count == 0) return;
    HostMultithreadFunction function;
    unsigned threads = 1;
    {
        HostMultithread& state = hostMultithread();
        std::lock_guard<std::mutex> lock(state.mutex);
        function = state.function;
        threads = state.threadCount;
    }
    if (insideHostThread) {
        for (std::size_t i = 0; i < count; ++i) task(i);
        return;
    }
    if (!function) {
        ThreadPool::shared().run(count, task);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::mutex errorMutex;
    std::exception_ptr error;
    auto drain = [&] {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            try {
                task(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(errorMutex);
                if (!error) error = std::current_exception();
            }
        }
    };
    const unsigned used = static_cast<unsigned>(std::min<std::size_t>(threads, count));
    function(used, [&](unsigned) {
        const bool outer = insideHostThread;
        insideHostThread = true;
        drain();
        insideHostThread = outer;
    });
    // Whatever the host's threads left undone (a host may run fewer threads than asked) runs here.
    drain();
    if (error) std::rethrow_exception(error);
}
