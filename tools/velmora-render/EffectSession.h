#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Instance.h"
#include "PluginBinary.h"

// How velmora-render sets up the effect: which bundle, which host it imitates, which backend
// renders, and the parameter values (a preset first, then each name=value in order).
struct SessionOptions {
    std::string bundle;
    std::string hostName;  // empty: this program's own identity
    std::string backend;   // "", "cpu" or "cuda"
    std::string preset;
    std::vector<std::string> settings;
    unsigned threads = 0;              // CPUs the host's multi-thread suite offers; 0: all
    std::ostream* warnings = nullptr;  // where values clamped and a GPU that is not there are told
};

// The images of one frame. The plate is required; the mask goes with an effect that has a
// Mask_Shape input, the matte is optional.
struct FrameImages {
    vhost::ImagePtr plate;
    vhost::ImagePtr mask;
    vhost::ImagePtr matte;
};

class RenderFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Makes the plug-ins loaded from now on render with `backend` ("cpu" or "cuda"; empty leaves the
// choice to them). Throws std::runtime_error for any other name.
void selectBackend(const std::string& backend);

// One loaded effect instance inside our own OpenFX host: Velmora, or the one effect of a bundle
// of another effect built on the same framework.
class EffectSession {
  public:
    // Loads the bundle and creates the instance in the general context. Throws
    // std::runtime_error (HostError included) with a message for the user.
    explicit EffectSession(const SessionOptions& options);

    const vhost::HostIdentity& hostIdentity() const { return host_->identity(); }
    vhost::Instance& instance() { return *instance_; }
    const vhost::HostRecords& hostRecords() const { return host_->records(); }
    // The effect's name as hosts list it.
    std::string effectLabel() const;
    bool hasMatteInput();
    bool hasMaskInput();
    // For an effect with audio routes and an "audio_file": its "audio_status" (e.g. "Loaded: 11
    // channels, 4.0s", or why the analysis is not loaded). Nothing without an audio file.
    std::optional<std::string> audioStatus();
    // The effect's "audio_file" as set, or nothing for an effect without one.
    std::optional<std::string> audioFile();

    // Renders the frame at `time` with render scale `scale` (the images are already at that
    // scale) and returns the output image. Throws RenderFailure with the reason.
    vhost::ImagePtr render(double time, const FrameImages& images, double scale, bool sequential);

  private:
    bool hasInput(const char* name) const;
    // A string parameter's value; nothing when there is no such parameter.
    std::optional<std::string> stringValue(const char* name);

    std::unique_ptr<vhost::Host> host_;
    std::unique_ptr<vhost::PluginBinary> binary_;
    std::unique_ptr<vhost::Effect> effect_;
    std::unique_ptr<vhost::Instance> instance_;
    vhost::ImagePtr output_;
};

// The Velmora plug-in's identifier.
extern const char kVelmoraPluginIdentifier[];
