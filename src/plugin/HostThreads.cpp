#include "plugin/HostThreads.h"

#include <functional>

#include "gpu/ThreadPool.h"
#include "log/PluginLog.h"
#include "ofxsMultiThread.h"
#include "ofxsSuites.h"

namespace {

// One call of the host's suite: every thread it spawns runs work(threadIndex).
class HostThreadRun : public OFX::MultiThread::Processor {
  public:
    explicit HostThreadRun(const std::function<void(unsigned)>& work) : work_(work) {}
    void multiThreadFunction(unsigned int threadId, unsigned int) override { work_(threadId); }

  private:
    const std::function<void(unsigned)>& work_;
};

}  // namespace

void useHostThreads() {
    if (!OFX::hostSuites().multiThread) return;
    const unsigned threads = OFX::MultiThread::getNumCPUs();
    setHostMultithread(
        [](unsigned count, const std::function<void(unsigned)>& work) {
            HostThreadRun run(work);
            // Work a failed call leaves undone is finished by the caller (parallelFor).
            try {
                run.multiThread(count);
            } catch (...) {
            }
        },
        threads);
    VLOG_INFO("CPU work runs on the host's threads (%u)", threads);
}

void releaseHostThreads() {
    setHostMultithread(nullptr, 0);
}
