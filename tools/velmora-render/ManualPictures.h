#pragma once

#include <string>
#include <vector>

#include "EffectSession.h"

// The manual's pictures, rendered from the demo sample: the demo's before and after, and for each
// main control a pair of renders without and with it. Writes them into `folder` (created if need
// be) and returns their paths; `base` names the bundle and backend. Throws on failure.
std::vector<std::string> writeManualPictures(const std::string& folder, const SessionOptions& base);
