#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Numbered file names as compositors write them ("plate.%04d.exr", "plate.####.exr",
// "plate.@@@@.exr") and the frames of a job ("7", "1-100", "1-100x2", "1,5,10-20").
namespace framesequence {

class SequenceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The frames of a job, in the order given: single frames and ranges with an optional step,
// separated by commas. Frame numbers are 0 or more.
class FrameList {
  public:
    struct Span {
        int first = 0, last = 0, step = 1;  // first <= last; last is a frame of the span
    };

    // Throws SequenceError naming the text and what is wrong with it.
    static FrameList parse(const std::string& text);
    static FrameList single(int frame);

    const std::vector<Span>& spans() const { return spans_; }
    // How many frames are rendered (a frame listed twice counts twice).
    long long count() const;
    int first() const { return spans_.front().first; }
    int lowest() const;
    int highest() const;
    bool contains(int frame) const;
    // The list as given, for messages.
    const std::string& text() const { return text_; }

    // Calls visit(frame) for each frame in order until it returns false.
    void forEach(const std::function<bool(int frame)>& visit) const;

  private:
    std::vector<Span> spans_;
    std::string text_;
};

// A file name that may hold one frame-number field: %d or %0Nd (N up to 9), or a run of N '#'
// or N '@' (the frame with N digits at least); %% stands for a literal %.
class FilePattern {
  public:
    // Throws SequenceError for a name with more than one field or another % directive.
    explicit FilePattern(std::string text);

    bool numbered() const { return numbered_; }
    const std::string& text() const { return text_; }
    // The file of that frame; the name itself (with %% as %) when it is not numbered.
    std::string fileFor(int frame) const;
    // Whether the file of at least one frame of `frames` exists. A field in the file name is
    // matched against the folder's listing, so a huge range costs one listing.
    bool anyFileExists(const FrameList& frames) const;
    // Calls visit(frame, file) for each frame of `frames` whose file exists (in no particular
    // order) until visit returns false.
    void forEachExistingFile(const FrameList& frames,
                             const std::function<bool(int frame, const std::string& file)>& visit) const;
    // The frame of `frames` whose file is called `name` (without folder); a field in a folder's
    // name gives every frame's file the same name, taken as the first frame's.
    bool frameOfName(const std::string& name, const FrameList& frames, int* frame) const;
    // Whether the frame field lies in a folder's name rather than in the file's.
    bool fieldInFolder() const;

  private:
    std::string text_;
    std::string head_, tail_;  // around the field, %% already replaced
    bool numbered_ = false;
    int width_ = 0;
};

}  // namespace framesequence
