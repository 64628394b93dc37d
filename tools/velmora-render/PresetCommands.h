#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vhost {
class Instance;
class Param;
}  // namespace vhost

// The preset side of velmora-render. Presets are chosen and saved through the plug-in's own
// controls, exactly as a user in a host would: selecting an option of "My Presets" or
// "Factory Presets", typing a name into "Save As" and pressing "Save".
namespace presetcmd {

// Which dropdown a preset was applied from.
enum class PresetSource { User, Factory };

// Applies the preset NAME (a trailing ".xml" is accepted): the user's preset of that name
// when there is one, else the factory preset. Throws std::runtime_error naming the presets
// on offer when neither dropdown lists it, or when the plug-in did not load it.
PresetSource applyPreset(vhost::Instance& instance, const std::string& name);

// Saves the instance's current values as the user preset NAME; throws std::runtime_error
// when the plug-in refused or failed to save it.
void savePreset(vhost::Instance& instance, const std::string& name);

// A value given on the command line ("--set name=value"), converted for the parameter's kind:
// numbers and comma-separated components, true/false/on/off/1/0 for flags, an option index or
// its text for choices. The name is a script name or a label (as the host shows it, letter case
// aside). A number outside the parameter's range is clamped by the host, as hosts do, with a
// warning on `warnings`. Throws std::runtime_error with a clear message, naming the nearest
// parameters when the name is unknown.
void applySetting(vhost::Instance& instance, const std::string& assignment, std::ostream* warnings = nullptr);

// The script names of the parameters that hold a value, in the order the plug-in defined them.
std::vector<std::string> settableParamNames(const vhost::Instance& instance);

// velmora-render save-preset NAME [--set name=value ...] [--bundle PATH]
// args: the words after "save-preset". Returns the process exit status.
int runSavePreset(const std::vector<std::string>& args, const std::string& defaultBundle, std::ostream& out,
                  std::ostream& err);

const char* savePresetUsage();

}  // namespace presetcmd
