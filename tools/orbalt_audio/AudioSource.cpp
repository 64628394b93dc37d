#include "AudioSource.h"

#include <sndfile.h>

#include <algorithm>

AudioSource::~AudioSource() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

bool AudioSource::open(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error_ = sf_strerror(nullptr);
        return false;
    }
    if (info.samplerate < 1000 || info.samplerate > 768000 || info.channels < 1 || info.channels > 256) {
        error_ = "unsupported sample rate " + std::to_string(info.samplerate) + " Hz or " +
                 std::to_string(info.channels) + " channels";
        sf_close(file);
        return false;
    }
    file_ = file;
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    return true;
}

std::size_t AudioSource::read(std::vector<float>& block) {
    std::fill(block.begin(), block.end(), 0.0f);
    if (!file_ || block.empty()) return 0;
    interleaved_.resize(block.size() * static_cast<std::size_t>(channels_));
    const sf_count_t got = sf_readf_float(static_cast<SNDFILE*>(file_), interleaved_.data(),
                                          static_cast<sf_count_t>(block.size()));
    if (got <= 0) return 0;
    for (sf_count_t i = 0; i < got; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < channels_; ++c) sum += interleaved_[static_cast<std::size_t>(i) * channels_ + c];
        block[static_cast<std::size_t>(i)] = sum / static_cast<float>(channels_);
    }
    return static_cast<std::size_t>(got);
}
