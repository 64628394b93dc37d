#include "HostRecords.h"

#include <algorithm>

namespace vhost {

void HostRecords::addMessage(MessageRecord m) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (m.persistent) {
        // One persistent message per object: a new one replaces the old.
        persistent_.erase(std::remove_if(persistent_.begin(), persistent_.end(),
                                         [&](const MessageRecord& r) { return r.handle == m.handle; }),
                          persistent_.end());
        persistent_.push_back(m);
    }
    messages_.push_back(std::move(m));
}

void HostRecords::clearPersistent(void* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    persistent_.erase(std::remove_if(persistent_.begin(), persistent_.end(),
                                     [&](const MessageRecord& r) { return r.handle == handle; }),
                      persistent_.end());
}

void HostRecords::addProgress(ProgressRecord p) {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.push_back(std::move(p));
}

void HostRecords::addDraw(DrawRecord d) {
    std::lock_guard<std::mutex> lock(mutex_);
    draws_.push_back(std::move(d));
}

void HostRecords::addAction(ActionRecord a) {
    std::lock_guard<std::mutex> lock(mutex_);
    actions_.push_back(std::move(a));
}

void HostRecords::addSuiteRequest(SuiteRequest s) {
    std::lock_guard<std::mutex> lock(mutex_);
    suites_.push_back(std::move(s));
}

void HostRecords::addRedraw() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++redraws_;
}

void HostRecords::addThreadRun(unsigned threads) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++threadRuns_;
    mostThreads_ = std::max(mostThreads_, threads);
}

std::vector<MessageRecord> HostRecords::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}
std::vector<MessageRecord> HostRecords::persistentMessages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return persistent_;
}
std::vector<ProgressRecord> HostRecords::progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}
std::vector<DrawRecord> HostRecords::draws() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return draws_;
}
std::vector<ActionRecord> HostRecords::actions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return actions_;
}
std::vector<SuiteRequest> HostRecords::suiteRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return suites_;
}
int HostRecords::redraws() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return redraws_;
}
int HostRecords::threadRuns() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threadRuns_;
}
unsigned HostRecords::mostThreads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostThreads_;
}

void HostRecords::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
    persistent_.clear();
    progress_.clear();
    draws_.clear();
    actions_.clear();
    suites_.clear();
    redraws_ = 0;
    threadRuns_ = 0;
    mostThreads_ = 0;
}

}  // namespace vhost
