// Feeds arbitrary bytes to the preset reader. A bad document or value must give an empty map or
// a skipped value, never a crash; what was read must write back into a document that reads back
// with the same names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzLog.h"
#include "presets/PresetFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    setUpFuzzLog();
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string effect, version;
    const PresetValues values = parsePresetXml(text, effect, version);
    if (values.empty()) return 0;

    // Half of the values as definition parameters of their own type, the rest as extra values.
    std::vector<PresetParameter> parameters;
    bool alternate = false;
    for (const auto& [name, value] : values) {
        if ((alternate = !alternate)) parameters.push_back({name, value.typeName()});
    }
    const std::string written = formatPresetXml(effect, version, "2000-01-01T00:00:00", values, parameters);
    std::string effectAgain, versionAgain;
    const PresetValues again = parsePresetXml(written, effectAgain, versionAgain);
    if (effectAgain != effect || versionAgain != version) std::abort();
    for (const auto& [name, value] : again)
        if (!values.count(name)) std::abort();
    return 0;
}
