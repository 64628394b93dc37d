// Feeds arbitrary bytes to the effect definition parser. The parser must report failure
// through its return value and the log, never by crashing or letting an exception out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzLog.h"
#include "definition/XMLEffectDefinition.h"

namespace {

// Touches every record so that the sanitizers see any bad state the parser left behind.
std::size_t walk(const XMLEffectDefinition& definition) {
    std::size_t total = definition.getName().size() + definition.getDisplayName().size();
    for (const InputDefinition& input : definition.getInputs()) {
        total += input.noInputCode() + input.borderModeCode() + input.name.size();
    }
    for (const ParameterDefinition& param : definition.getParameters()) {
        total += definition.getParameter(param.name).components.size() + param.options.size();
    }
    for (const GroupDefinition& group : definition.getGroups()) total += group.columns.size();
    for (const PageDefinition& page : definition.getPages()) total += page.items.size();
    for (const ProcessDefinition& process : definition.getProcesses()) total += process.kernels.size();
    for (const OverlayDefinition& overlay : definition.getOverlays()) total += overlay.subOverlays.size();
    return total + definition.getDeviceBuffers().size() + definition.getAudioTargets().size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    setUpFuzzLog();
    const std::string text(reinterpret_cast<const char*>(data), size);
    XMLEffectDefinition definition;
    if (definition.parse(text.c_str())) {
        volatile std::size_t sink = walk(definition);
        (void)sink;
    }
    return 0;
}
