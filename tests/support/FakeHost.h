#pragma once

// A small OpenFX host made of plain C functions, enough to drive the support layer's dispatch in-process:
// property sets, effects with clips and parameters, and an optional multi-thread suite.

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "ofxCore.h"
#include "ofxImageEffect.h"
#include "ofxMultiThread.h"
#include "ofxParam.h"
#include "ofxProperty.h"

namespace fakehost {

using Value = std::variant<int, double, std::string, void*>;

struct PropertySetStore {
    std::map<std::string, std::vector<Value>> values;
    void set(const std::string& name, Value v, int index = 0);
    const Value* get(const std::string& name, int index = 0) const;
};

struct Param {
    PropertySetStore props;
    std::string type;
    std::vector<double> numbers;  // double kinds; int, bool and choice in numbers[0]
    std::string text;
};

struct ParamSet {
    PropertySetStore props;
    std::map<std::string, std::unique_ptr<Param>> params;
};

struct Clip {
    PropertySetStore props;
};

struct Effect {
    PropertySetStore props;
    ParamSet params;
    std::map<std::string, std::unique_ptr<Clip>> clips;
};

struct Options {
    bool propertySuite = true;
    bool multiThreadSuite = true;
    unsigned int threads = 3;
};

// The host record and suites; one at a time.
class Host {
  public:
    explicit Host(Options options = Options());
    ~Host();

    OfxHost* record() { return &record_; }
    PropertySetStore& hostProperties() { return hostProps_; }

    std::unique_ptr<Effect> makeEffect(const std::string& context);
    static OfxPropertySetHandle handleOf(PropertySetStore& store) {
        return reinterpret_cast<OfxPropertySetHandle>(&store);
    }
    static OfxImageEffectHandle handleOf(Effect& effect) {
        return reinterpret_cast<OfxImageEffectHandle>(&effect);
    }

    Options options;

  private:
    OfxHost record_;
    PropertySetStore hostProps_;
};

}  // namespace fakehost
