// The factory-list hook the support layer calls once per process.
#include "plugin/FactoryList.h"

namespace OFX {
namespace Plugin {

void getPluginIDs(OFX::PluginFactoryArray& factories) {
    velmora::fillFactoryList(factories);
}

}  // namespace Plugin
}  // namespace OFX
