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

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

std::size_t lastSeparator(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1])) return i - 1;
    return std::string::npos;
}

}  // namespace

FilePattern::FilePattern(std::string text) : text_(std::move(text)) {
    std::string* piece = &head_;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] != '%') {
            *piece += text_[i];
            continue;
        }
        std::size_t j = i + 1;
        if (j < text_.size() && text_[j] == '%') {
            *piece += '%';
            i = j;
            continue;
        }
        int width = 0;
        if (j < text_.size() && text_[j] == '0') {
            ++j;
            while (j < text_.size() && std::isdigit(static_cast<unsigned char>(text_[j])))
                width = width * 10 + (text_[j++] - '0');
            if (width == 0 || width > 9)
                throw SequenceError("'" + text_ + "': a frame field is %d or %0Nd with N from 1 to 9");
        }
        if (j >= text_.size() || text_[j] != 'd')
            throw SequenceError("'" + text_ +
                                "': '%' starts a frame field, which is %d or %0Nd; write %% for a literal %");
        if (numbered_) throw SequenceError("'" + text_ + "': more than one frame field");
        numbered_ = true;
        width_ = width;
        piece = &tail_;
        i = j;
    }
}

std::string FilePattern::fileFor(int frame) const {
    if (!numbered_) return head_;
    char digits[32];
    std::snprintf(digits, sizeof(digits), "%0*d", width_, frame);
    return head_ + digits + tail_;
}

bool FilePattern::fieldInFolder() const {
    return numbered_ && lastSeparator(tail_) != std::string::npos;
}

bool FilePattern::frameOfName(const std::string& name, const FrameRange& range, int* frame) const {
    if (!numbered_ || fieldInFolder()) {
        const std::string file = fileFor(range.first);
        const std::size_t slash = lastSeparator(file);
        *frame = range.first;
        return name == (slash == std::string::npos ? file : file.substr(slash + 1)) && range.count() >= 1;
    }
    const std::size_t slash = lastSeparator(head_);
    const std::string prefix = slash == std::string::npos ? head_ : head_.substr(slash + 1);
    if (name.size() <= prefix.size() + tail_.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - tail_.size(), tail_.size(), tail_) != 0)
        return false;
    int found = 0;
    if (!parseFrameNumber(name.substr(prefix.size(), name.size() - prefix.size() - tail_.size()), &found))
        return false;
    if (found < range.first || found > range.last) return false;
    // The width must be the pattern's own: plate.7.exr is no frame of plate.%04d.exr.
    if (fileFor(found) != head_.substr(0, slash == std::string::npos ? 0 : slash + 1) + name) return false;
    *frame = found;
    return true;
}

void FilePattern::forEachExistingFile(const FrameRange& range,
                                      const std::function<bool(int, const std::string&)>& visit) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!numbered_) {
        if (fs::exists(head_, ec)) visit(range.first, head_);
        return;
    }
    if (fieldInFolder()) {
        // The field names a folder: look for each frame's file.
        for (int frame = range.first; frame <= range.last; ++frame) {
            const std::string file = fileFor(frame);
            if (fs::exists(file, ec) && !visit(frame, file)) return;
        }
        return;
    }
    const std::size_t slash = lastSeparator(head_);
    const std::string folderPart = slash == std::string::npos ? std::string() : head_.substr(0, slash + 1);
    for (fs::directory_iterator it(folderPart.empty() ? std::string(".") : folderPart, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int frame = 0;
        if (frameOfName(name, range, &frame) && !visit(frame, folderPart + name)) return;
    }
}

bool FilePattern::anyFileExists(const FrameRange& range) const {
    bool found = false;
    forEachExistingFile(range, [&](int, const std::string&) {
        found = true;
        return false;
    });
    return found;
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
