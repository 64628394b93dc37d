#pragma once

#include <string>

#include "Image.h"

// The format-specific halves of ImageFiles. Readers take an existing file; writers write the
// file at exactly the path given (ImageFiles takes care of the temporary name and rename).
namespace imagefiles {

vhost::ImagePtr readExr(const std::string& path);
void writeExr(const std::string& path, const vhost::Image& image);

vhost::ImagePtr readPng(const std::string& path);
void writePng(const std::string& path, const vhost::Image& image);

}  // namespace imagefiles
