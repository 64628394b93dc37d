#include "ofxsMultiThread.h"

#include <exception>
#include <mutex>

#include "ofxsCore.h"
#include "ofxsSuites.h"

namespace OFX {
namespace MultiThread {
namespace {

struct Job {
    Processor* processor;
    std::mutex errorMutex;
    std::exception_ptr error;
};

void threadEntry(unsigned int threadIndex, unsigned int threadMax, void* arg) {
    Job* job = static_cast<Job*>(arg);
    try {
        job->processor->multiThreadFunction(threadIndex, threadMax);
    } catch (...) {
        std::lock_guard<std::mutex> lock(job->errorMutex);
        if (!job->error) job->error = std::current_exception();
    }
}

}  // namespace

unsigned int getNumCPUs() {
    const OfxMultiThreadSuiteV1* suite = hostSuites().multiThread;
    unsigned int n = 1;
    if (!suite || suite->multiThreadNumCPUs(&n) != kOfxStatOK || n == 0) return 1;
    return n;
}

unsigned int getThreadIndex() {
    const OfxMultiThreadSuiteV1* suite = hostSuites().multiThread;
    unsigned int index = 0;
    if (!suite || suite->multiThreadIndex(&index) != kOfxStatOK) return 0;
    return index;
}

bool isSpawnedThread() {
    const OfxMultiThreadSuiteV1* suite = hostSuites().multiThread;
    return suite && suite->multiThreadIsSpawnedThread() != 0;
}

void Processor::multiThread(unsigned int nCPUs) {
    const OfxMultiThreadSuiteV1* suite = hostSuites().multiThread;
    if (nCPUs == 0) nCPUs = getNumCPUs();
    if (!suite || nCPUs <= 1) {
        multiThreadFunction(0, 1);
        return;
    }
    Job job;
    job.processor = this;
    OfxStatus st = suite->multiThread(&threadEntry, nCPUs, &job);
    if (job.error) std::rethrow_exception(job.error);
    if (st != kOfxStatOK) {
        // The host could not start its threads: do the work here.
        multiThreadFunction(0, 1);
    }
}

Mutex::Mutex(int lockCount) {
    const OfxMultiThreadSuiteV1* suite = hostSuites().multiThread;
    if (suite && suite->mutexCreate(&handle_, lockCount) == kOfxStatOK && handle_) return;
    handle_ = nullptr;
    local_ = new std::recursive_mutex();
}

Mutex::~Mutex() {
    if (handle_) {
        const OfxMultiThreadSuiteV1* suite = hostSuites().multiThread;
        if (suite) suite->mutexDestroy(handle_);
    }
    delete static_cast<std::recursive_mutex*>(local_);
}

void Mutex::lock() {
    if (local_) {
        static_cast<std::recursive_mutex*>(local_)->lock();
        return;
    }
    throwSuiteStatusException(hostSuites().multiThread->mutexLock(handle_), "mutex lock");
}

void Mutex::unlock() {
    if (local_) {
        static_cast<std::recursive_mutex*>(local_)->unlock();
        return;
    }
    hostSuites().multiThread->mutexUnLock(handle_);
}

bool Mutex::tryLock() {
    if (local_) return static_cast<std::recursive_mutex*>(local_)->try_lock();
    return hostSuites().multiThread->mutexTryLock(handle_) == kOfxStatOK;
}

}  // namespace MultiThread
}  // namespace OFX
