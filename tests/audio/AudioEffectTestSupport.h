#pragma once

// The audio test effect in our host: its folders (APPDATA, the log), the analysis tool installed
// where the plug-in looks for it (our tool, or a stand-in script), and an instance to drive.

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "AudioTestSupport.h"
#include "InstanceTestSupport.h"

namespace audio_test {

class AudioEffectFixture {
  public:
    velmora_test::TestFolders folders;

    std::string toolPath() const { return folders.root() + "/appdata/orbalt/tools/orbalt_audio"; }

    // Our analysis tool, installed.
    void installTool() { installFile(ORBALT_AUDIO_TOOL); }
    // A shell script in the tool's place.
    void installStandIn(const std::string& body) {
        std::filesystem::create_directories(std::filesystem::path(toolPath()).parent_path());
        std::ofstream(toolPath()) << "#!/bin/sh\n" << body << "\n";
        chmod(toolPath().c_str(), 0755);
    }

    // Fusion's profile: a single page with the Refresh button, overlays, options rebuilt at run time.
    std::unique_ptr<velmora_test::LiveInstance> open(const std::string& host = "fusion",
                                                     const std::string& context = "filter") {
        velmora_test::InstanceOptions options;
        options.bundle = AUDIO_PULSE_BUNDLE;
        options.host = host;
        options.context = context;
        return velmora_test::openInstance(options);
    }

    std::string file(const std::string& name) const { return folders.root() + "/" + name; }

  private:
    void installFile(const std::string& from) {
        std::filesystem::create_directories(std::filesystem::path(toolPath()).parent_path());
        std::filesystem::copy_file(from, toolPath(), std::filesystem::copy_options::overwrite_existing);
    }
};

inline std::string text(const vhost::Instance& fx, const std::string& name) {
    return std::get<std::string>(fx.value(name));
}

// Renders frame 0 until the status text satisfies `done` or 60 s pass; the last status.
template <class Done>
std::string renderUntil(vhost::Instance& fx, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        fx.render(0.0, OfxRectI{0, 0, 16, 8});
        const std::string status = text(fx, "audio_status");
        if (done(status) || std::chrono::steady_clock::now() > deadline) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A small analysis JSON with the given stems (each a table of two frames) lasting 2 s.
inline std::string stemAnalysis(const std::vector<std::string>& stems) {
    std::string names, tables;
    for (const std::string& stem : stems) {
        names += (names.empty() ? "\"" : ", \"") + stem + "\"";
        tables += (tables.empty() ? "\"" : ", \"") + stem + "\": [[0.5, 0.25], [1, 0.75]]";
    }
    return "{\"format\": \"orbalt_audio_analysis\", \"timing\": {\"analysis_rate\": 1, \"duration_seconds\": "
           "2}, "
           "\"stems\": [" +
           names + "], \"frames\": {" + tables + "}, \"beat_times\": [0.5, 1.0]}";
}

}  // namespace audio_test
