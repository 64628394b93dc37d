// The retexture_blur kernel module built for the host backend.
#include "../retexture_blur.cu"
