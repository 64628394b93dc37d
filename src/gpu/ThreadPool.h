#pragma once

// CPU parallelism for the host backend: a pool of worker threads sized to the machine, reused by
// every kernel launch and by host-only fast paths. A host application may install its own
// multithreading (the OpenFX multithread suite) in place of the pool.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ThreadPool {
  public:
    // `threadCount` threads take part in each run: the caller plus threadCount - 1 workers.
    explicit ThreadPool(unsigned threadCount);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    unsigned threadCount() const { return threadCount_; }

    // Calls task(i) once for every i in [0, count) and returns when all calls are done. The calling
    // thread works too, so nested and concurrent runs always progress. The first exception a task
    // throws is rethrown here after the other calls finished.
    void run(std::size_t count, const std::function<void(std::size_t)>& task);

    // The process-wide pool, std::thread::hardware_concurrency() threads.
    static ThreadPool& shared();

  private:
    struct Job;
    void workerLoop();

    unsigned threadCount_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
    bool stopping_ = false;
};

// A host-supplied multithread function: runs work(i) for i in [0, threadCount) concurrently and
// returns when all have returned.
using HostMultithreadFunction =
    std::function<void(unsigned threadCount, const std::function<void(unsigned threadIndex)>& work)>;

// Installs `function` for parallelFor (threadCount threads); an empty function restores the pool.
void setHostMultithread(HostMultithreadFunction function, unsigned threadCount);

// Runs task(i) for every i in [0, count) in parallel, on the installed function or the shared pool.
// Calls made from inside a host-spawned thread run inline.
void parallelFor(std::size_t count, const std::function<void(std::size_t index)>& task);

// Number of threads parallelFor spreads work over.
unsigned parallelThreadCount();
