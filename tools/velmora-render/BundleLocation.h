#pragma once

#include <string>

// The velmora bundle velmora-render uses when none is given: one beside the executable (in its
// folder or up to two folders above, as in the build tree), else the one this program was
// built with; "" when neither exists.
std::string defaultBundlePath();
