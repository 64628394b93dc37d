// The memory, multi-thread, message, progress and time-line suites.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "EffectObject.h"
#include "Host.h"
#include "Suites.h"

namespace vhost {

namespace {

Host* hostOf(void* handle) {
    if (EffectObject* fx = EffectObject::fromVoid(handle)) return fx->host();
    return Host::current();
}

// Memory.
OfxStatus memoryAlloc(void*, size_t bytes, void** data) {
    if (data == nullptr) return kOfxStatErrBadHandle;
    *data = std::malloc(bytes == 0 ? 1 : bytes);
    return *data ? kOfxStatOK : kOfxStatErrMemory;
}

OfxStatus memoryFree(void* data) {
    std::free(data);
    return kOfxStatOK;
}

const OfxMemorySuiteV1 kMemorySuite = {memoryAlloc, memoryFree};

// Multi-thread: real threads; the calling thread takes no share of the work.
thread_local unsigned gThreadIndex = 0;
thread_local bool gSpawned = false;

unsigned cpuCount() {
    if (const Host* host = Host::current(); host && host->cpuCount() > 0) return host->cpuCount();
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

OfxStatus multiThread(OfxThreadFunctionV1 function, unsigned int count, void* arg) {
    if (function == nullptr) return kOfxStatErrBadHandle;
    if (count == 0) count = cpuCount();
    if (Host* host = Host::current()) host->records().addThreadRun(gSpawned ? 1 : count);
    if (count == 1 || gSpawned) {
        // A single share, or a nested call from a spawned thread, runs on the calling thread.
        const unsigned savedIndex = gThreadIndex;
        for (unsigned i = 0; i < count; ++i) {
            gThreadIndex = i;
            function(i, count, arg);
        }
        gThreadIndex = savedIndex;
        return kOfxStatOK;
    }
    std::vector<std::thread> threads;
    threads.reserve(count);
    try {
        for (unsigned i = 0; i < count; ++i)
            threads.emplace_back([=] {
                gThreadIndex = i;
                gSpawned = true;
                try {
                    function(i, count, arg);
                } catch (...) {
                    // An exception must not leave a thread; the plug-in's share is lost.
                }
            });
    } catch (const std::system_error&) {
        for (auto& t : threads) t.join();
        return kOfxStatErrMemory;
    }
    for (auto& t : threads) t.join();
    return kOfxStatOK;
}

OfxStatus multiThreadNumCPUs(unsigned int* count) {
    if (count == nullptr) return kOfxStatErrBadHandle;
    *count = cpuCount();
    return kOfxStatOK;
}

OfxStatus multiThreadIndex(unsigned int* index) {
    if (index == nullptr) return kOfxStatErrBadHandle;
    *index = gThreadIndex;
    return kOfxStatOK;
}

int multiThreadIsSpawnedThread() {
    return gSpawned ? 1 : 0;
}

class HostMutex : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::Mutex;
    HostMutex() : HandleTag(kHandleKind) {}
    std::recursive_mutex mutex;
};

OfxStatus mutexCreate(OfxMutexHandle* handle, int lockCount) {
    if (handle == nullptr) return kOfxStatErrBadHandle;
    auto* m = new HostMutex;
    for (int i = 0; i < lockCount; ++i) m->mutex.lock();
    *handle = toHandle<OfxMutexHandle>(m);
    return kOfxStatOK;
}

OfxStatus mutexDestroy(const OfxMutexHandle handle) {
    HostMutex* m = fromHandle<HostMutex>(handle);
    if (m == nullptr) return kOfxStatErrBadHandle;
    delete m;
    return kOfxStatOK;
}

OfxStatus mutexLock(const OfxMutexHandle handle) {
    HostMutex* m = fromHandle<HostMutex>(handle);
    if (m == nullptr) return kOfxStatErrBadHandle;
    m->mutex.lock();
    return kOfxStatOK;
}

OfxStatus mutexUnLock(const OfxMutexHandle handle) {
    HostMutex* m = fromHandle<HostMutex>(handle);
    if (m == nullptr) return kOfxStatErrBadHandle;
    m->mutex.unlock();
    return kOfxStatOK;
}

OfxStatus mutexTryLock(const OfxMutexHandle handle) {
    HostMutex* m = fromHandle<HostMutex>(handle);
    if (m == nullptr) return kOfxStatErrBadHandle;
    return m->mutex.try_lock() ? kOfxStatOK : kOfxStatFailed;
}

const OfxMultiThreadSuiteV1 kMultiThreadSuite = {
    multiThread, multiThreadNumCPUs, multiThreadIndex, multiThreadIsSpawnedThread, mutexCreate, mutexDestroy,
    mutexLock,   mutexUnLock,        mutexTryLock,
};

// Messages: recorded; questions get the host's configured reply.
std::string format(const char* fmt, va_list args) {
    if (fmt == nullptr) return "";
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return "";
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

OfxStatus record(void* handle, const char* type, const char* id, bool persistent, const char* fmt,
                 va_list args) {
    Host* host = hostOf(handle);
    if (host == nullptr) return kOfxStatFailed;
    MessageRecord m{type ? type : "", id ? id : "", format(fmt, args), persistent, handle};
    const bool question = m.type == kOfxMessageQuestion;
    host->records().addMessage(std::move(m));
    return question ? host->questionReply() : kOfxStatOK;
}

OfxStatus message(void* handle, const char* type, const char* id, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const OfxStatus status = record(handle, type, id, false, fmt, args);
    va_end(args);
    return status;
}

OfxStatus setPersistentMessage(void* handle, const char* type, const char* id, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const OfxStatus status = record(handle, type, id, true, fmt, args);
    va_end(args);
    return status;
}

OfxStatus clearPersistentMessage(void* handle) {
    Host* host = hostOf(handle);
    if (host == nullptr) return kOfxStatFailed;
    host->records().clearPersistent(handle);
    return kOfxStatOK;
}

const OfxMessageSuiteV1 kMessageSuiteV1 = {message};
const OfxMessageSuiteV2 kMessageSuiteV2 = {message, setPersistentMessage, clearPersistentMessage};

// Progress: recorded; an update answers kOfxStatReplyNo when the host wants the work to stop.
OfxStatus progressStartV2(void* handle, const char* label, const char* id) {
    Host* host = hostOf(handle);
    if (host == nullptr) return kOfxStatFailed;
    host->records().addProgress(
        ProgressRecord{ProgressRecord::Kind::Start, label ? label : "", id ? id : "", 0.0});
    return kOfxStatOK;
}

OfxStatus progressStartV1(void* handle, const char* label) {
    return progressStartV2(handle, label, "");
}

OfxStatus progressUpdate(void* handle, double fraction) {
    Host* host = hostOf(handle);
    if (host == nullptr) return kOfxStatFailed;
    host->records().addProgress(ProgressRecord{ProgressRecord::Kind::Update, "", "", fraction});
    return host->cancelProgress() ? kOfxStatReplyNo : kOfxStatOK;
}

OfxStatus progressEnd(void* handle) {
    Host* host = hostOf(handle);
    if (host == nullptr) return kOfxStatFailed;
    host->records().addProgress(ProgressRecord{ProgressRecord::Kind::End, "", "", 1.0});
    return kOfxStatOK;
}

const OfxProgressSuiteV1 kProgressSuiteV1 = {progressStartV1, progressUpdate, progressEnd};
const OfxProgressSuiteV2 kProgressSuiteV2 = {progressStartV2, progressUpdate, progressEnd};

// Time line.
OfxStatus getTime(void* handle, double* time) {
    Host* host = hostOf(handle);
    if (host == nullptr || time == nullptr) return kOfxStatErrBadHandle;
    *time = host->time();
    return kOfxStatOK;
}

OfxStatus gotoTime(void* handle, double time) {
    Host* host = hostOf(handle);
    if (host == nullptr) return kOfxStatErrBadHandle;
    host->gotoTime(time);
    return kOfxStatOK;
}

OfxStatus getTimeBounds(void* handle, double* first, double* last) {
    Host* host = hostOf(handle);
    if (host == nullptr || first == nullptr || last == nullptr) return kOfxStatErrBadHandle;
    host->timeBounds(first, last);
    return kOfxStatOK;
}

const OfxTimeLineSuiteV1 kTimeLineSuite = {getTime, gotoTime, getTimeBounds};

}  // namespace

const OfxMemorySuiteV1* memorySuite() {
    return &kMemorySuite;
}
const OfxMultiThreadSuiteV1* multiThreadSuite() {
    return &kMultiThreadSuite;
}
const OfxMessageSuiteV1* messageSuiteV1() {
    return &kMessageSuiteV1;
}
const OfxMessageSuiteV2* messageSuiteV2() {
    return &kMessageSuiteV2;
}
const OfxProgressSuiteV1* progressSuiteV1() {
    return &kProgressSuiteV1;
}
const OfxProgressSuiteV2* progressSuiteV2() {
    return &kProgressSuiteV2;
}
const OfxTimeLineSuiteV1* timeLineSuite() {
    return &kTimeLineSuite;
}

}  // namespace vhost
