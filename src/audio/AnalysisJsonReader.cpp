// The analysis JSON, read as a stream of parser events straight into frame tables: no document
// tree is built, so memory follows the values kept, and every limit is checked as values arrive.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "audio/AnalysisData.h"

namespace audio {

const std::vector<std::string>& defaultChannelOrder() {
    static const std::vector<std::string> names = {
        "onset_strength", "rms_energy", "beat_confidence", "sub_bass",         "bass", "low_mid", "mid",
        "high_mid",       "highs",      "brilliance",      "spectral_centroid"};
    return names;
}

namespace {

using json = nlohmann::json;

// A frame table as read, before the channel count is known: each frame's values (at most
// kMaxAnalysisChannels of them) one after the other, and where each frame starts.
struct RawTable {
    std::vector<float> values;
    std::vector<std::size_t> starts;
};

enum class Role { Root, Skip, Metadata, Timing, ChannelOrder, Stems, BeatTimes, FramesObject, Table, Frame };

class AnalysisReader : public nlohmann::json_sax<json> {
  public:
    std::string error;

    std::string format;
    bool formatSeen = false;
    std::string version = "1.0";
    std::string sourceFile;
    bool hasRate = false, hasFps = false;
    double rate = 86.0, fps = 24.0, duration = 0.0;
    long long totalFrames = 0;
    bool channelOrderSeen = false;
    std::vector<std::string> channels;
    bool stemsSeen = false;
    std::vector<std::string> stems;
    bool framesIsArray = false;
    RawTable mixTable;
    std::map<std::string, RawTable> keyedTables;
    std::vector<double> beats;

    bool null() override { return scalar("null"); }
    bool boolean(bool value) override { return number(value ? 1.0 : 0.0, "boolean"); }
    bool number_integer(number_integer_t value) override {
        return number(static_cast<double>(value), "number");
    }
    bool number_unsigned(number_unsigned_t value) override {
        return number(static_cast<double>(value), "number");
    }
    bool number_float(number_float_t value, const string_t&) override { return number(value, "number"); }
    bool binary(binary_t&) override { return scalar("binary"); }

    bool string(string_t& value) override {
        if (stack_.empty()) return fail("the analysis must be a JSON object");
        switch (slot()) {
            case Slot::Format:
                format = value;
                formatSeen = true;
                return true;
            case Slot::Version:
                version = value;
                return true;
            case Slot::SourceFile:
                sourceFile = value;
                return true;
            case Slot::ChannelName:
                if (channels.size() >= kMaxAnalysisChannels)
                    return fail("more than " + std::to_string(kMaxAnalysisChannels) + " channels");
                channels.push_back(value);
                return true;
            case Slot::StemName:
                if (stems.size() >= kMaxAnalysisStems)
                    return fail("more than " + std::to_string(kMaxAnalysisStems) + " stems");
                stems.push_back(value);
                return true;
            default:
                return scalar("string");
        }
    }

    bool start_object(std::size_t) override {
        if (stack_.empty()) return push(Role::Root);
        switch (slot()) {
            case Slot::Skip:
            case Slot::Ignored:
            case Slot::ChannelOrder:  // optional sections of another type are passed over
            case Slot::Stems:
            case Slot::BeatTimes:
                return push(Role::Skip);
            case Slot::Metadata:
                return push(Role::Metadata);
            case Slot::Timing:
                return push(Role::Timing);
            case Slot::Frames:
                return push(Role::FramesObject);
            default:
                return wrongType("object");
        }
    }

    bool key(string_t& value) override {
        key_ = value;
        return true;
    }

    bool end_object() override { return pop(); }

    bool start_array(std::size_t) override {
        if (stack_.empty()) return fail("the analysis must be a JSON object, not an array");
        switch (slot()) {
            case Slot::Skip:
            case Slot::Ignored:
                return push(Role::Skip);
            case Slot::ChannelOrder:
                channelOrderSeen = true;
                channels.clear();
                return push(Role::ChannelOrder);
            case Slot::Stems:
                stemsSeen = true;
                stems.clear();
                return push(Role::Stems);
            case Slot::BeatTimes:
                beats.clear();
                return push(Role::BeatTimes);
            case Slot::Frames:
                framesIsArray = true;
                keyedTables.clear();
                mixTable = RawTable();
                table_ = &mixTable;
                return push(Role::Table);
            case Slot::StemTable:
                table_ = &keyedTables[key_];
                *table_ = RawTable();
                return push(Role::Table);
            case Slot::FrameRow:
                if (!count(0)) return false;
                table_->starts.push_back(table_->values.size());
                rowLength_ = 0;
                return push(Role::Frame);
            default:
                return wrongType("array");
        }
    }

    bool end_array() override {
        // With the channels known, a short frame costs its full row already while it is read.
        if (!stack_.empty() && stack_.back().role == Role::Frame && channelOrderSeen &&
            rowLength_ < channels.size() && !count(channels.size() - rowLength_))
            return false;
        return pop();
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& exception) override {
        if (error.empty()) error = std::string("JSON parse error: ") + exception.what();
        return false;
    }

  private:
    // What the next value stands for, from where it sits.
    enum class Slot {
        Skip,     // inside something ignored
        Ignored,  // a key nobody reads: any value
        Format,
        Version,
        Metadata,
        SourceFile,
        Timing,
        Rate,
        Fps,
        Duration,
        TotalFrames,
        ChannelOrder,
        ChannelName,
        Stems,
        StemName,
        Frames,
        StemTable,
        FrameRow,
        FrameValue,
        BeatTimes,
        BeatTime,
    };

    struct Level {
        Role role;
    };

    Slot slot() const {
        switch (stack_.back().role) {
            case Role::Skip:
                return Slot::Skip;
            case Role::Root:
                if (key_ == "format") return Slot::Format;
                if (key_ == "version") return Slot::Version;
                if (key_ == "metadata") return Slot::Metadata;
                if (key_ == "timing") return Slot::Timing;
                if (key_ == "channel_order") return Slot::ChannelOrder;
                if (key_ == "stems") return Slot::Stems;
                if (key_ == "frames") return Slot::Frames;
                if (key_ == "beat_times") return Slot::BeatTimes;
                return Slot::Ignored;
            case Role::Metadata:
                return key_ == "source_file" ? Slot::SourceFile : Slot::Ignored;
            case Role::Timing:
                if (key_ == "analysis_rate") return Slot::Rate;
                if (key_ == "fps") return Slot::Fps;
                if (key_ == "duration_seconds") return Slot::Duration;
                if (key_ == "total_frames") return Slot::TotalFrames;
                return Slot::Ignored;
            case Role::ChannelOrder:
                return Slot::ChannelName;
            case Role::Stems:
                return Slot::StemName;
            case Role::BeatTimes:
                return Slot::BeatTime;
            case Role::FramesObject:
                return Slot::StemTable;
            case Role::Table:
                return Slot::FrameRow;
            case Role::Frame:
                return Slot::FrameValue;
        }
        return Slot::Skip;
    }

    // Where a value sits, for messages.
    std::string place() const {
        switch (stack_.back().role) {
            case Role::Root:
                return "\"" + key_ + "\"";
            case Role::Metadata:
                return "\"metadata\".\"" + key_ + "\"";
            case Role::Timing:
                return "\"timing\".\"" + key_ + "\"";
            case Role::ChannelOrder:
                return "an entry of \"channel_order\"";
            case Role::Stems:
                return "an entry of \"stems\"";
            case Role::BeatTimes:
                return "an entry of \"beat_times\"";
            case Role::FramesObject:
                return "the frames of stem \"" + key_ + "\"";
            case Role::Table:
                return "a frame";
            case Role::Frame:
                return "a frame value";
            case Role::Skip:
                break;
        }
        return "a value";
    }

    bool fail(const std::string& message) {
        if (error.empty()) error = "Error: " + message;
        return false;
    }

    bool wrongType(const char* found) {
        const char* expected = "a value of another type";
        switch (slot()) {
            case Slot::Format:
            case Slot::Version:
            case Slot::SourceFile:
            case Slot::ChannelName:
            case Slot::StemName:
                expected = "a string";
                break;
            case Slot::Metadata:
            case Slot::Timing:
                expected = "an object";
                break;
            case Slot::Rate:
            case Slot::Fps:
            case Slot::Duration:
            case Slot::TotalFrames:
            case Slot::FrameValue:
            case Slot::BeatTime:
                expected = "a number";
                break;
            case Slot::StemTable:
            case Slot::FrameRow:
                expected = "an array";
                break;
            default:
                break;
        }
        return fail(place() + " must be " + expected + ", not " + found);
    }

    bool scalar(const char* type) {
        if (stack_.empty()) return fail("the analysis must be a JSON object");
        const Slot s = slot();
        if (s == Slot::Skip || s == Slot::Ignored) return true;
        // Optional sections of another type are passed over, as if absent.
        if (s == Slot::ChannelOrder || s == Slot::Stems || s == Slot::BeatTimes || s == Slot::Frames)
            return true;
        return wrongType(type);
    }

    bool number(double value, const char* type) {
        if (stack_.empty()) return fail("the analysis must be a JSON object");
        switch (slot()) {
            case Slot::Rate:
                hasRate = true;
                rate = value;
                return true;
            case Slot::Fps:
                hasFps = true;
                fps = value;
                return true;
            case Slot::Duration:
                duration = value;
                return true;
            case Slot::TotalFrames:
                totalFrames = value >= 9.0e18    ? 9000000000000000000LL
                              : value <= -9.0e18 ? -9000000000000000000LL
                                                 : static_cast<long long>(value);
                return true;
            case Slot::FrameValue:
                if (std::fabs(value) > FLT_MAX)
                    return fail("a frame value is out of range: " + json(value).dump());
                if (rowLength_++ >= kMaxAnalysisChannels) return true;
                if (!count(1)) return false;
                table_->values.push_back(static_cast<float>(value));
                return true;
            case Slot::BeatTime:
                if (!count(1)) return false;
                beats.push_back(value);
                return true;
            default:
                return scalar(type);
        }
    }

    bool count(std::size_t values) {
        counted_ += values;
        // Each frame costs at least its start offset, so empty frames are bounded too.
        if (values == 0) ++counted_;
        if (counted_ > kMaxAnalysisValues)
            return fail("more than " + std::to_string(kMaxAnalysisValues) + " values in the analysis");
        return true;
    }

    bool push(Role role) {
        if (stack_.size() >= kMaxAnalysisDepth)
            return fail("the JSON is nested deeper than " + std::to_string(kMaxAnalysisDepth) + " levels");
        stack_.push_back(Level{role});
        return true;
    }

    bool pop() {
        if (!stack_.empty()) stack_.pop_back();
        return true;
    }

    std::vector<Level> stack_;
    std::string key_;
    RawTable* table_ = nullptr;
    std::size_t rowLength_ = 0;
    std::size_t counted_ = 0;
};

FrameTable cutTable(const RawTable& raw, std::size_t channels) {
    FrameTable table;
    table.frameCount = static_cast<int>(raw.starts.size());
    table.values.assign(raw.starts.size() * channels, 0.0f);
    for (std::size_t f = 0; f < raw.starts.size(); ++f) {
        const std::size_t begin = raw.starts[f];
        const std::size_t end = f + 1 < raw.starts.size() ? raw.starts[f + 1] : raw.values.size();
        const std::size_t used = std::min(end - begin, channels);
        std::copy(raw.values.begin() + begin, raw.values.begin() + begin + used,
                  table.values.begin() + f * channels);
    }
    return table;
}

}  // namespace

bool readAnalysisJson(const std::string& text, AnalysisData& data, std::string& error) {
    AnalysisReader reader;
    const bool parsed = json::sax_parse(text, &reader);
    if (!parsed || !reader.error.empty()) {
        error = reader.error.empty() ? "JSON parse error: the analysis could not be read" : reader.error;
        return false;
    }
    if (!reader.formatSeen || reader.format != "orbalt_audio_analysis") {
        error = "Invalid format: expected orbalt_audio_analysis";
        return false;
    }

    data = AnalysisData();
    data.version = reader.version;
    data.sourceFile = reader.sourceFile;
    data.analysisRate = reader.hasRate ? reader.rate : reader.hasFps ? reader.fps : 86.0;
    if (!(data.analysisRate > 0.0) || !std::isfinite(data.analysisRate)) {
        error = "Error: the analysis rate must be a positive number, not " + json(data.analysisRate).dump();
        return false;
    }
    data.duration = reader.duration;
    data.totalFrames = reader.totalFrames;

    if (reader.channelOrderSeen) {
        if (reader.channels.empty()) {
            error = "No channels defined in JSON";
            return false;
        }
        data.channels = reader.channels;
    } else {
        data.channels = defaultChannelOrder();
    }
    const std::size_t channelCount = data.channels.size();

    if (reader.stemsSeen) data.stems = reader.stems;
    // The tables are built with a full row per frame, so a frame of few (or no) values still
    // costs every channel, and a table listed under several stems costs each time.
    std::size_t builtFrames = 0;
    if (reader.framesIsArray) {
        builtFrames = reader.mixTable.starts.size();
    } else {
        for (const std::string& stem : data.stems) {
            const auto found = reader.keyedTables.find(stem);
            if (found != reader.keyedTables.end()) builtFrames += found->second.starts.size();
        }
    }
    if (builtFrames > kMaxAnalysisValues / channelCount) {
        error = "Error: more than " + std::to_string(kMaxAnalysisValues) + " values in the analysis (" +
                std::to_string(builtFrames) + " frames of " + std::to_string(channelCount) + " channels)";
        return false;
    }
    if (reader.framesIsArray) {
        if (data.stems.empty()) data.stems.push_back("mix");
        data.tables.resize(data.stems.size());
        const auto mix = std::find(data.stems.begin(), data.stems.end(), "mix");
        data.mixIndex = mix == data.stems.end() ? 0 : static_cast<int>(mix - data.stems.begin());
        data.tables[data.mixIndex] = cutTable(reader.mixTable, channelCount);
    } else if (!reader.keyedTables.empty()) {
        data.tables.resize(data.stems.size());
        for (std::size_t s = 0; s < data.stems.size(); ++s) {
            auto found = reader.keyedTables.find(data.stems[s]);
            if (found != reader.keyedTables.end()) data.tables[s] = cutTable(found->second, channelCount);
        }
        if (!data.stems.empty()) {
            const auto mix = std::find(data.stems.begin(), data.stems.end(), "mix");
            data.mixIndex = mix == data.stems.end() ? 0 : static_cast<int>(mix - data.stems.begin());
        }
    }
    if (data.mixIndex < 0 || data.tables[data.mixIndex].frameCount == 0) {
        error = "No frame data in JSON";
        return false;
    }

    if (data.totalFrames == 0) data.totalFrames = data.tables[data.mixIndex].frameCount;
    if (!(data.duration > 0.0)) data.duration = static_cast<double>(data.totalFrames) / data.analysisRate;
    data.beatTimes = reader.beats;
    std::sort(data.beatTimes.begin(), data.beatTimes.end());
    return true;
}

}  // namespace audio
