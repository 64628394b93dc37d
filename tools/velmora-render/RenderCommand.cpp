// render --plate FILE --mask FILE [--matte FILE] --out FILE [options]
#include "RenderCommand.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "BundleLocation.h"
#include "ColourSpaces.h"
#include "Command.h"
#include "FileIdentity.h"
#include "ImageFiles.h"
#include "MemoryLimit.h"
#include "ProgressBar.h"
#include "ProxyScale.h"
#include "Temporaries.h"
#include "audio/AudioFiles.h"
#include "params/NumberText.h"
#include "platform/FileSystem.h"

const char kRenderUsage[] =
    "usage: velmora-render render --plate FILE --mask FILE [--matte FILE] --out FILE [options]\n"
    "  Removes the masked object from the plate. Reads OpenEXR (any channels, half or float, data and\n"
    "  display windows, the first part), DPX, TIFF, JPEG and PNG; writes .exr, .dpx, .tif and .png. The\n"
    "  output keeps the plate's metadata, its other channels and, in OpenEXR, its windows and parts;\n"
    "  only RGBA passes through the effect. A numbered name (plate.%04d.exr, plate.####.exr,\n"
    "  plate.@@@@.exr) with --frames renders a sequence; the frame number is the render time; %% is a\n"
    "  literal %. The output never replaces an input.\n"
    "  A bundle of another effect built on the framework takes the plate as its Source and --mask\n"
    "  only when it has a Mask_Shape input. An effect with audio routes takes its analysis with\n"
    "  --set audio_file=FILE (frame 24 is one second into the audio); the render stops when the\n"
    "  analysis does not load (velmora-render analyze prepares the analyses of audio files).\n"
    "  --frames LIST               frames: 7, 1-100, 1-100x2 (every second), 1,5,10-20\n"
    "  --set NAME=VALUE            a parameter by script name or label (vectors as x,y); repeatable,\n"
    "                              applied in order (velmora-render params lists them)\n"
    "  --preset NAME               a user or factory preset, applied before any --set\n"
    "  --depth D                   output samples: exr half|float (default float), dpx 8|10|12|16\n"
    "                              (10), tif 8|10|16|float (16), png 8|16 (8); by default an integer\n"
    "                              format keeps the plate's depth where it can\n"
    "  --half                      the same as --depth half (OpenEXR)\n"
    "  --colorspace-in NAME        the plate's colour space: converted through OpenColorIO into the\n"
    "                              scene-linear space the effect works in (default: values as stored)\n"
    "  --colorspace-out NAME       the output's colour space (default: the plate's, when named)\n"
    "  --host NAME                 imitate a host (resolve, flame, nuke, fusion, or any name)\n"
    "  --scale S                   proxy render at render scale S (0 < S <= 1); images are scaled\n"
    "  --max-memory SIZE           refuse a frame that needs more memory (e.g. 4G, 512M; default:\n"
    "                              the memory available when the render starts)\n"
    "  --backend cpu|cuda          the plug-in's render backend\n"
    "  --threads N                 CPU threads the host offers the plug-in (default: all)\n"
    "  --quiet                     errors and warnings only\n"
    "  --bundle PATH               the velmora.ofx.bundle to load\n";

namespace {

using framesequence::FilePattern;
using framesequence::FrameList;

bool parseScale(const std::string& text, double* scale) {
    double value = 0.0;
    if (numbertext::parseDouble(text, value) != numbertext::ParseStatus::Ok || !(value > 0.0 && value <= 1.0))
        return false;
    *scale = value;
    return true;
}

// Why an audio file has no analysis to render with: the plug-in starts the analysis tool in the
// background, which a single render does not wait for.
std::string missingAnalysis(const std::string& audioFile) {
    const std::string file = audio::trimmedPath(audioFile);
    if (!audio::isAudioFile(file) || platform::isRegularFile(audio::analysisPathFor(file)))
        return std::string();
    return "no analysis beside " + file + " (" + audio::analysisPathFor(file) +
           "): run velmora-render analyze " + file + " first";
}

bool parseThreadCount(const std::string& text, unsigned* count) {
    double value = 0.0;
    if (numbertext::parseDouble(text, value) != numbertext::ParseStatus::Ok ||
        value != static_cast<int>(value) || value < 1 || value > 1024)
        return false;
    *count = static_cast<unsigned>(value);
    return true;
}

std::string sizeText(const vhost::Image& image) {
    return std::to_string(image.width()) + "x" + std::to_string(image.height());
}

// One input of the job across its frames. Each frame is read into the memory of the previous
// one, so the plug-in refreshes its textures in place; a file that is not numbered is read once.
class InputSlot {
  public:
    // `colour`, when given, converts the pictures' colour as they are read (the plate's, from its
    // colour space into the one the effect works in).
    explicit InputSlot(const std::string& name, const ColourConversion* colour = nullptr)
        : pattern_(name), present_(!name.empty()), colour_(colour) {}

    bool present() const { return present_; }

    // The size of the frame's picture, from its file's header; throws ImageFileError.
    imagefiles::ImageSize size(int frame) const {
        if (!pattern_.numbered() && loaded_) return imagefiles::ImageSize{full_->width(), full_->height()};
        return imagefiles::readImageSize(pattern_.fileFor(frame));
    }

    // The frame's image at full size, refused when it would take more than `maxBytes`; throws
    // ImageFileError.
    const vhost::ImagePtr& full(int frame, std::uint64_t maxBytes) {
        if (!pattern_.numbered() && loaded_) return full_;
        loaded_ = false;
        full_ = imagefiles::readImage(pattern_.fileFor(frame), full_, maxBytes, &layout_);
        if (colour_) colour_->apply(*full_);
        scaledFor_ = 0.0;
        loaded_ = true;
        return full_;
    }

    // What an output rendered from the picture full() read last keeps of its file.
    const imagefiles::PlateLayout& layout() const { return layout_; }

    // The image full() read last, at render scale `scale`.
    vhost::ImagePtr scaled(double scale) {
        if (scale == 1.0) return full_;
        if (scaledFor_ != scale) proxy_ = scaleImage(*full_, scale, proxy_);
        scaledFor_ = scale;
        return proxy_;
    }

  private:
    FilePattern pattern_;
    bool present_;
    const ColourConversion* colour_;
    bool loaded_ = false;
    vhost::ImagePtr full_, proxy_;
    imagefiles::PlateLayout layout_;
    double scaledFor_ = 0.0;
};

std::string sizeText(const imagefiles::ImageSize& size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void requirePlateSize(const char* what, const imagefiles::ImageSize& size,
                      const imagefiles::ImageSize& plate) {
    if (size.width != plate.width || size.height != plate.height)
        throw std::runtime_error(std::string("the ") + what + " is " + sizeText(size) + " but the plate is " +
                                 sizeText(plate) + "; they must be the same size");
}

struct JobInputs {
    InputSlot plate, mask, matte;

    // The frame's images, checked against each other and against the memory limit before any is
    // read, then scaled for a proxy render.
    FrameImages load(int frame, double scale, std::uint64_t memoryLimit, const std::string& limitName) {
        const imagefiles::ImageSize plateSize = plate.size(frame);
        std::uint64_t inputBytes = 0;
        int inputCount = 0;
        for (auto [slot, what] :
             {std::pair<InputSlot*, const char*>{&plate, "plate"}, {&mask, "mask"}, {&matte, "matte"}}) {
            if (!slot->present()) continue;
            const imagefiles::ImageSize size = slot == &plate ? plateSize : slot->size(frame);
            requirePlateSize(what, size, plateSize);
            inputBytes +=
                static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height) * 16;
            ++inputCount;
        }
        const std::uint64_t scaledFrame = static_cast<std::uint64_t>(scaledLength(plateSize.width, scale)) *
                                          static_cast<std::uint64_t>(scaledLength(plateSize.height, scale)) *
                                          16;
        const std::uint64_t needed =
            memorylimit::renderBytes(inputBytes, inputCount, scaledFrame, scale != 1.0);
        if (memoryLimit && needed > memoryLimit)
            throw std::runtime_error("a " + sizeText(plateSize) + " frame needs about " +
                                     memorylimit::describe(needed) + " of memory, more than the " +
                                     memorylimit::describe(memoryLimit) + " " + limitName);

        const std::uint64_t imageLimit = memoryLimit ? memoryLimit : UINT64_MAX;
        const vhost::Image& fullPlate = *plate.full(frame, imageLimit);
        auto sameSize = [&](InputSlot& slot, const char* what) {
            if (!slot.present()) return;
            const vhost::Image& other = *slot.full(frame, imageLimit);
            requirePlateSize(what, {other.width(), other.height()}, {fullPlate.width(), fullPlate.height()});
        };
        sameSize(mask, "mask");
        sameSize(matte, "matte");
        return FrameImages{plate.scaled(scale), mask.present() ? mask.scaled(scale) : nullptr,
                           matte.present() ? matte.scaled(scale) : nullptr};
    }
};

// An output that is the same file as an input, which writing the output would destroy: the
// message naming both, or "".
std::string outputOverwritingInput(const RenderJob& job, const FrameList& range) {
    std::map<FileIdentity, std::string> inputs;
    for (const auto& [option, name] : {std::pair<const char*, const std::string*>{"--plate", &job.plate},
                                       {"--mask", &job.mask},
                                       {"--matte", &job.matte}}) {
        if (name->empty()) continue;
        FilePattern(*name).forEachExistingFile(range, [&, option = option](int, const std::string& file) {
            if (const auto identity = fileIdentity(file))
                inputs.emplace(*identity, std::string(option) + " file '" + file + "'");
            return true;
        });
    }
    std::string message;
    FilePattern(job.out).forEachExistingFile(range, [&](int, const std::string& file) {
        const auto identity = fileIdentity(file);
        const auto input = identity ? inputs.find(*identity) : inputs.end();
        if (input == inputs.end()) return true;
        message = "--out file '" + file + "' is the " + input->second +
                  ": the render would overwrite its own input; choose another output name";
        return false;
    });
    return message;
}

// Removes what interrupted runs left of this job's outputs, once per output folder.
class StaleTemporaries {
  public:
    StaleTemporaries(const FilePattern& out, const FrameList& range) : out_(out), range_(range) {}

    void removeBeside(const std::string& file, std::ostream& err) {
        const std::filesystem::path path(file);
        const std::string folder = path.has_parent_path() ? path.parent_path().string() : std::string(".");
        if (!cleaned_.insert(folder).second) return;
        const std::string name = path.filename().string();
        auto isOutput = [&](const std::string& share) {
            int frame = 0;
            if (share.size() < temporaries::kKeptNameBytes) return out_.frameOfName(share, range_, &frame);
            // A long name the temporary cut short: its start must be this output's.
            return name.compare(0, share.size(), share) == 0 ||
                   (out_.numbered() && !out_.fieldInFolder() && sharesStart(share));
        };
        for (const std::string& removed : temporaries::removeStale(folder, isOutput))
            err << "velmora-render render: removed " << removed << ", left by an interrupted run\n";
    }

  private:
    // Whether `share` begins with the output name's text before the frame field.
    bool sharesStart(const std::string& share) const {
        const std::string first = std::filesystem::path(out_.fileFor(range_.lowest())).filename().string();
        const std::string last = std::filesystem::path(out_.fileFor(range_.highest())).filename().string();
        std::size_t common = 0;
        while (common < first.size() && common < last.size() && first[common] == last[common]) ++common;
        return share.compare(0, common, first, 0, common) == 0;
    }

    const FilePattern& out_;
    FrameList range_;
    std::set<std::string> cleaned_;
};

std::string milliseconds(double seconds) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << seconds * 1000.0 << " ms";
    return text.str();
}

}  // namespace

bool parseRenderJob(const std::vector<std::string>& args, const std::string& defaultBundle, RenderJob* job,
                    bool* help, std::string* error) {
    *help = false;
    job->session.bundle = defaultBundle;
    std::string frames, scale, maxMemory, threads;
    bool half = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i], value;
        bool hasValue = false;
        if (word == "--help" || word == "-h") {
            *help = true;
            return true;
        }
        if (word == "--quiet" || word == "-q") {
            job->quiet = true;
            continue;
        }
        if (word == "--half") {
            half = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = word.substr(equals + 1);
            word = word.substr(0, equals);
            hasValue = true;
        }
        std::string* target = nullptr;
        if (word == "--plate")
            target = &job->plate;
        else if (word == "--mask")
            target = &job->mask;
        else if (word == "--matte")
            target = &job->matte;
        else if (word == "--out")
            target = &job->out;
        else if (word == "--frames")
            target = &frames;
        else if (word == "--preset")
            target = &job->session.preset;
        else if (word == "--host")
            target = &job->session.hostName;
        else if (word == "--scale")
            target = &scale;
        else if (word == "--backend")
            target = &job->session.backend;
        else if (word == "--bundle")
            target = &job->session.bundle;
        else if (word == "--max-memory")
            target = &maxMemory;
        else if (word == "--threads")
            target = &threads;
        else if (word == "--depth")
            target = &job->depth;
        else if (word == "--colorspace-in" || word == "--colourspace-in")
            target = &job->colourIn;
        else if (word == "--colorspace-out" || word == "--colourspace-out")
            target = &job->colourOut;
        else if (word != "--set") {
            *error = "unexpected argument '" + args[i] + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                *error = word + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (target && value.empty()) {
            *error = word + " needs a value, not an empty word";
            return false;
        }
        if (target)
            *target = value;
        else
            job->session.settings.push_back(value);
    }
    // --mask is checked against the effect's inputs once the bundle is loaded.
    for (const auto& [name, value] :
         {std::pair<const char*, const std::string*>{"--plate", &job->plate}, {"--out", &job->out}}) {
        if (value->empty()) {
            *error = std::string("no ") + name + " given";
            return false;
        }
    }
    if (!scale.empty() && !parseScale(scale, &job->scale)) {
        *error = "--scale '" + scale + "': expected a number above 0 and at most 1";
        return false;
    }
    if (!threads.empty() && !parseThreadCount(threads, &job->session.threads)) {
        *error = "--threads '" + threads + "': expected a whole number from 1 to 1024";
        return false;
    }
    if (!maxMemory.empty() && !memorylimit::parseSize(maxMemory, &job->maxMemory)) {
        *error = "--max-memory '" + maxMemory + "': expected a size such as 4G or 512M";
        return false;
    }
    if (!job->session.backend.empty() && job->session.backend != "cpu" && job->session.backend != "cuda") {
        *error = "--backend '" + job->session.backend + "': expected cpu or cuda";
        return false;
    }
    try {
        if (!frames.empty()) job->frames = FrameList::parse(frames);
        for (const auto& [name, value] : {std::pair<const char*, const std::string*>{"--plate", &job->plate},
                                          {"--mask", &job->mask},
                                          {"--matte", &job->matte},
                                          {"--out", &job->out}}) {
            if (value->empty()) continue;
            const FilePattern pattern(*value);
            if (pattern.numbered() && !job->frames) {
                *error = std::string(name) + " '" + *value + "' is numbered: say which frames with --frames";
                return false;
            }
        }
        if (job->frames && job->frames->count() > 1 && !FilePattern(job->out).numbered()) {
            *error = "--out '" + job->out + "' names one file for " + std::to_string(job->frames->count()) +
                     " frames: number it, e.g. out.%04d.exr";
            return false;
        }
        if (half) {
            if (!job->depth.empty() && job->depth != "half") {
                *error = "--half and --depth " + job->depth + " ask for different depths";
                return false;
            }
            job->depth = "half";
        }
        imagefiles::requireWritableDepth(FilePattern(job->out).fileFor(0), job->depth);
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
    if (job->session.bundle.empty()) {
        *error = "no velmora bundle found; give one with --bundle PATH";
        return false;
    }
    return true;
}

int runRenderJob(const RenderJob& job, std::ostream& out, std::ostream& err) {
    std::unique_ptr<EffectSession> session;
    try {
        session = std::make_unique<EffectSession>(job.session);
        if (job.mask.empty() && session->hasMaskInput()) {
            err << "velmora-render render: no --mask given\n" << kRenderUsage;
            return 2;
        }
        if (!job.mask.empty() && !session->hasMaskInput()) {
            err << "velmora-render render: --mask: the effect has no Mask_Shape input\n";
            return 1;
        }
        if (!job.matte.empty() && !session->hasMatteInput()) {
            err << "velmora-render render: --matte: the effect has no Matte input for the host '"
                << session->hostIdentity().name << "' (the Resolve profile has one: --host resolve)\n";
            return 1;
        }
    } catch (const std::exception& e) {
        err << "velmora-render render: " << e.what() << "\n";
        return 1;
    }

    const FrameList range = job.frames.value_or(FrameList::single(0));
    const std::string overwrite = outputOverwritingInput(job, range);
    if (!overwrite.empty()) {
        err << "velmora-render render: " << overwrite << "\n";
        return 1;
    }
    // Measured before the first frame, while nothing of the job holds memory yet.
    const std::uint64_t memoryLimit = job.maxMemory ? job.maxMemory : memorylimit::availableBytes();
    const std::string limitName =
        job.maxMemory ? "allowed by --max-memory" : "available (--max-memory sets another limit)";
    // A numbered input with no file in the range fails every frame: say so once, up front.
    for (const auto& [name, file] : {std::pair<const char*, const std::string*>{"--plate", &job.plate},
                                     {"--mask", &job.mask},
                                     {"--matte", &job.matte}}) {
        const FilePattern pattern(*file);
        if (range.count() > 1 && pattern.numbered() && !pattern.anyFileExists(range)) {
            err << "velmora-render render: " << name << " '" << *file << "': no file for frames "
                << range.text() << "\n";
            return 1;
        }
    }
    const bool sequence = range.count() > 1;
    const bool showProgress = sequence && !job.quiet;
    ProgressBar progress(err, range.count(), "frames", job.terminal);
    if (showProgress) progress.update(0);
    // Colour: values pass as stored unless a colour space is named; the effect then works in the
    // scene-linear space, and the output is written in --colorspace-out, else in --colorspace-in.
    std::unique_ptr<ColourConversion> colourIn, colourOut, keptColour;
    try {
        const std::string working = ColourConversion::workingSpace();
        const std::string outSpace = !job.colourOut.empty() ? job.colourOut : job.colourIn;
        if (!job.colourIn.empty()) colourIn = std::make_unique<ColourConversion>(job.colourIn, working);
        if (!outSpace.empty()) colourOut = std::make_unique<ColourConversion>(working, outSpace);
        if (!job.colourIn.empty() && !job.colourOut.empty() && job.colourIn != job.colourOut)
            keptColour = std::make_unique<ColourConversion>(job.colourIn, job.colourOut);
    } catch (const std::exception& e) {
        err << "velmora-render render: " << e.what() << "\n";
        return 2;
    }
    imagefiles::WriteOptions writing;
    writing.depth = job.depth;
    writing.notes = &err;
    if (keptColour)
        writing.convertKeptColour = [&](float* rgba, int pixels) { keptColour->apply(rgba, pixels); };
    JobInputs inputs{InputSlot(job.plate, colourIn.get()), InputSlot(job.mask), InputSlot(job.matte)};
    const FilePattern output(job.out);
    StaleTemporaries stale(output, range);
    long long rendered = 0, failed = 0, done = 0;
    std::string size;
    std::optional<std::string> audio;  // the audio status after the first frame rendered
    bool audioChecked = false, audioFailed = false;
    const auto start = std::chrono::steady_clock::now();
    range.forEach([&](int frame) {
        try {
            const FrameImages images = inputs.load(frame, job.scale, memoryLimit, limitName);
            const vhost::ImagePtr result = session->render(frame, images, job.scale, sequence);
            if (!audioChecked) {
                audioChecked = true;
                audio = session->audioStatus();
                // Frames without the modulation the user asked for would look like a success.
                if (audio && audio->rfind("Loaded", 0) != 0) {
                    audioFailed = true;
                    return false;
                }
            }
            const std::string file = output.fileFor(frame);
            stale.removeBeside(file, err);
            if (colourOut) colourOut->apply(*result);
            // A proxy's output has the reduced size: only its picture is written.
            imagefiles::writeImage(file, *result, writing,
                                   job.scale == 1.0 ? inputs.plate.layout() : imagefiles::PlateLayout());
            if (size.empty()) size = sizeText(*result);
            ++rendered;
        } catch (const std::exception& e) {
            if (showProgress) progress.interrupt();
            err << "velmora-render render: ";
            if (job.frames) err << "frame " << frame << ": ";
            err << e.what() << "\n";
            ++failed;
        }
        if (showProgress) progress.frameDone(++done, frame);
        return true;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (showProgress) progress.finish();
    if (audioFailed) {
        const std::string reason =
            audio->empty() ? missingAnalysis(session->audioFile().value_or("")) : *audio;
        err << "velmora-render render: the audio analysis is not loaded"
            << (reason.empty() ? std::string() : ": " + reason) << "\n";
        return 1;
    }

    if (rendered == 0) {
        if (!job.quiet) out << "No frame rendered (" << failed << " failed)\n";
        return 1;
    }
    if (!job.quiet) {
        out << "Rendered " << rendered;
        if (failed) out << " of " << range.count();
        out << (range.count() == 1 ? " frame" : " frames") << " (" << size;
        if (job.scale != 1.0) out << " at scale " << job.scale;
        out << ") in " << std::fixed << std::setprecision(2) << seconds
            << " s: " << milliseconds(seconds / static_cast<double>(rendered)) << " per frame";
        if (failed) out << "; " << failed << " failed";
        out << "\n";
        if (audio) out << "Audio: " << *audio << "\n";
        if (!sequence) out << "Wrote " << FilePattern(job.out).fileFor(range.first()) << "\n";
    }
    return failed == 0 ? 0 : 1;
}

int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RenderJob job;
    bool help = false;
    std::string error;
    if (!parseRenderJob(args, defaultBundlePath(), &job, &help, &error)) {
        err << "velmora-render render: " << error << "\n" << kRenderUsage;
        return 2;
    }
    if (help) {
        out << kRenderUsage;
        return 0;
    }
    job.session.warnings = &err;
    job.terminal = progressOnTerminal(err);
    return runRenderJob(job, out, err);
}
