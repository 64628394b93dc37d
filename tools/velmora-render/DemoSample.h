#pragma once

#include <string>
#include <vector>

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

// The settings the demo renders the sample with, as name=value: a small Velmora Amount with a long
// directional fill along the horizon, so that each row of the hole is filled from the same row
// beside it (no sky pulled into the ground), the mask grown and feathered past the object's soft
// edge, and ground detail borrowed from beside the sign at the horizon's own height, so that no
// seam is drawn and nothing of the object is copied.
std::vector<std::string> demoSettings(int width, int height);

// A mask of a hole in the middle of a width x height frame covering `share` (0 to 1) of it: a
// rectangle of the frame's proportions, white, with an edge that fades out over 4 pixels.
vhost::ImagePtr holeMask(int width, int height, double share);

// A sample size "WxH", each from 16 to 8192; false for anything else.
bool parseSampleSize(const std::string& text, int* width, int* height);

// The two images next to each other on a dark backing, with a gap between them.
vhost::ImagePtr sideBySide(const vhost::Image& left, const vhost::Image& right);
