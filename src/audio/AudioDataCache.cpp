#include "audio/AudioDataCache.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/AnalysisContainer.h"
#include "log/PluginLog.h"

#if defined(_WIN32)
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string trimmedPath(std::string path) {
    while (!path.empty() &&
           (path.back() == '\n' || path.back() == '\r' || path.back() == ' ' || path.back() == '\t'))
        path.pop_back();
    return path;
}

// Reads a whole regular file of at most `limit` bytes. On failure `what` starts the message and
// *errorNumber holds the system's error number.
bool readSidecar(const std::string& path, std::string& bytes, std::string& what, int* errorNumber) {
    auto failWith = [&](const char* prefix, int number) {
        what = prefix + path;
        *errorNumber = number;
        return false;
    };
#if defined(_WIN32)
    struct _stat64 info {};
    if (_stat64(path.c_str(), &info) != 0) return failWith("could not open sidecar: ", errno);
    if ((info.st_mode & _S_IFMT) != _S_IFREG) return failWith("could not open sidecar: ", EINVAL);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return failWith("could not open sidecar: ", errno);
    const long long size = info.st_size;
#else
    // Non-blocking open: a pipe or device named as the analysis must not hang the host.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return failWith("could not open sidecar: ", errno);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int number = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return failWith("could not open sidecar: ", number);
    }
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        const int number = errno;
        ::close(fd);
        return failWith("could not open sidecar: ", number);
    }
    const long long size = info.st_size;
#endif
    if (size > static_cast<long long>(audio::kMaxAnalysisBytes) +
                   static_cast<long long>(audio::kContainerHeaderSize)) {
        std::fclose(file);
        what = "sidecar too large: " + std::to_string(size) + " bytes (limit " +
               std::to_string(audio::kMaxAnalysisBytes + audio::kContainerHeaderSize) + "): " + path;
        *errorNumber = EFBIG;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    const std::size_t got = size > 0 ? std::fread(&bytes[0], 1, bytes.size(), file) : 0;
    const bool bad = std::ferror(file) != 0;
    const int number = errno;
    std::fclose(file);
    if (bad) return failWith("read error on sidecar: ", number);
    bytes.resize(got);  // a file that shrank while being read is taken as it was read
    return true;
}

// Saturating conversion of a non-negative frame position to an index.
long long framePosition(double x) {
    if (!(x > 0.0)) return 0;
    if (x >= 9.0e18) return 9000000000000000000LL;
    return static_cast<long long>(x);
}

}  // namespace

bool AudioDataCache::fail(const std::string& text) {
    error_ = text;
    VLOG_ERROR("AudioDataCache: %s", text.c_str());
    return false;
}

bool AudioDataCache::load(const std::string& rawPath) {
    data_ = audio::AnalysisData();
    loaded_ = false;
    error_.clear();
    const std::string path = trimmedPath(rawPath);

    std::string bytes, what;
    int errorNumber = 0;
    if (!readSidecar(path, bytes, what, &errorNumber)) {
        error_ = "Failed to load sidecar: " + what;
        VLOG_ERROR("AudioDataCache: %s (errno=%d: %s)", error_.c_str(), errorNumber,
                   std::strerror(errorNumber));
        return false;
    }
    return loadBytes(bytes);
}

bool AudioDataCache::loadBytes(const std::string& bytes) {
    data_ = audio::AnalysisData();
    loaded_ = false;
    error_.clear();

    std::string text, error;
    if (audio::isContainer(bytes)) {
        if (!audio::unpackContainer(bytes, text, error)) return fail(error);
    } else if (bytes.size() > audio::kMaxAnalysisBytes) {
        return fail("JSON text too large: " + std::to_string(bytes.size()) + " bytes (limit " +
                    std::to_string(audio::kMaxAnalysisBytes) + ")");
    } else {
        text = bytes;
    }
    audio::AnalysisData data;
    if (!audio::readAnalysisJson(text, data, error)) return fail(error);
    data_ = std::move(data);
    loaded_ = true;

    VLOG_INFO(
        "AudioDataCache: Loaded '%s' v%s — %d frames, %d channels, %d stems, %.2f analysis fps, %.2fs "
        "duration",
        data_.sourceFile.c_str(), data_.version.c_str(),
        static_cast<int>(std::min<long long>(data_.totalFrames, 2147483647LL)), channelCount(), stemCount(),
        data_.analysisRate, data_.duration);
    if (stemCount() >= 2) {
        std::string joined;
        for (const std::string& stem : data_.stems) joined += (joined.empty() ? "" : ", ") + stem;
        VLOG_INFO("AudioDataCache: Stems: %s", joined.c_str());
    }
    return true;
}

int AudioDataCache::channelIndex(const std::string& name) const {
    if (!loaded_) return -1;
    for (std::size_t i = 0; i < data_.channels.size(); ++i)
        if (data_.channels[i] == name) return static_cast<int>(i);
    return -1;
}

const audio::FrameTable* AudioDataCache::table(int stem) const {
    if (!loaded_ || stem < 0 || stem >= stemCount()) return nullptr;
    return &data_.tables[static_cast<std::size_t>(stem)];
}

int AudioDataCache::frameCount(int stem) const {
    const audio::FrameTable* t = table(stem);
    return t ? t->frameCount : 0;
}

float AudioDataCache::frameValue(int stem, int frame, int channel) const {
    const audio::FrameTable* t = table(stem);
    if (!t || frame < 0 || frame >= t->frameCount || channel < 0 || channel >= channelCount()) return 0.0f;
    return t
        ->values[static_cast<std::size_t>(frame) * data_.channels.size() + static_cast<std::size_t>(channel)];
}

float AudioDataCache::sample(int stem, double time, int channel) const {
    const audio::FrameTable* t = table(stem);
    if (!t || channel < 0 || channel >= channelCount() || !(time >= 0.0)) return 0.0f;
    const double x = time * data_.analysisRate;
    const int n = t->frameCount;
    if (x < n - 1) {
        const int i = static_cast<int>(x);
        const double fraction = x - i;
        const float a = frameValue(stem, i, channel);
        const float b = frameValue(stem, i + 1, channel);
        return static_cast<float>(a + (b - a) * fraction);
    }
    if (x < n) return frameValue(stem, n - 1, channel);
    return 0.0f;
}

float AudioDataCache::windowAverage(int stem, double time, int channel, double halfWindow) const {
    if (!(halfWindow > 0.0)) return sample(stem, time, channel);
    const audio::FrameTable* t = table(stem);
    if (!t || channel < 0 || channel >= channelCount() || std::isnan(time)) return 0.0f;
    const long long n = t->frameCount;
    const long long first = framePosition(std::max(time - halfWindow, 0.0) * data_.analysisRate);
    const double end = std::min(time + halfWindow, data_.duration);
    if (end < 0.0) return 0.0f;
    long long last = framePosition(end * data_.analysisRate);
    if (last > n - 1) last = n - 1;
    if (first > last || first >= n) return 0.0f;
    double sum = 0.0;
    for (long long f = first; f <= last; ++f) sum += frameValue(stem, static_cast<int>(f), channel);
    return static_cast<float>(sum / static_cast<double>(last - first + 1));
}

int AudioDataCache::beatCountAt(double time) const {
    if (!loaded_ || std::isnan(time)) return 0;
    return static_cast<int>(std::upper_bound(data_.beatTimes.begin(), data_.beatTimes.end(), time) -
                            data_.beatTimes.begin());
}
