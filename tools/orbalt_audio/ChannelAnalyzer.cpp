#include "ChannelAnalyzer.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "AudioSource.h"

namespace {

constexpr unsigned kWindow = 2048;
// Frequency bands of the channels sub_bass .. brilliance, in Hz.
constexpr double kBandEdges[8] = {20, 60, 250, 500, 2000, 4000, 6000, 20000};
constexpr double kBandRangeDb = 60.0;
constexpr long kBeatSnapFrames = 2;
constexpr double kOnsetLeadFrames = 0.5;

enum Channel { Onset = 0, Rms, BeatConfidence, FirstBand, Centroid = 10 };

// The aubio objects of one file, released together.
struct AubioObjects {
    fvec_t* input = nullptr;
    cvec_t* spectrum = nullptr;
    fvec_t* onsetOut = nullptr;
    fvec_t* tempoOut = nullptr;
    fvec_t* centroidOut = nullptr;
    aubio_pvoc_t* pvoc = nullptr;
    aubio_onset_t* onset = nullptr;
    aubio_tempo_t* tempo = nullptr;
    aubio_specdesc_t* centroid = nullptr;

    AubioObjects(unsigned hop, unsigned sampleRate) {
        input = new_fvec(hop);
        spectrum = new_cvec(kWindow);
        onsetOut = new_fvec(1);
        tempoOut = new_fvec(2);
        centroidOut = new_fvec(1);
        pvoc = new_aubio_pvoc(kWindow, hop);
        onset = new_aubio_onset("specflux", kWindow, hop, sampleRate);
        tempo = new_aubio_tempo("default", kWindow, hop, sampleRate);
        centroid = new_aubio_specdesc("centroid", kWindow);
    }
    ~AubioObjects() {
        if (centroid) del_aubio_specdesc(centroid);
        if (tempo) del_aubio_tempo(tempo);
        if (onset) del_aubio_onset(onset);
        if (pvoc) del_aubio_pvoc(pvoc);
        if (centroidOut) del_fvec(centroidOut);
        if (tempoOut) del_fvec(tempoOut);
        if (onsetOut) del_fvec(onsetOut);
        if (spectrum) del_cvec(spectrum);
        if (input) del_fvec(input);
    }
    bool complete() const {
        return input && spectrum && onsetOut && tempoOut && centroidOut && pvoc && onset && tempo && centroid;
    }
};

float clamp01(double value) {
    return static_cast<float>(std::min(1.0, std::max(0.0, value)));
}

// Scales a channel so that its largest value over the file is 1.
void normalisePeak(std::vector<std::array<float, ChannelAnalysis::kChannels>>& frames, int channel) {
    float peak = 0.0f;
    for (const auto& frame : frames) peak = std::max(peak, frame[channel]);
    for (auto& frame : frames) frame[channel] = peak > 0.0f ? clamp01(frame[channel] / peak) : 0.0f;
}

}  // namespace

bool analyzeAudioFile(const std::string& path, ChannelAnalysis& result, std::string* error,
                      const std::function<void(double)>& onProgress) {
    AudioSource source;
    if (!source.open(path)) {
        if (error) *error = "cannot read " + path + ": " + source.error();
        return false;
    }
    const unsigned sampleRate = static_cast<unsigned>(source.sampleRate());
    const unsigned hop = static_cast<unsigned>(std::lround(sampleRate / kTargetAnalysisRate));
    AubioObjects aubio(hop, sampleRate);
    if (!aubio.complete()) {
        if (error) *error = "cannot set up the analysis of " + path;
        return false;
    }

    // Band limits in spectrum bins.
    const unsigned bins = kWindow / 2 + 1;
    unsigned bandBins[8];
    for (int b = 0; b < 8; ++b)
        bandBins[b] =
            std::min(bins, static_cast<unsigned>(std::lround(kBandEdges[b] * kWindow / sampleRate)));
    // The spectrum of hop j is centred about win/2 samples before its end; frame i takes the
    // spectral values of the hop whose window is centred on it.
    const std::size_t spectralDelay =
        static_cast<std::size_t>(std::max(0L, std::lround(static_cast<double>(kWindow) / (2.0 * hop) - 0.5)));

    std::vector<float> block(hop);
    std::vector<float> rms;
    std::vector<std::array<float, 9>> spectral;  // onset, confidence, 7 band powers (dB); centroid last
    std::vector<float> centroidHz;
    std::vector<double> beats;
    const std::int64_t expected = std::max<std::int64_t>(source.frameCount(), 1);
    std::int64_t done = 0;
    std::size_t got;
    while ((got = source.read(block)) > 0) {
        done += static_cast<std::int64_t>(got);
        double sumSquares = 0.0;
        for (unsigned i = 0; i < hop; ++i) {
            aubio.input->data[i] = block[i];
            sumSquares += static_cast<double>(block[i]) * block[i];
        }
        rms.push_back(static_cast<float>(std::sqrt(sumSquares / hop)));

        aubio_pvoc_do(aubio.pvoc, aubio.input, aubio.spectrum);
        aubio_specdesc_do(aubio.centroid, aubio.spectrum, aubio.centroidOut);
        aubio_onset_do(aubio.onset, aubio.input, aubio.onsetOut);
        aubio_tempo_do(aubio.tempo, aubio.input, aubio.tempoOut);
        if (aubio.tempoOut->data[0] != 0) beats.push_back(aubio_tempo_get_last_s(aubio.tempo));

        std::array<float, 9> values{};
        values[0] = std::max(0.0f, static_cast<float>(aubio_onset_get_descriptor(aubio.onset)));
        values[1] = std::max(0.0f, static_cast<float>(aubio_tempo_get_confidence(aubio.tempo)));
        for (int b = 0; b < 7; ++b) {
            double power = 0.0;
            for (unsigned k = bandBins[b]; k < bandBins[b + 1]; ++k)
                power += static_cast<double>(aubio.spectrum->norm[k]) * aubio.spectrum->norm[k];
            values[2 + b] = static_cast<float>(10.0 * std::log10(power + 1e-12));
        }
        spectral.push_back(values);
        centroidHz.push_back(
            static_cast<float>(aubio_bintofreq(aubio.centroidOut->data[0], sampleRate, kWindow)));
        if (onProgress) onProgress(std::min(1.0, static_cast<double>(done) / expected));
    }
    if (rms.empty()) {
        if (error) *error = path + " holds no audio samples";
        return false;
    }

    result = ChannelAnalysis();
    result.analysisRate = static_cast<double>(sampleRate) / hop;
    result.duration = static_cast<double>(done) / sampleRate;
    result.frames.resize(rms.size());
    std::array<float, 7> bandPeakDb;
    bandPeakDb.fill(-1e30f);
    for (const auto& values : spectral)
        for (int b = 0; b < 7; ++b) bandPeakDb[b] = std::max(bandPeakDb[b], values[2 + b]);
    const double nyquist = sampleRate / 2.0;
    for (std::size_t i = 0; i < result.frames.size(); ++i) {
        auto& frame = result.frames[i];
        const std::size_t j = std::min(i + spectralDelay, spectral.size() - 1);
        frame[Rms] = rms[i];
        frame[Onset] = spectral[j][0];
        frame[BeatConfidence] = spectral[j][1];
        for (int b = 0; b < 7; ++b) {
            const double floorDb = bandPeakDb[b] - kBandRangeDb;
            // A band with no energy anywhere in the file stays at 0.
            frame[FirstBand + b] =
                bandPeakDb[b] > -100.0f ? clamp01((spectral[j][2 + b] - floorDb) / kBandRangeDb) : 0.0f;
        }
        const double hz = centroidHz[j];
        frame[Centroid] = hz > 20.0 ? clamp01(std::log2(hz / 20.0) / std::log2(nyquist / 20.0)) : 0.0f;
    }
    // The tracker places beats on its own grid of hops; each goes to the strongest onset of the
    // frames around it (the peak interpolated between frames), so that it lands on the attack.
    // The flux of an attack peaks about half a frame before it in this grid (measured on clicks).
    std::vector<double> aligned;
    for (double beat : beats) {
        const long centre = std::lround(beat * result.analysisRate);
        long best = -1;
        float strongest = 0.0f;
        for (long f = centre - kBeatSnapFrames; f <= centre + kBeatSnapFrames; ++f) {
            if (f < 0 || f >= static_cast<long>(result.frames.size())) continue;
            if (result.frames[static_cast<std::size_t>(f)][Onset] > strongest) {
                strongest = result.frames[static_cast<std::size_t>(f)][Onset];
                best = f;
            }
        }
        if (best < 0) {
            aligned.push_back(beat);
            continue;
        }
        double offset = 0.0;
        if (best > 0 && best + 1 < static_cast<long>(result.frames.size())) {
            const double before = result.frames[static_cast<std::size_t>(best - 1)][Onset];
            const double after = result.frames[static_cast<std::size_t>(best + 1)][Onset];
            const double curvature = before - 2.0 * strongest + after;
            if (curvature < 0.0) offset = std::max(-0.5, std::min(0.5, 0.5 * (before - after) / curvature));
        }
        aligned.push_back((static_cast<double>(best) + offset + kOnsetLeadFrames) / result.analysisRate);
    }
    beats.swap(aligned);
    normalisePeak(result.frames, Onset);
    normalisePeak(result.frames, Rms);
    normalisePeak(result.frames, BeatConfidence);

    std::sort(beats.begin(), beats.end());
    for (double beat : beats)
        if (beat >= 0.0 && (result.beatTimes.empty() || beat > result.beatTimes.back()))
            result.beatTimes.push_back(beat);
    return true;
}

void releaseAnalysisResources() {
    aubio_cleanup();
}
