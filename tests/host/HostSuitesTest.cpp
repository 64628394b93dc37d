// Suites as a plug-in sees them through fetchSuite.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

#include "Host.h"
#include "Suites.h"
#include "ofxGPURender.h"

using namespace vhost;

template <typename T>
const T* fetch(Host& host, const char* name, int version) {
    return static_cast<const T*>(host.ofxHost()->fetchSuite(host.ofxHost()->host, name, version));
}

TEST(HostSuites, IdentityIsAnnounced) {
    Host resolve(HostIdentity::forName("DaVinciResolve"));
    Host flame(HostIdentity::forName("flame"));
    Host other(HostIdentity::forName("com.example.compositor"));
    auto props = fetch<OfxPropertySuiteV1>(resolve, kOfxPropertySuite, 1);
    ASSERT_NE(props, nullptr);
    char* value = nullptr;
    ASSERT_EQ(props->propGetString(resolve.ofxHost()->host, kOfxPropName, 0, &value), kOfxStatOK);
    EXPECT_STREQ(value, "DaVinciResolve");
    EXPECT_EQ(resolve.properties().string(kOfxImageEffectPropCudaRenderSupported), "true");
    EXPECT_EQ(flame.properties().string(kOfxImageEffectPropCudaRenderSupported), "false");
    EXPECT_EQ(flame.properties().integer(kOfxImageEffectPropSupportsOverlays), 1);
    EXPECT_EQ(other.properties().string(kOfxPropName), "com.example.compositor");
    EXPECT_EQ(other.properties().integer(kOfxImageEffectPropSupportsOverlays), 0);
    int version[3];
    ASSERT_EQ(props->propGetIntN(resolve.ofxHost()->host, kOfxPropVersion, 3, version), kOfxStatOK);
    EXPECT_EQ(version[0], 19);
    // The host's own description is not the plug-in's to change.
    EXPECT_EQ(props->propSetString(resolve.ofxHost()->host, "SomethingNew", 0, "x"), kOfxStatErrUnknown);
    EXPECT_EQ(props->propGetString(nullptr, kOfxPropName, 0, &value), kOfxStatErrBadHandle);
}

TEST(HostSuites, UnknownSuitesAreRefusedAndRecorded) {
    Host host;
    EXPECT_EQ(host.fetchSuite("OfxNoSuchSuite", 1), nullptr);
    EXPECT_EQ(host.fetchSuite(kOfxPropertySuite, 9), nullptr);
    EXPECT_NE(host.fetchSuite(kOfxProgressSuite, 2), nullptr);
    const auto requests = host.records().suiteRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_FALSE(requests[0].provided);
    EXPECT_TRUE(requests[2].provided);
}

TEST(HostSuites, MessagesAndProgressAreRecorded) {
    Host host;
    auto messages = fetch<OfxMessageSuiteV2>(host, kOfxMessageSuite, 2);
    auto progress = fetch<OfxProgressSuiteV2>(host, kOfxProgressSuite, 2);
    EXPECT_EQ(messages->message(nullptr, kOfxMessageError, "id1", "bad %s %d", "value", 3), kOfxStatOK);
    host.setQuestionReply(kOfxStatReplyNo);
    EXPECT_EQ(messages->message(nullptr, kOfxMessageQuestion, "q", "sure?"), kOfxStatReplyNo);
    messages->setPersistentMessage(nullptr, kOfxMessageWarning, "p", "stays");
    EXPECT_EQ(host.records().persistentMessages().size(), 1u);
    messages->clearPersistentMessage(nullptr);
    EXPECT_TRUE(host.records().persistentMessages().empty());
    EXPECT_EQ(host.records().messages()[0].text, "bad value 3");

    progress->progressStart(nullptr, "Rendering", "render");
    EXPECT_EQ(progress->progressUpdate(nullptr, 0.5), kOfxStatOK);
    host.setCancelProgress(true);
    EXPECT_EQ(progress->progressUpdate(nullptr, 0.6), kOfxStatReplyNo);
    progress->progressEnd(nullptr);
    EXPECT_EQ(host.records().progress().size(), 4u);
}

TEST(HostSuites, MultiThreadRunsRealThreads) {
    Host host;
    auto mt = fetch<OfxMultiThreadSuiteV1>(host, kOfxMultiThreadSuite, 1);
    struct Shared {
        const OfxMultiThreadSuiteV1* mt;
        std::mutex lock;
        std::set<unsigned> indexes;
        std::atomic<int> spawned{0};
    } shared{mt};
    auto work = [](unsigned index, unsigned count, void* arg) {
        auto* s = static_cast<Shared*>(arg);
        unsigned reported = 99;
        s->mt->multiThreadIndex(&reported);
        std::lock_guard<std::mutex> guard(s->lock);
        if (reported == index && count == 4) s->indexes.insert(index);
        s->spawned += s->mt->multiThreadIsSpawnedThread();
    };
    ASSERT_EQ(mt->multiThread(work, 4, &shared), kOfxStatOK);
    EXPECT_EQ(shared.indexes, (std::set<unsigned>{0, 1, 2, 3}));
    EXPECT_EQ(shared.spawned.load(), 4);
    EXPECT_EQ(mt->multiThreadIsSpawnedThread(), 0);

    OfxMutexHandle m = nullptr;
    ASSERT_EQ(mt->mutexCreate(&m, 0), kOfxStatOK);
    EXPECT_EQ(mt->mutexLock(m), kOfxStatOK);
    EXPECT_EQ(mt->mutexUnLock(m), kOfxStatOK);
    EXPECT_EQ(mt->mutexDestroy(m), kOfxStatOK);
    EXPECT_EQ(mt->mutexLock(nullptr), kOfxStatErrBadHandle);
}
