#include "plugin/OfxAudioControls.h"

#include "audio/TapClock.h"
#include "audio/TapRecords.h"
#include "ofxsImageEffect.h"

std::optional<double> OfxAudioControls::read(const std::string& name, const double* time) {
    if (!effect_.paramExists(name)) return std::nullopt;
    switch (effect_.getParamType(name)) {
        case OFX::eDoubleParam: {
            OFX::DoubleParam* param = effect_.fetchDoubleParam(name);
            return time ? param->getValueAtTime(*time) : param->getValue();
        }
        case OFX::eIntParam: {
            OFX::IntParam* param = effect_.fetchIntParam(name);
            return time ? param->getValueAtTime(*time) : param->getValue();
        }
        case OFX::eBooleanParam: {
            OFX::BooleanParam* param = effect_.fetchBooleanParam(name);
            return (time ? param->getValueAtTime(*time) : param->getValue()) ? 1.0 : 0.0;
        }
        case OFX::eChoiceParam: {
            OFX::ChoiceParam* param = effect_.fetchChoiceParam(name);
            return time ? param->getValueAtTime(*time) : param->getValue();
        }
        default:
            return std::nullopt;
    }
}

std::optional<double> OfxAudioControls::value(const std::string& name) {
    return read(name, nullptr);
}

std::optional<double> OfxAudioControls::valueAt(const std::string& name, double time) {
    return read(name, &time);
}

std::optional<double> OfxAudioControls::latestKeyTime(const std::string& name, double frame) {
    if (!effect_.paramExists(name) || effect_.getParamType(name) != OFX::eDoubleParam) return std::nullopt;
    OFX::DoubleParam* param = effect_.fetchDoubleParam(name);
    // Keys are in ascending time: the last one at or before the frame, by bisection.
    unsigned low = 0, high = param->getNumKeys();
    while (low < high) {
        const unsigned middle = low + (high - low) / 2;
        if (param->getKeyTime(middle) <= frame)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0) return std::nullopt;
    return param->getKeyTime(low - 1);
}

double OfxAudioControls::frameRate() {
    return effect_.getFrameRate();
}

double OfxAudioControls::timelineStart() {
    try {
        double first = 0.0, last = 0.0;
        effect_.timeLineGetBounds(first, last);
        return first;
    } catch (const std::exception&) {
        return 0.0;  // a host without a timeline
    }
}

bool OfxAudioControls::tapRecord(int track, TapRecord* record) {
    return taps_ && record && taps_->copy(track, *record);
}

int64_t OfxAudioControls::steadyNowNanos() {
    return audio::tapClockNanos();
}
