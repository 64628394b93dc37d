// The composite kernel module built for the host backend.
#include "../composite.cu"
