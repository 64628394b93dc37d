// The blur_divide kernel module built for the host backend.
#include "../blur_divide.cu"
