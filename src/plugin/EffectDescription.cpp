// GenericEffectFactory::describe: the effect-level properties, the CUDA warm-up and the overlay interact.
#include <chrono>
#include <exception>

#include "definition/XMLEffectDefinition.h"
#include "gpu/GpuRuntime.h"
#include "log/PluginLog.h"
#include "overlays/OverlayDescriptors.h"
#include "overlays/OverlayManager.h"
#include "plugin/GenericEffectFactory.h"
#include "plugin/HostCapabilities.h"

namespace {

const char* trueFalse(bool value) {
    return value ? "true" : "false";
}

// Initialises the GPU runtime's context in the describing thread, before any render needs it.
void warmUpCuda() {
    VLOG_DEBUG("Initializing CUDA context (warm-up)...");
    const auto start = std::chrono::steady_clock::now();
    GpuRuntime& runtime = gpuRuntime();
    runtime.free(nullptr);
    runtime.getLastError();
    runtime.deviceSynchronize();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    VLOG_DEBUG(
        "CUDA context warm-up complete in %lld ms",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

// Announces one GPU render mode. A host that predates the property (or an OpenFX host library
// built without its GPU options) refuses it; the effect is then described without that mode.
template <class Setter>
bool announceRenderMode(const char* property, Setter set) {
    try {
        set();
        return true;
    } catch (const std::exception& error) {
        VLOG_INFO("setupGPUSupport: host refused %s (%s) - described without that render mode", property,
                  error.what());
        return false;
    }
}

bool hasParameterOfType(const XMLEffectDefinition& definition, const std::string& name,
                        const std::string& type) {
    return definition.hasParameter(name) && definition.getParameter(name).type == type;
}

}  // namespace

void GenericEffectFactory::describe(OFX::ImageEffectDescriptor& desc) {
    const XMLEffectDefinition& definition = definition_;
    try {
        VLOG_DEBUG("🔵 GenericEffectFactory::describe called for '%s'", definition.getName().c_str());
        VLOG_DEBUG("  Plugin identifier: %s", getID().c_str());
        VLOG_DEBUG("  Effect name from XML: %s", definition.getName().c_str());
        PluginLog::instance().flush();

        hostCapabilities_ = HostCapabilities::detect();

        setupBasicProperties(desc);
        VLOG_DEBUG("setupBasicProperties completed");
        PluginLog::instance().flush();

        VLOG_DEBUG("Setting plugin description: '%s'", definition.getDescription().c_str());
        desc.setPluginDescription(definition.getDescription());
        VLOG_DEBUG("Setting plugin grouping: '%s'", definition.getCategory().c_str());
        desc.setPluginGrouping(definition.getCategory());
        VLOG_DEBUG("Setting plugin label: '%s'", definition.getName().c_str());
        desc.setLabel(definition.getName());

        setupGPUSupport(desc);

        const HostCapabilities& caps = hostCapabilities_;
        VLOG_INFO("Host '%s' reportsCudaSupport: %s", caps.profileName.c_str(), trueFalse(caps.cudaReported));
        if (caps.cudaReported)
            warmUpCuda();
        else
            VLOG_DEBUG("Skipping CUDA warm-up (host does not support CUDA rendering)");

        const bool hasXmlOverlays = !definition.getOverlays().empty();
        const bool hasCenterParam = !hasXmlOverlays && hasParameterOfType(definition, "center", "vec2");
        VLOG_INFO(
            "GenericEffectFactory::describe for '%s': hasXmlOverlays=%d, hasCenterParam=%d, "
            "supportsOverlays=%d, "
            "supportsDrawSuite=%d",
            definition.getName().c_str(), hasXmlOverlays ? 1 : 0, hasCenterParam ? 1 : 0,
            caps.supportsOverlays ? 1 : 0, caps.drawSuite ? 1 : 0);
        if (caps.supportsOverlays) {
            const std::string& effectName = definition.getName();
            if (hasXmlOverlays) {
                OFX::OverlayManager::registerOverlays(effectName, definition.getOverlays(),
                                                      definition.getOverlayCoordinates());
                OFX::OverlayManager::setCurrentEffect(effectName);
                desc.setOverlayInteractDescriptor(new OFX::GenericOverlayDescriptor);
                VLOG_INFO("XML overlay interact registered for effect '%s' with %zu overlays",
                          effectName.c_str(), definition.getOverlays().size());
            } else if (hasCenterParam) {
                desc.setOverlayInteractDescriptor(new OFX::PointOverlayDescriptor);
                VLOG_INFO("Legacy overlay interact registered for effect '%s'", effectName.c_str());
            } else if (definition.getAudioSlotCount() > 0) {
                OFX::OverlayManager::registerOverlays(effectName, {}, definition.getOverlayCoordinates());
                OFX::OverlayManager::setCurrentEffect(effectName);
                desc.setOverlayInteractDescriptor(new OFX::GenericOverlayDescriptor);
                VLOG_INFO("Audio visualizer overlay interact registered for effect '%s'", effectName.c_str());
            }
        }

        VLOG_INFO("GenericEffectFactory::describe completed successfully");
        PluginLog::instance().flush();
    } catch (const std::exception& e) {
        VLOG_ERROR("EXCEPTION in describe(): %s", e.what());
        PluginLog::instance().flush();
        throw;
    } catch (...) {
        VLOG_ERROR("UNKNOWN EXCEPTION in describe()");
        PluginLog::instance().flush();
        throw;
    }
}

void GenericEffectFactory::setupBasicProperties(OFX::ImageEffectDescriptor& desc) {
    VLOG_DEBUG("setupBasicProperties: Starting");
    if (definition_.isTransition()) {
        VLOG_DEBUG("setupBasicProperties: Adding TRANSITION context");
        desc.addSupportedContext(OFX::eContextTransition);
        VLOG_INFO("Registered as TRANSITION context only");
    } else {
        VLOG_DEBUG("setupBasicProperties: Adding FILTER context");
        desc.addSupportedContext(OFX::eContextFilter);
        VLOG_DEBUG("setupBasicProperties: Adding GENERAL context");
        desc.addSupportedContext(OFX::eContextGeneral);
        VLOG_INFO("Registered as FILTER context");
    }

    VLOG_DEBUG("setupBasicProperties: Adding bit depth Float");
    desc.addSupportedBitDepth(OFX::eBitDepthFloat);

    VLOG_DEBUG("setupBasicProperties: Setting basic flags");
    VLOG_DEBUG("  setSingleInstance");
    desc.setSingleInstance(false);
    VLOG_DEBUG("  setHostFrameThreading");
    desc.setHostFrameThreading(false);
    VLOG_DEBUG("  setSupportsMultiResolution");
    desc.setSupportsMultiResolution(false);
    VLOG_DEBUG("  setSupportsTiles");
    desc.setSupportsTiles(false);
    VLOG_DEBUG("  setTemporalClipAccess");
    desc.setTemporalClipAccess(false);
    VLOG_DEBUG("  setRenderTwiceAlways");
    desc.setRenderTwiceAlways(false);
    VLOG_DEBUG("  setSupportsMultipleClipPARs");
    desc.setSupportsMultipleClipPARs(false);
    VLOG_DEBUG("  setRenderThreadSafety(eRenderInstanceSafe)");
    desc.setRenderThreadSafety(OFX::eRenderInstanceSafe);

    VLOG_DEBUG("  setNoSpatialAwareness");
    try {
        desc.setNoSpatialAwareness(false);
    } catch (const std::exception&) {
        VLOG_DEBUG("  setNoSpatialAwareness not supported by host (skipped)");
    }

    if (!definition_.getAccumulationBuffers().empty()) {
        VLOG_DEBUG("  setSequentialRender=2 (prefer sequential for accumulation buffers)");
        try {
            desc.setSequentialRender(2);
        } catch (const std::exception&) {
            VLOG_DEBUG("  setSequentialRender not supported by host (skipped)");
        }
    }
    VLOG_DEBUG("setupBasicProperties: Completed");
}

void GenericEffectFactory::setupGPUSupport(OFX::ImageEffectDescriptor& desc) {
    VLOG_DEBUG("setupGPUSupport: Starting GPU detection");
    bool hasCuda = false, hasOpenCL = false, hasMetal = false;
    for (const ProcessDefinition& process : definition_.getProcesses()) {
        for (const KernelDefinition& kernel : process.kernels) {
            if (kernel.platform == "cuda") hasCuda = true;
            if (kernel.platform == "opencl") hasOpenCL = true;
            if (kernel.platform == "metal") hasMetal = true;
        }
    }
    VLOG_DEBUG("setupGPUSupport: hasCuda=%s, hasOpenCL=%s, hasMetal=%s", trueFalse(hasCuda),
               trueFalse(hasOpenCL), trueFalse(hasMetal));
    if (hasOpenCL && announceRenderMode(kOfxImageEffectPropOpenCLRenderSupported,
                                        [&desc] { desc.setSupportsOpenCLRender(true); })) {
        VLOG_DEBUG("setupGPUSupport: OpenCL support enabled");
    }
    // A host told "CUDA" hands over device memory; without a usable device the plug-in renders on
    // the CPU and needs host memory, so CUDA is announced only where the cuda backend runs.
    if (hasCuda && gpuRuntime().kind() != GpuBackendKind::Cuda) {
        VLOG_DEBUG(
            "setupGPUSupport: CUDA kernels present but no CUDA device is usable - CUDA render not announced");
    } else if (hasCuda && announceRenderMode(kOfxImageEffectPropCudaRenderSupported,
                                             [&desc] { desc.setSupportsCudaRender(true); })) {
        // Without streams the host's CUDA render still works: every render synchronises its work.
        if (announceRenderMode(kOfxImageEffectPropCudaStreamSupported,
                               [&desc] { desc.setSupportsCudaStream(true); })) {
            VLOG_DEBUG("setupGPUSupport: CUDA support enabled with stream support");
        } else {
            VLOG_DEBUG("setupGPUSupport: CUDA support enabled without stream support");
        }
    }
}
