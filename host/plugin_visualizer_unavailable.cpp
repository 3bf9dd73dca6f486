// Stands in for plugin_visualizer.cpp while the platform library of this tree has no GDI and
// window table yet: the host builds and says plainly why it cannot drive a plug-in.
#include "host/host_error.h"
#include "host/plugin_visualizer.h"

namespace gs::host {

std::unique_ptr<Visualizer> createPluginVisualizer(const PluginModule&, const CLSID&,
                                                   const PluginTarget&) {
    throw HostError("this build's platform library has no device contexts: plug-ins cannot draw");
}

}  // namespace gs::host
