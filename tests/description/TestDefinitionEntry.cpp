// Factory-list hook of the test bundle: the definition comes from the file named by
// VELMORA_TEST_DEFINITION_FILE when it is set, else the compiled-in document.
#include <fstream>
#include <sstream>
#include <string>

#include "plugin/FactoryList.h"

namespace OFX {
namespace Plugin {

void getPluginIDs(OFX::PluginFactoryArray& factories) {
    // Lives as long as the library: the factory and its instances parse this text.
    static std::string text;
    const char* path = std::getenv("VELMORA_TEST_DEFINITION_FILE");
    if (!path || !*path) {
        velmora::fillFactoryList(factories);
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    text = contents.str();
    velmora::fillFactoryList(factories, text.c_str());
}

}  // namespace Plugin
}  // namespace OFX
