#include "ofxsProcessing.h"

#include <algorithm>

namespace OFX {

ImageProcessor::ImageProcessor(ImageEffect& effect) : _effect(effect) {}

void ImageProcessor::setGPURenderArgs(const RenderArguments& args) {
    _isEnabledOpenCLRender = args.isEnabledOpenCLRender;
    _isEnabledCudaRender = args.isEnabledCudaRender;
    _isEnabledMetalRender = args.isEnabledMetalRender;
    _pOpenCLCmdQ = args.pOpenCLCmdQ;
    _pCudaStream = args.pCudaStream;
    _pMetalCmdQ = args.pMetalCmdQ;
}

void ImageProcessor::multiThreadFunction(unsigned int threadId, unsigned int nThreads) {
    int rows = _renderWindow.y2 - _renderWindow.y1;
    if (rows <= 0 || nThreads == 0) return;
    int perThread = (rows + static_cast<int>(nThreads) - 1) / static_cast<int>(nThreads);
    OfxRectI band = _renderWindow;
    band.y1 = _renderWindow.y1 + static_cast<int>(threadId) * perThread;
    band.y2 = std::min(band.y1 + perThread, _renderWindow.y2);
    if (band.y1 < band.y2) multiThreadProcessImages(band);
}

void ImageProcessor::process() {
    if (!_dstImg) return;
    const OfxRectI& b = _dstImg->getBounds();
    const OfxRectI& w = _renderWindow;
    if (w.x1 < b.x1 || w.y1 < b.y1 || w.x2 > b.x2 || w.y2 > b.y2 || w.x1 >= w.x2 || w.y1 >= w.y2) return;
    preProcess();
    if (_isEnabledOpenCLRender) {
        processImagesOpenCL();
    } else if (_isEnabledCudaRender) {
        processImagesCUDA();
    } else if (_isEnabledMetalRender) {
        processImagesMetal();
    } else {
        multiThread();
    }
    postProcess();
}

}  // namespace OFX
