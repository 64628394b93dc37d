#ifndef VELMORA_OFX_GPURENDER_H
#define VELMORA_OFX_GPURENDER_H

/* GPU rendering: OpenGL, CUDA, OpenCL and Metal render properties and suites. */

#include "ofxImageEffect.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxOpenGLRenderSuite "OfxImageEffectOpenGLRenderSuite"
#ifndef kOfxBitDepthHalf
#define kOfxBitDepthHalf "OfxBitDepthHalf"
#endif
#define kOfxImageEffectPropOpenGLRenderSupported "OfxImageEffectPropOpenGLRenderSupported"
#define kOfxOpenGLPropPixelDepth "OfxOpenGLPropPixelDepth"
#define kOfxImageEffectPropOpenGLEnabled "OfxImageEffectPropOpenGLEnabled"
#define kOfxImageEffectPropOpenGLTextureIndex "OfxImageEffectPropOpenGLTextureIndex"
#define kOfxImageEffectPropOpenGLTextureTarget "OfxImageEffectPropOpenGLTextureTarget"
#define kOfxImageEffectPropCPURenderSupported "OfxImageEffectPropCPURenderSupported"
#define kOfxStatGPUOutOfMemory ((int)1001)
#define kOfxStatGLOutOfMemory ((int)1001)
#define kOfxStatGPURenderFailed ((int)1002)
#define kOfxStatGLRenderFailed ((int)1002)
#define kOfxActionOpenGLContextAttached "OfxActionOpenGLContextAttached"
#define kOfxActionOpenGLContextDetached "kOfxActionOpenGLContextDetached"
#define kOfxImageEffectPropCudaRenderSupported "OfxImageEffectPropCudaRenderSupported"
#define kOfxImageEffectPropCudaEnabled "OfxImageEffectPropCudaEnabled"
#define kOfxImageEffectPropCudaStreamSupported "OfxImageEffectPropCudaStreamSupported"
#define kOfxImageEffectPropCudaStream "OfxImageEffectPropCudaStream"
#define kOfxImageEffectPropMetalRenderSupported "OfxImageEffectPropMetalRenderSupported"
#define kOfxImageEffectPropMetalEnabled "OfxImageEffectPropMetalEnabled"
#define kOfxImageEffectPropMetalCommandQueue "OfxImageEffectPropMetalCommandQueue"
#define kOfxImageEffectPropOpenCLRenderSupported "OfxImageEffectPropOpenCLRenderSupported"
#define kOfxImageEffectPropOpenCLSupported "OfxImageEffectPropOpenCLSupported"
#define kOfxImageEffectPropOpenCLEnabled "OfxImageEffectPropOpenCLEnabled"
#define kOfxImageEffectPropOpenCLCommandQueue "OfxImageEffectPropOpenCLCommandQueue"
#define kOfxImageEffectPropOpenCLImage "OfxImageEffectPropOpenCLImage"
#define kOfxOpenCLProgramSuite "OfxOpenCLProgramSuite"

typedef struct OfxImageEffectOpenGLRenderSuiteV1 {
    OfxStatus (*clipLoadTexture)(OfxImageClipHandle, OfxTime, const char*, const OfxRectD*,
                                 OfxPropertySetHandle*);
    OfxStatus (*clipFreeTexture)(OfxPropertySetHandle);
    OfxStatus (*flushResources)(void);
} OfxImageEffectOpenGLRenderSuiteV1;

typedef struct OfxOpenCLProgramSuiteV1 {
    OfxStatus (*compileProgram)(const char*, int, void*);
} OfxOpenCLProgramSuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_GPURENDER_H */
