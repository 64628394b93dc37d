#pragma once

#include <string>

#include "Image.h"

// The format-specific halves of ImageFiles. Readers take an existing file; writers write the
// file at exactly the path given (ImageFiles takes care of the temporary name and rename).
namespace imagefiles {

// The image a reader fills: `reuse` when it has the size and tight rows, else a new one. Frames of a
// sequence then land in the same memory, which the plug-in refreshes in place.
vhost::ImagePtr imageFor(int width, int height, const vhost::ImagePtr& reuse);

vhost::ImagePtr readExr(const std::string& path, const vhost::ImagePtr& reuse);
void writeExr(const std::string& path, const vhost::Image& image);

vhost::ImagePtr readPng(const std::string& path, const vhost::ImagePtr& reuse);
void writePng(const std::string& path, const vhost::Image& image);

}  // namespace imagefiles
