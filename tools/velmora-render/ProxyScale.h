#pragma once

#include "Image.h"

// Proxy renders: the size of an image at render scale `scale` (each side rounded, at least 1)
// and the image reduced to it by averaging the area each output pixel covers.
int scaledLength(int length, double scale);
// `reuse`, when it has the reduced size, receives the result.
vhost::ImagePtr scaleImage(const vhost::Image& image, double scale, const vhost::ImagePtr& reuse = nullptr);
