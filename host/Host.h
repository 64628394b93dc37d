#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HostIdentity.h"
#include "HostRecords.h"
#include "PropertySet.h"
#include "ofxCore.h"

namespace vhost {

class PluginBinary;

// Our OpenFX host: its identity and property set, the suites it hands to plug-ins, its time
// line, and the records of what plug-ins reported. A Host must outlive everything loaded
// through it.
class Host {
  public:
    explicit Host(HostIdentity identity = HostIdentity());
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const HostIdentity& identity() const { return identity_; }
    PropertySet& properties() { return props_; }
    OfxHost* ofxHost() { return &ofxHost_; }
    HostRecords& records() { return records_; }

    // Loads a bundle (a NAME.ofx.bundle folder, or a plug-in binary itself); throws HostError.
    PluginBinary load(const std::string& bundlePath);

    // Bundles in the given folders (searched recursively) and, when asked, in OFX_PLUGIN_PATH.
    static std::vector<std::string> findBundles(const std::vector<std::string>& folders, bool useEnvironment);
    // The binary inside a bundle folder for this platform.
    static std::string binaryPathOf(const std::string& bundlePath);

    // The suite of that name and version, or null; every request is recorded.
    const void* fetchSuite(const char* name, int version);
    static Host* fromHandle(OfxPropertySetHandle hostProps);
    // The most recently created host still alive (for suite calls that carry no handle).
    static Host* current();

    // Time line.
    double time() const;
    void gotoTime(double time);
    void timeBounds(double* first, double* last) const;
    void setTimeBounds(double first, double last);

    // Replies the host gives: to kOfxMessageQuestion, and whether progress updates ask to stop.
    void setQuestionReply(OfxStatus reply) { questionReply_ = reply; }
    OfxStatus questionReply() const { return questionReply_; }
    void setCancelProgress(bool cancel) { cancelProgress_ = cancel; }
    bool cancelProgress() const { return cancelProgress_; }

    // The number of CPUs the multi-thread suite offers plug-ins (0: the machine's).
    void setCpuCount(unsigned count) { cpuCount_ = count; }
    unsigned cpuCount() const { return cpuCount_; }

  private:
    HostIdentity identity_;
    PropertySet props_;
    OfxHost ofxHost_;
    HostRecords records_;
    mutable std::mutex timeMutex_;
    double time_ = 0.0;
    double first_ = 0.0;
    double last_ = 99.0;
    OfxStatus questionReply_ = kOfxStatReplyYes;
    bool cancelProgress_ = false;
    unsigned cpuCount_ = 0;
};

}  // namespace vhost
