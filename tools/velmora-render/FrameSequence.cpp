#include "FrameSequence.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace framesequence {
namespace {

bool parseFrameNumber(const std::string& text, int* value) {
    if (text.empty() || text.size() > 9) return false;
    long long v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    *value = static_cast<int>(v);
    return true;
}

}  // namespace

FilePattern::FilePattern(std::string text) : text_(std::move(text)) {
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] != '%') continue;
        std::size_t j = i + 1;
        int width = 0;
        if (j < text_.size() && text_[j] == '0') {
            ++j;
            while (j < text_.size() && std::isdigit(static_cast<unsigned char>(text_[j])))
                width = width * 10 + (text_[j++] - '0');
            if (width == 0 || width > 9)
                throw SequenceError("'" + text_ + "': a frame field is %d or %0Nd with N from 1 to 9");
        }
        if (j >= text_.size() || text_[j] != 'd')
            throw SequenceError("'" + text_ + "': '%' starts a frame field, which is %d or %0Nd");
        if (numbered()) throw SequenceError("'" + text_ + "': more than one frame field");
        fieldStart_ = i;
        fieldLength_ = j + 1 - i;
        width_ = width;
        i = j;
    }
}

std::string FilePattern::fileFor(int frame) const {
    if (!numbered()) return text_;
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%0*d", width_, frame);
    return text_.substr(0, fieldStart_) + digits + text_.substr(fieldStart_ + fieldLength_);
}

bool FilePattern::anyFileExists(const FrameRange& range) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!numbered()) return fs::exists(text_, ec);
    const std::size_t slash = text_.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (fieldStart_ < nameStart) {
        // The field names a folder: look for each frame's file until one is found.
        for (int frame = range.first; frame <= range.last; ++frame)
            if (fs::exists(fileFor(frame), ec)) return true;
        return false;
    }
    const std::string folder = nameStart == 0 ? std::string(".") : text_.substr(0, nameStart);
    const std::string prefix = text_.substr(nameStart, fieldStart_ - nameStart);
    const std::string suffix = text_.substr(fieldStart_ + fieldLength_);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        int frame = 0;
        if (!parseFrameNumber(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()),
                              &frame))
            continue;
        if (frame >= range.first && frame <= range.last &&
            fileFor(frame) == text_.substr(0, nameStart) + name)
            return true;
    }
    return false;
}

FrameRange FrameRange::parse(const std::string& text) {
    const std::string usage =
        "--frames '" + text + "': expected FIRST-LAST or FRAME (frame numbers 0 or more)";
    FrameRange range;
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos) {
        if (!parseFrameNumber(text, &range.first)) throw SequenceError(usage);
        range.last = range.first;
        return range;
    }
    if (!parseFrameNumber(text.substr(0, dash), &range.first) ||
        !parseFrameNumber(text.substr(dash + 1), &range.last))
        throw SequenceError(usage);
    if (range.last < range.first)
        throw SequenceError("--frames '" + text + "': the last frame comes before the first");
    return range;
}

}  // namespace framesequence
