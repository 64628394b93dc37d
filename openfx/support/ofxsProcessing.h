#pragma once

// An image processor: the destination, the window to fill and the GPU mode of one render, and the
// dispatch between the GPU paths and the CPU threads.

#include "ofxsImageEffect.h"
#include "ofxsMultiThread.h"

namespace OFX {

class ImageProcessor : public MultiThread::Processor {
  public:
    explicit ImageProcessor(ImageEffect& effect);
    ~ImageProcessor() override = default;

    void setDstImg(Image* image) { _dstImg = image; }
    void setRenderWindow(const OfxRectI& window) { _renderWindow = window; }
    // Takes the GPU flags and queues of a render action.
    void setGPURenderArgs(const RenderArguments& args);

    // Splits the render window into horizontal bands, one per thread, and calls multiThreadProcessImages.
    void multiThreadFunction(unsigned int threadId, unsigned int nThreads) override;

    virtual void preProcess() {}
    virtual void processImagesOpenCL() {}
    virtual void processImagesCUDA() {}
    virtual void processImagesMetal() {}
    virtual void multiThreadProcessImages(OfxRectI window) { (void)window; }
    virtual void postProcess() {}

    // Does nothing when there is no destination or the window does not lie inside its bounds; otherwise
    // preProcess, one of the GPU paths or the CPU threads, then postProcess.
    virtual void process();

  protected:
    ImageEffect& _effect;
    Image* _dstImg = nullptr;
    OfxRectI _renderWindow{0, 0, 0, 0};
    bool _isEnabledOpenCLRender = false;
    bool _isEnabledCudaRender = false;
    bool _isEnabledMetalRender = false;
    void* _pOpenCLCmdQ = nullptr;
    void* _pCudaStream = nullptr;
    void* _pMetalCmdQ = nullptr;
};

}  // namespace OFX
