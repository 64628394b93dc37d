#pragma once

#include <functional>
#include <stdexcept>
#include <string>

// Numbered file names ("plate.%04d.exr") and frame ranges ("1-100", "7").
namespace framesequence {

class SequenceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct FrameRange;

// A file name that may hold one frame-number field, %d or %0Nd (N up to 9); %% stands for a
// literal %.
class FilePattern {
  public:
    // Throws SequenceError for a name with more than one field or another % directive.
    explicit FilePattern(std::string text);

    bool numbered() const { return numbered_; }
    const std::string& text() const { return text_; }
    // The file of that frame; the name itself (with %% as %) when it is not numbered.
    std::string fileFor(int frame) const;
    // Whether the file of at least one frame of `range` exists. A field in the file name is
    // matched against the folder's listing, so a huge range costs one listing.
    bool anyFileExists(const FrameRange& range) const;
    // Calls visit(frame, file) for each frame of `range` whose file exists (in no particular
    // order) until visit returns false.
    void forEachExistingFile(const FrameRange& range,
                             const std::function<bool(int frame, const std::string& file)>& visit) const;
    // The frame of `range` whose file is called `name` (without folder); a field in a folder's
    // name gives every frame's file the same name, taken as the first frame's.
    bool frameOfName(const std::string& name, const FrameRange& range, int* frame) const;
    // Whether the frame field lies in a folder's name rather than in the file's.
    bool fieldInFolder() const;

  private:
    std::string text_;
    std::string head_, tail_;  // around the field, %% already replaced
    bool numbered_ = false;
    int width_ = 0;
};

struct FrameRange {
    int first = 0;
    int last = 0;
    int count() const { return last - first + 1; }

    // "A-B" (A <= B) or "N", frame numbers 0 or more; throws SequenceError.
    static FrameRange parse(const std::string& text);
};

}  // namespace framesequence
