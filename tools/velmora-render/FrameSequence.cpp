#include "FrameSequence.h"

#include <algorithm>
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
    auto field = [&](int width) {
        if (numbered_) throw SequenceError("'" + text_ + "': more than one frame field");
        if (width > 9) throw SequenceError("'" + text_ + "': a frame field has at most 9 digits");
        numbered_ = true;
        width_ = width;
        piece = &tail_;
    };
    for (std::size_t i = 0; i < text_.size(); ++i) {
        const char c = text_[i];
        if (c == '#' || c == '@') {
            std::size_t j = i;
            while (j < text_.size() && text_[j] == c) ++j;
            field(static_cast<int>(j - i));
            i = j - 1;
            continue;
        }
        if (c != '%') {
            *piece += c;
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
        field(width);
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

bool FilePattern::frameOfName(const std::string& name, const FrameList& frames, int* frame) const {
    if (!numbered_ || fieldInFolder()) {
        const std::string file = fileFor(frames.first());
        const std::size_t slash = lastSeparator(file);
        *frame = frames.first();
        return name == (slash == std::string::npos ? file : file.substr(slash + 1));
    }
    const std::size_t slash = lastSeparator(head_);
    const std::string prefix = slash == std::string::npos ? head_ : head_.substr(slash + 1);
    if (name.size() <= prefix.size() + tail_.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - tail_.size(), tail_.size(), tail_) != 0)
        return false;
    int found = 0;
    if (!parseFrameNumber(name.substr(prefix.size(), name.size() - prefix.size() - tail_.size()), &found))
        return false;
    if (!frames.contains(found)) return false;
    // The width must be the pattern's own: plate.7.exr is no frame of plate.%04d.exr.
    if (fileFor(found) != head_.substr(0, slash == std::string::npos ? 0 : slash + 1) + name) return false;
    *frame = found;
    return true;
}

void FilePattern::forEachExistingFile(const FrameList& frames,
                                      const std::function<bool(int, const std::string&)>& visit) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!numbered_) {
        if (fs::exists(head_, ec)) visit(frames.first(), head_);
        return;
    }
    if (fieldInFolder()) {
        // The field names a folder: look for each frame's file.
        frames.forEach([&](int frame) {
            const std::string file = fileFor(frame);
            return !fs::exists(file, ec) || visit(frame, file);
        });
        return;
    }
    const std::size_t slash = lastSeparator(head_);
    const std::string folderPart = slash == std::string::npos ? std::string() : head_.substr(0, slash + 1);
    for (fs::directory_iterator it(folderPart.empty() ? std::string(".") : folderPart, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int frame = 0;
        if (frameOfName(name, frames, &frame) && !visit(frame, folderPart + name)) return;
    }
}

bool FilePattern::anyFileExists(const FrameList& frames) const {
    bool found = false;
    forEachExistingFile(frames, [&](int, const std::string&) {
        found = true;
        return false;
    });
    return found;
}

FrameList FrameList::parse(const std::string& text) {
    const std::string usage =
        "--frames '" + text +
        "': expected frames such as 7, 1-100, 1-100x2 or 1,5,10-20 (frame numbers 0 or more)";
    FrameList list;
    list.text_ = text;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        Span span;
        const std::size_t dash = item.find('-');
        if (dash == std::string::npos) {
            if (!parseFrameNumber(item, &span.first)) throw SequenceError(usage);
            span.last = span.first;
        } else {
            const std::size_t times = item.find('x', dash);
            if (!parseFrameNumber(item.substr(0, dash), &span.first) ||
                !parseFrameNumber(
                    item.substr(dash + 1, times == std::string::npos ? std::string::npos : times - dash - 1),
                    &span.last) ||
                (times != std::string::npos &&
                 (!parseFrameNumber(item.substr(times + 1), &span.step) || span.step == 0)))
                throw SequenceError(usage);
            if (span.last < span.first)
                throw SequenceError("--frames '" + text + "': in " + item +
                                    " the last frame comes before the first");
            // The last frame is one the step reaches.
            span.last -= (span.last - span.first) % span.step;
        }
        list.spans_.push_back(span);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return list;
}

FrameList FrameList::single(int frame) {
    FrameList list;
    list.spans_.push_back(Span{frame, frame, 1});
    list.text_ = std::to_string(frame);
    return list;
}

long long FrameList::count() const {
    long long total = 0;
    for (const Span& s : spans_) total += (static_cast<long long>(s.last) - s.first) / s.step + 1;
    return total;
}

int FrameList::lowest() const {
    int low = spans_.front().first;
    for (const Span& s : spans_) low = std::min(low, s.first);
    return low;
}

int FrameList::highest() const {
    int high = spans_.front().last;
    for (const Span& s : spans_) high = std::max(high, s.last);
    return high;
}

bool FrameList::contains(int frame) const {
    for (const Span& s : spans_)
        if (frame >= s.first && frame <= s.last && (frame - s.first) % s.step == 0) return true;
    return false;
}

void FrameList::forEach(const std::function<bool(int)>& visit) const {
    for (const Span& s : spans_)
        for (long long frame = s.first; frame <= s.last; frame += s.step)
            if (!visit(static_cast<int>(frame))) return;
}

}  // namespace framesequence
