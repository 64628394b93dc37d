#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Image.h"

// Colour conversion through OpenColorIO (by way of OpenImageIO's colour configuration): the config
// named by the OCIO environment variable, else the built-in spaces (linear, sRGB, Rec709 and a few
// more). Only colour changes; alpha is left as it is.
class ColourConversion {
  public:
    // Throws std::runtime_error for a space the configuration does not know, naming those it does.
    ColourConversion(const std::string& from, const std::string& to);
    ~ColourConversion();

    void apply(vhost::Image& image) const;
    void apply(float* rgba, int pixels) const;

    // The space the effect works in: the configuration's scene-linear role, else "linear".
    static std::string workingSpace();
    static std::vector<std::string> knownSpaces();

  private:
    struct Processor;
    std::shared_ptr<const Processor> processor_;
};
