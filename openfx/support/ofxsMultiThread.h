#pragma once

// Work split across the host's threads through its multi-thread suite; without the suite the work runs on
// the calling thread.

#include "ofxMultiThread.h"

namespace OFX {
namespace MultiThread {

// Number of CPUs the host lets us use (1 without the suite).
unsigned int getNumCPUs();
// Index of the calling thread among the spawned ones (0 outside them or without the suite).
unsigned int getThreadIndex();
bool isSpawnedThread();

class Processor {
  public:
    Processor() = default;
    virtual ~Processor() = default;

    // Runs on every thread with its index among nThreads.
    virtual void multiThreadFunction(unsigned int threadId, unsigned int nThreads) = 0;
    // Runs multiThreadFunction on nCPUs threads (0: as many as the host offers). An exception thrown on a
    // worker is carried over and rethrown here, after every thread has finished.
    virtual void multiThread(unsigned int nCPUs = 0);
};

// A host mutex, or a local one when the host offers none.
class Mutex {
  public:
    explicit Mutex(int lockCount = 0);
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();
    bool tryLock();

  private:
    OfxMutexHandle handle_ = nullptr;
    void* local_ = nullptr;
};

class AutoMutex {
  public:
    explicit AutoMutex(Mutex& m) : mutex_(m) { mutex_.lock(); }
    ~AutoMutex() { mutex_.unlock(); }
    AutoMutex(const AutoMutex&) = delete;
    AutoMutex& operator=(const AutoMutex&) = delete;

  private:
    Mutex& mutex_;
};

}  // namespace MultiThread
}  // namespace OFX
