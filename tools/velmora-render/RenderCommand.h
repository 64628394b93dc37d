#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "EffectSession.h"
#include "FrameSequence.h"

// velmora-render render: the effect over image files or numbered sequences.
struct RenderJob {
    std::string plate, mask, matte, out;  // file names, possibly numbered
    std::optional<framesequence::FrameList> frames;
    double scale = 1.0;
    std::uint64_t maxMemory = 0;      // 0: the memory available when the job starts
    std::string depth;                // of the output's samples ("" the format's default)
    std::string colourIn, colourOut;  // colour spaces; "" passes values as stored
    bool quiet = false;               // errors and warnings only
    bool terminal = false;            // standard error is a terminal: the progress line is redrawn
    SessionOptions session;
};

extern const char kRenderUsage[];

// Reads the words after "render" into `job`; false with the reason in `error` when they do not
// make a job. `help` is set for --help.
bool parseRenderJob(const std::vector<std::string>& args, const std::string& defaultBundle, RenderJob* job,
                    bool* help, std::string* error);

// Renders every frame of the job; 0 when every frame was rendered and written.
int runRenderJob(const RenderJob& job, std::ostream& out, std::ostream& err);
