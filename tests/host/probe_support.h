// probe_support.h: loading the probe plug-in and reading its logs.
#pragma once

#include "fake_probe.h"
#include "graph.h"
#include "plugin_library.h"

#include <dlfcn.h>
#include <memory>
#include <string>

namespace qz::probe {

inline std::string probePath() { return std::string(QZ_FAKE_DIR) + "/QZ_FakeProbe.so"; }

inline std::shared_ptr<host::PluginLibrary> probeLibrary() {
    static std::shared_ptr<host::PluginLibrary> lib = host::PluginLibrary::load(probePath());
    return lib;
}

// The log of one probe instance (the library is loaded already, so dlopen
// hands back the same handle).
inline const Log &logOf(const host::Instance &inst) {
    void *handle = dlopen(probePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    using Fn = const Log *(*)(QzModuleRecord *);
    auto fn = reinterpret_cast<Fn>(dlsym(handle, "qzProbeLog"));
    dlclose(handle);
    return *fn(inst.record());
}

inline const Log &panelLogOf(const host::Instance &inst) {
    void *handle = dlopen(probePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    using Fn = const Log *(*)(QzGuiRecord *);
    auto fn = reinterpret_cast<Fn>(dlsym(handle, "qzProbePanelLog"));
    dlclose(handle);
    return *fn(inst.panel());
}

} // namespace qz::probe
