// render --plate FILE --mask FILE [--matte FILE] --out FILE [options]
#include "RenderCommand.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <iomanip>
#include <sstream>

#include "BundleLocation.h"
#include "Command.h"
#include "ImageFiles.h"
#include "ProgressBar.h"
#include "ProxyScale.h"
#include "params/NumberText.h"

const char kRenderUsage[] =
    "usage: velmora-render render --plate FILE --mask FILE [--matte FILE] --out FILE [options]\n"
    "  Removes the masked object from the plate. Files are .exr (float) or .png; a numbered name\n"
    "  such as plate.%04d.exr with --frames renders a sequence (the frame number is the render time).\n"
    "  --frames FIRST-LAST|FRAME   frames to render\n"
    "  --set NAME=VALUE            a parameter value (vectors as x,y); repeatable, applied in order\n"
    "  --preset NAME               a user or factory preset, applied before any --set\n"
    "  --host NAME                 imitate a host (resolve, flame, nuke, fusion, or any name)\n"
    "  --scale S                   proxy render at render scale S (0 < S <= 1); images are scaled\n"
    "  --backend cpu|cuda          the plug-in's render backend\n"
    "  --bundle PATH               the velmora.ofx.bundle to load\n";

namespace {

using framesequence::FilePattern;
using framesequence::FrameRange;

bool parseScale(const std::string& text, double* scale) {
    double value = 0.0;
    if (numbertext::parseDouble(text, value) != numbertext::ParseStatus::Ok || !(value > 0.0 && value <= 1.0))
        return false;
    *scale = value;
    return true;
}

std::string sizeText(const vhost::Image& image) {
    return std::to_string(image.width()) + "x" + std::to_string(image.height());
}

// One input of the job across its frames. Each frame is read into the memory of the previous
// one, so the plug-in refreshes its textures in place; a file that is not numbered is read once.
class InputSlot {
  public:
    explicit InputSlot(const std::string& name) : pattern_(name), present_(!name.empty()) {}

    bool present() const { return present_; }

    // The frame's image at full size; throws ImageFileError.
    const vhost::ImagePtr& full(int frame) {
        if (!pattern_.numbered() && loaded_) return full_;
        loaded_ = false;
        full_ = imagefiles::readImage(pattern_.fileFor(frame), full_);
        scaledFor_ = 0.0;
        loaded_ = true;
        return full_;
    }

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
    bool loaded_ = false;
    vhost::ImagePtr full_, proxy_;
    double scaledFor_ = 0.0;
};

struct JobInputs {
    InputSlot plate, mask, matte;

    // The frame's images, checked against each other and scaled for a proxy render.
    FrameImages load(int frame, double scale) {
        const vhost::Image& fullPlate = *plate.full(frame);
        auto sameSize = [&](InputSlot& slot, const char* what) {
            if (!slot.present()) return;
            const vhost::Image& other = *slot.full(frame);
            if (other.width() != fullPlate.width() || other.height() != fullPlate.height())
                throw std::runtime_error(std::string("the ") + what + " is " + sizeText(other) +
                                         " but the plate is " + sizeText(fullPlate) +
                                         "; they must be the same size");
        };
        sameSize(mask, "mask");
        sameSize(matte, "matte");
        return FrameImages{plate.scaled(scale), mask.scaled(scale),
                           matte.present() ? matte.scaled(scale) : nullptr};
    }
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
    std::string frames, scale;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i], value;
        bool hasValue = false;
        if (word == "--help" || word == "-h") {
            *help = true;
            return true;
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
    for (const auto& [name, value] : {std::pair<const char*, const std::string*>{"--plate", &job->plate},
                                      {"--mask", &job->mask},
                                      {"--out", &job->out}}) {
        if (value->empty()) {
            *error = std::string("no ") + name + " given";
            return false;
        }
    }
    if (!scale.empty() && !parseScale(scale, &job->scale)) {
        *error = "--scale '" + scale + "': expected a number above 0 and at most 1";
        return false;
    }
    if (!job->session.backend.empty() && job->session.backend != "cpu" && job->session.backend != "cuda") {
        *error = "--backend '" + job->session.backend + "': expected cpu or cuda";
        return false;
    }
    try {
        if (!frames.empty()) job->frames = FrameRange::parse(frames);
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
        imagefiles::formatOf(job->out);
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
        if (!job.matte.empty() && !session->hasMatteInput()) {
            err << "velmora-render render: --matte: the effect has no Matte input for the host '"
                << session->hostIdentity().name << "' (the Resolve profile has one: --host resolve)\n";
            return 1;
        }
    } catch (const std::exception& e) {
        err << "velmora-render render: " << e.what() << "\n";
        return 1;
    }

    const FrameRange range = job.frames.value_or(FrameRange{0, 0});
    // A numbered input with no file in the range fails every frame: say so once, up front.
    for (const auto& [name, file] : {std::pair<const char*, const std::string*>{"--plate", &job.plate},
                                     {"--mask", &job.mask},
                                     {"--matte", &job.matte}}) {
        const FilePattern pattern(*file);
        if (range.count() > 1 && pattern.numbered() && !pattern.anyFileExists(range)) {
            err << "velmora-render render: " << name << " '" << *file << "': no file for frames "
                << range.first << "-" << range.last << "\n";
            return 1;
        }
    }
    const bool sequence = range.count() > 1;
    ProgressBar progress(err, range.count());
    if (sequence) progress.update(0);
    JobInputs inputs{InputSlot(job.plate), InputSlot(job.mask), InputSlot(job.matte)};
    int rendered = 0, failed = 0;
    std::string size;
    const auto start = std::chrono::steady_clock::now();
    for (int frame = range.first; frame <= range.last; ++frame) {
        try {
            const FrameImages images = inputs.load(frame, job.scale);
            const vhost::ImagePtr result = session->render(frame, images, job.scale, sequence);
            imagefiles::writeImage(FilePattern(job.out).fileFor(frame), *result);
            if (size.empty()) size = sizeText(*result);
            ++rendered;
        } catch (const std::exception& e) {
            if (sequence) err << "\n";
            err << "velmora-render render: ";
            if (job.frames) err << "frame " << frame << ": ";
            err << e.what() << "\n";
            ++failed;
        }
        if (sequence) progress.update(frame - range.first + 1);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (sequence) progress.finish();

    if (rendered == 0) {
        out << "No frame rendered (" << failed << " failed)\n";
        return 1;
    }
    out << "Rendered " << rendered;
    if (failed) out << " of " << range.count();
    out << (range.count() == 1 ? " frame" : " frames") << " (" << size;
    if (job.scale != 1.0) out << " at scale " << job.scale;
    out << ") in " << std::fixed << std::setprecision(2) << seconds
        << " s: " << milliseconds(seconds / rendered) << " per frame";
    if (failed) out << "; " << failed << " failed";
    out << "\n";
    if (!sequence) out << "Wrote " << FilePattern(job.out).fileFor(range.first) << "\n";
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
    return runRenderJob(job, out, err);
}
