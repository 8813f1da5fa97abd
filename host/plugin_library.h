// plugin_library.h: a plug-in loaded by its file, its properties and pin
// descriptions, and the folders in which plug-ins are looked up by uniqueId.
#pragma once

#include "host_error.h"
#include "pin_info.h"
#include "qz_abi.h"

#include <memory>
#include <string>
#include <vector>

namespace qz::host {

class PluginLibrary {
public:
    // Loads the library at `path`; throws HostError naming the file when it
    // cannot be loaded, lacks an entry point or describes no module.
    static std::shared_ptr<PluginLibrary> load(const std::string &path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    const std::string &path() const { return path_; }
    const std::string &name() const { return name_; }
    const std::string &uniqueId() const { return uniqueId_; }
    const std::string &about() const { return about_; }
    int32_t flags() const { return flags_; }
    int32_t guiFlags() const { return guiFlags_; }
    int32_t frameworkVersion() const { return frameworkVersion_; }
    bool makesPanel() const { return makesPanel_; }

    // Every description in description order, panel-side ones included.
    const std::vector<PinInfo> &descriptions() const { return descriptions_; }
    // The descriptions the processing instance keeps, in pin index order.
    const std::vector<PinInfo> &processingPins() const { return processingPins_; }
    // The panel-side descriptions (addressed by description index).
    const std::vector<PinInfo> &panelPins() const { return panelPins_; }

    QzMakeModuleFn makeModule() const { return makeModule_; }

private:
    PluginLibrary() = default;
    std::string path_, name_, uniqueId_, about_;
    int32_t flags_ = 0, guiFlags_ = 0, frameworkVersion_ = 0;
    bool makesPanel_ = false;
    std::vector<PinInfo> descriptions_, processingPins_, panelPins_;
    void *handle_ = nullptr;
    QzMakeModuleFn makeModule_ = nullptr;
};

// Where plug-ins are looked up by uniqueId: the folders named by the
// QZ_PLUGIN_PATH environment variable (colon-separated) when `explicitDir`
// is empty, else `explicitDir`; and otherwise the folder `plugins` beside the
// folder of the running program (build/bin/qz finds build/plugins).
std::vector<std::string> pluginSearchPath(const std::string &explicitDir = {});

// Loads plug-ins by uniqueId, each library once.
class PluginCatalog {
public:
    explicit PluginCatalog(std::vector<std::string> dirs);
    // Throws HostError "unknown plug-in X (looked in ...)" when none matches.
    std::shared_ptr<PluginLibrary> find(const std::string &uniqueId);
    // Every *.so in the folders, sorted by path.
    std::vector<std::string> pluginFiles() const;
    const std::vector<std::string> &dirs() const { return dirs_; }

private:
    std::vector<std::string> dirs_;
    std::vector<std::shared_ptr<PluginLibrary>> loaded_;
    bool scanned_ = false;
};

} // namespace qz::host
