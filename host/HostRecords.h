#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ofxCore.h"

namespace vhost {

// What plug-ins told the host through the message, progress and draw suites, and every action
// the host sent with the status it got back. Tests and the command line read these.
struct MessageRecord {
    std::string type;  // kOfxMessageError, ...
    std::string id;
    std::string text;
    bool persistent = false;
    void* handle = nullptr;
};

struct ProgressRecord {
    enum class Kind { Start, Update, End } kind;
    std::string label;
    std::string id;
    double fraction = 0.0;
};

struct DrawRecord {
    std::string op;  // "setColour", "setLineWidth", "setLineStipple", "draw", "drawText", "getColour"
    int code = 0;    // primitive, stipple pattern, standard colour or text alignment
    std::vector<double> values;  // colour components, line width, or point coordinates x0 y0 x1 y1 ...
    std::string text;
};

struct ActionRecord {
    std::string plugin;
    std::string action;
    OfxStatus status = kOfxStatOK;
    std::string note;  // e.g. the parameter an instance-changed action was about
};

struct SuiteRequest {
    std::string name;
    int version = 0;
    bool provided = false;
};

class HostRecords {
  public:
    void addMessage(MessageRecord m);
    void clearPersistent(void* handle);
    void addProgress(ProgressRecord p);
    void addDraw(DrawRecord d);
    void addAction(ActionRecord a);
    void addSuiteRequest(SuiteRequest s);
    void addRedraw();
    // A multi-thread suite call that ran `threads` threads.
    void addThreadRun(unsigned threads);

    std::vector<MessageRecord> messages() const;
    std::vector<MessageRecord> persistentMessages() const;
    std::vector<ProgressRecord> progress() const;
    std::vector<DrawRecord> draws() const;
    std::vector<ActionRecord> actions() const;
    std::vector<SuiteRequest> suiteRequests() const;
    int redraws() const;
    int threadRuns() const;
    unsigned mostThreads() const;  // the most threads one multi-thread call ran
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<MessageRecord> messages_;
    std::vector<MessageRecord> persistent_;
    std::vector<ProgressRecord> progress_;
    std::vector<DrawRecord> draws_;
    std::vector<ActionRecord> actions_;
    std::vector<SuiteRequest> suites_;
    int redraws_ = 0;
    int threadRuns_ = 0;
    unsigned mostThreads_ = 0;
};

}  // namespace vhost
