// The mask_prep kernel module built for the host backend.
#include "../mask_prep.cu"
