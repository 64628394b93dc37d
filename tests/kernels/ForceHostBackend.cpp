#include <cstdlib>

// Every test of this binary runs on the CPU backend, whatever the machine has.
namespace {
const bool kForced = [] {
    setenv("VELMORA_BACKEND", "cpu", 1);
    return true;
}();
}  // namespace
