#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An audio file read through libsndfile as mono blocks (the channels averaged).
class AudioSource {
  public:
    AudioSource() = default;
    ~AudioSource();
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // False with error() set when the file cannot be read as audio.
    bool open(const std::string& path);
    // Fills `block` with the next samples (zeros past the end); the number of real samples read.
    std::size_t read(std::vector<float>& block);

    int sampleRate() const { return sampleRate_; }
    std::int64_t frameCount() const { return frames_; }
    const std::string& error() const { return error_; }

  private:
    void* file_ = nullptr;  // SNDFILE*
    int sampleRate_ = 0;
    int channels_ = 0;
    std::int64_t frames_ = 0;
    std::vector<float> interleaved_;
    std::string error_;
};
