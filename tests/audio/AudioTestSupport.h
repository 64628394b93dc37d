#pragma once

// A private temporary folder per test, and small writers for analysis files.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace audio_test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-audio-XXXXXX").string();
        if (mkdtemp(&pattern[0])) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string at = file(name);
        std::ofstream(at, std::ios::binary) << bytes;
        return at;
    }

  private:
    std::string path_;
};

// A 16-bit PCM WAV file of the given mono samples (-1..1).
inline void writeWav(const std::string& path, const std::vector<float>& samples, int sampleRate) {
    auto le = [](std::string& out, unsigned value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
    };
    const unsigned dataBytes = static_cast<unsigned>(samples.size() * 2);
    std::string bytes = "RIFF";
    le(bytes, 36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    le(bytes, 16, 4);
    le(bytes, 1, 2);  // PCM
    le(bytes, 1, 2);  // mono
    le(bytes, static_cast<unsigned>(sampleRate), 4);
    le(bytes, static_cast<unsigned>(sampleRate * 2), 4);
    le(bytes, 2, 2);
    le(bytes, 16, 2);
    bytes += "data";
    le(bytes, dataBytes, 4);
    for (float sample : samples) {
        const float clamped = sample < -1.0f ? -1.0f : sample > 1.0f ? 1.0f : sample;
        le(bytes, static_cast<unsigned>(static_cast<int>(clamped * 32767.0f)) & 0xffffu, 2);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

// Clicks (short decaying noise bursts) at `bpm`, the first at `firstBeat` seconds, over a quiet hum.
inline std::vector<float> clickTrack(double seconds, double bpm, double firstBeat, int sampleRate,
                                     std::vector<double>* clickTimes = nullptr) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * sampleRate));
    unsigned noise = 12345;
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.02f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 110.0 * i / sampleRate));
    for (double t = firstBeat; t < seconds - 0.05; t += 60.0 / bpm) {
        if (clickTimes) clickTimes->push_back(t);
        const std::size_t start = static_cast<std::size_t>(t * sampleRate);
        for (std::size_t k = 0; k < static_cast<std::size_t>(0.03 * sampleRate) && start + k < samples.size();
             ++k) {
            noise = noise * 1103515245u + 12345u;
            const float white = static_cast<float>((noise >> 8) & 0xffff) / 32768.0f - 1.0f;
            samples[start + k] +=
                0.8f * white * static_cast<float>(std::exp(-static_cast<double>(k) / (0.005 * sampleRate)));
        }
    }
    return samples;
}

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace audio_test
