// The post_blur kernel module built for the host backend.
#include "../post_blur.cu"
