#include "ColourSpaces.h"

#include <OpenImageIO/color.h>

#include <stdexcept>

namespace {

OIIO::ColorConfig& config() {
    static OIIO::ColorConfig shared;
    return shared;
}

}  // namespace

struct ColourConversion::Processor {
    OIIO::ColorProcessorHandle handle;
};

ColourConversion::ColourConversion(const std::string& from, const std::string& to) {
    for (const std::string& name : {from, to}) {
        bool known = false;
        for (const std::string& space : knownSpaces()) known = known || space == name;
        if (known) continue;
        std::string list;
        for (const std::string& space : knownSpaces()) list += (list.empty() ? "" : ", ") + space;
        throw std::runtime_error("'" + name + "' is not a colour space of the OpenColorIO configuration (" +
                                 (list.empty() ? std::string("none") : list) +
                                 "; the OCIO environment variable names another configuration)");
    }
    auto processor = std::make_shared<Processor>();
    processor->handle = config().createColorProcessor(from, to);
    if (!processor->handle)
        throw std::runtime_error("no conversion from '" + from + "' to '" + to + "': " + config().geterror());
    processor_ = processor;
}

ColourConversion::~ColourConversion() = default;

void ColourConversion::apply(vhost::Image& image) const {
    for (int y = image.bounds().y1; y < image.bounds().y2; ++y)
        apply(image.pixel(image.bounds().x1, y), image.width());
}

void ColourConversion::apply(float* rgba, int pixels) const {
    if (processor_->handle->isNoOp()) return;
    processor_->handle->apply(rgba, pixels, 1, 4, sizeof(float), 4 * sizeof(float),
                              pixels * 4 * sizeof(float));
}

std::string ColourConversion::workingSpace() {
    const char* linear = config().getColorSpaceNameByRole("scene_linear");
    return linear && *linear ? linear : "linear";
}

std::vector<std::string> ColourConversion::knownSpaces() {
    std::vector<std::string> names;
    for (int i = 0; i < config().getNumColorSpaces(); ++i)
        names.push_back(config().getColorSpaceNameByIndex(i));
    return names;
}
