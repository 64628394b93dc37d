#pragma once

#include "Image.h"

// The demo's sample, generated in code: a graded, textured background (sky over rough ground),
// the same with an object over it (a sign on a post), and the object's mask (white on black,
// a little larger than the object so that its soft edge is covered).
struct DemoSample {
    vhost::ImagePtr background;
    vhost::ImagePtr plate;
    vhost::ImagePtr mask;
};

DemoSample makeDemoSample(int width, int height);

// The two images next to each other on a dark backing, with a gap between them.
vhost::ImagePtr sideBySide(const vhost::Image& left, const vhost::Image& right);
