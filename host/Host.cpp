#include "Host.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "HostError.h"
#include "PluginBinary.h"
#include "Suites.h"
#include "ofxGPURender.h"

namespace fs = std::filesystem;

namespace vhost {

namespace {

std::mutex gHostsMutex;
std::vector<Host*> gHosts;  // in creation order

const void* fetchSuiteEntry(OfxPropertySetHandle hostProps, const char* name, int version) {
    Host* host = Host::fromHandle(hostProps);
    if (host == nullptr) return nullptr;
    return host->fetchSuite(name, version);
}

#ifdef _WIN32
const char kPathSeparator = ';';
const char* kArch = "Win64";
#elif defined(__APPLE__)
const char kPathSeparator = ':';
const char* kArch = "MacOS";
#else
const char kPathSeparator = ':';
const char* kArch = "Linux-x86-64";
#endif

const std::string kBundleSuffix = ".ofx.bundle";

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void collectBundles(const fs::path& folder, int depth, std::vector<std::string>& out,
                    std::set<std::string>& seen) {
    std::error_code ec;
    if (endsWith(folder.filename().string(), kBundleSuffix) && fs::is_directory(folder, ec)) {
        const std::string key = fs::weakly_canonical(folder, ec).string();
        if (seen.insert(key).second) out.push_back(folder.string());
        return;
    }
    if (depth > 8 || !fs::is_directory(folder, ec)) return;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries)
        if (fs::is_directory(entry, ec)) collectBundles(entry, depth + 1, out, seen);
}

}  // namespace

Host::Host(HostIdentity identity) : identity_(std::move(identity)), props_(kOfxTypeImageEffectHost, false) {
    PropertySet& p = props_;
    const HostIdentity& id = identity_;
    p.declareString(kOfxPropType, kOfxTypeImageEffectHost);
    p.declareString(kOfxPropName, id.name);
    p.declareString(kOfxPropLabel, id.label);
    p.declareInt(kOfxPropAPIVersion, {id.apiVersionMajor, id.apiVersionMinor}, 2);
    p.declareInt(kOfxPropVersion, {id.versionMajor, id.versionMinor, id.versionMicro}, 3);
    p.declareString(kOfxPropVersionLabel, id.versionLabel);
    p.declarePointer(kOfxPropHostOSHandle, nullptr);
    p.declareInt(kOfxImageEffectHostPropIsBackground, id.isInteractive ? 0 : 1);
    p.declareInt(kOfxImageEffectPropSupportsOverlays, id.supportsOverlays ? 1 : 0);
    p.declareInt(kOfxImageEffectPropSupportsMultiResolution, 1);
    p.declareInt(kOfxImageEffectPropSupportsTiles, 1);
    p.declareInt(kOfxImageEffectPropTemporalClipAccess, 1);
    p.declareString(kOfxImageEffectPropSupportedComponents, std::vector<std::string>{kOfxImageComponentRGBA});
    p.declareString(kOfxImageEffectPropSupportedContexts, id.contexts);
    p.declareString(kOfxImageEffectPropSupportedPixelDepths, std::vector<std::string>{kOfxBitDepthFloat});
    p.declareInt(kOfxImageEffectPropSupportsMultipleClipDepths, 0);
    p.declareInt(kOfxImageEffectPropSupportsMultipleClipPARs, 0);
    p.declareInt(kOfxImageEffectPropSetableFrameRate, 0);
    p.declareInt(kOfxImageEffectPropSetableFielding, 0);
    p.declareInt(kOfxImageEffectInstancePropSequentialRender, 0);
    p.declareString(kOfxImageEffectHostPropNativeOrigin, kOfxHostNativeOriginBottomLeft);
    p.declareInt(kOfxImageEffectPropRenderQualityDraft, 0);
    p.declareInt(kOfxParamHostPropSupportsCustomInteract, 0);
    p.declareInt(kOfxParamHostPropSupportsStringAnimation, 0);
    p.declareInt(kOfxParamHostPropSupportsChoiceAnimation, 0);
    p.declareInt(kOfxParamHostPropSupportsBooleanAnimation, 0);
    p.declareInt(kOfxParamHostPropSupportsCustomAnimation, 0);
    p.declareInt(kOfxParamHostPropSupportsStrChoice, 0);
    p.declareInt(kOfxParamHostPropSupportsStrChoiceAnimation, 0);
    p.declareInt(kOfxParamHostPropSupportsParametricAnimation, 0);
    p.declareInt(kOfxParamHostPropMaxParameters, -1);
    p.declareInt(kOfxParamHostPropMaxPages, id.maxPages);
    p.declareInt(kOfxParamHostPropPageRowColumnCount, {id.maxPages > 0 ? 10 : 0, id.maxPages > 0 ? 2 : 0}, 2);
    auto announce = [](bool on) { return std::string(on ? "true" : "false"); };
    p.declareString(kOfxImageEffectPropOpenGLRenderSupported, announce(id.openGLRender));
    p.declareString(kOfxImageEffectPropCudaRenderSupported, announce(id.cudaRender));
    p.declareString(kOfxImageEffectPropCudaStreamSupported, announce(id.cudaStream));
    p.declareString(kOfxImageEffectPropOpenCLRenderSupported, announce(id.openCLRender));
    p.declareString(kOfxImageEffectPropMetalRenderSupported, announce(id.metalRender));

    ofxHost_.host = props_.handle();
    ofxHost_.fetchSuite = &fetchSuiteEntry;
    std::lock_guard<std::mutex> lock(gHostsMutex);
    gHosts.push_back(this);
}

Host::~Host() {
    std::lock_guard<std::mutex> lock(gHostsMutex);
    gHosts.erase(std::remove(gHosts.begin(), gHosts.end(), this), gHosts.end());
}

Host* Host::fromHandle(OfxPropertySetHandle hostProps) {
    std::lock_guard<std::mutex> lock(gHostsMutex);
    for (Host* h : gHosts)
        if (h->props_.handle() == hostProps) return h;
    return nullptr;
}

Host* Host::current() {
    std::lock_guard<std::mutex> lock(gHostsMutex);
    return gHosts.empty() ? nullptr : gHosts.back();
}

const void* Host::fetchSuite(const char* name, int version) {
    const void* suite = nullptr;
    const std::string n = name ? name : "";
    if (n == kOfxPropertySuite && version == 1) suite = propertySuite();
    if (n == kOfxImageEffectSuite && version == 1) suite = imageEffectSuite();
    if (n == kOfxParameterSuite && version == 1) suite = parameterSuite();
    if (n == kOfxParametricParameterSuite && version == 1) suite = parametricParameterSuite();
    if (n == kOfxMemorySuite && version == 1) suite = memorySuite();
    if (n == kOfxMultiThreadSuite && version == 1) suite = multiThreadSuite();
    if (n == kOfxMessageSuite && version == 1) suite = messageSuiteV1();
    if (n == kOfxMessageSuite && version == 2) suite = messageSuiteV2();
    if (n == kOfxProgressSuite && version == 1) suite = progressSuiteV1();
    if (n == kOfxProgressSuite && version == 2) suite = progressSuiteV2();
    if (n == kOfxTimeLineSuite && version == 1) suite = timeLineSuite();
    if (n == kOfxInteractSuite && version == 1) suite = interactSuite();
    if (n == kOfxDrawSuite && version == 1 && identity_.drawSuite) suite = drawSuite();
    const auto& withheld = identity_.withheldSuites;
    if (std::find(withheld.begin(), withheld.end(), n) != withheld.end()) suite = nullptr;
    records_.addSuiteRequest(SuiteRequest{n, version, suite != nullptr});
    return suite;
}

double Host::time() const {
    std::lock_guard<std::mutex> lock(timeMutex_);
    return time_;
}

void Host::gotoTime(double time) {
    std::lock_guard<std::mutex> lock(timeMutex_);
    time_ = std::min(std::max(time, first_), last_);
}

void Host::timeBounds(double* first, double* last) const {
    std::lock_guard<std::mutex> lock(timeMutex_);
    *first = first_;
    *last = last_;
}

void Host::setTimeBounds(double first, double last) {
    std::lock_guard<std::mutex> lock(timeMutex_);
    if (last < first) std::swap(first, last);
    first_ = first;
    last_ = last;
    time_ = std::min(std::max(time_, first_), last_);
}

PluginBinary Host::load(const std::string& bundlePath) {
    return PluginBinary(*this, bundlePath);
}

std::string Host::binaryPathOf(const std::string& bundlePath) {
    fs::path bundle(bundlePath);
    std::string stem = bundle.filename().string();
    if (stem.empty()) stem = bundle.parent_path().filename().string();
    if (endsWith(stem, kBundleSuffix)) stem.resize(stem.size() - kBundleSuffix.size());
    return (bundle / "Contents" / kArch / (stem + ".ofx")).string();
}

std::vector<std::string> Host::findBundles(const std::vector<std::string>& folders, bool useEnvironment) {
    std::vector<std::string> roots = folders;
    if (useEnvironment) {
        if (const char* env = std::getenv("OFX_PLUGIN_PATH")) {
            std::string all = env;
            size_t start = 0;
            while (start <= all.size()) {
                size_t end = all.find(kPathSeparator, start);
                if (end == std::string::npos) end = all.size();
                if (end > start) roots.push_back(all.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const auto& root : roots) collectBundles(fs::path(root), 0, out, seen);
    return out;
}

}  // namespace vhost
