#include "qz_cli.h"

#include <cstdio>

namespace qz::cli {

namespace {

std::string rangeOf(const host::PinInfo &p) {
    if (p.dataType == QZ_DT_ENUMERATION) {
        if (p.isRange) return "range " + std::to_string(p.rangeMin) + " to " + std::to_string(p.rangeMax);
        if (!p.labels.empty()) {
            std::string all;
            for (const auto &l : p.labels) all += (all.empty() ? "" : ", ") + host::trimmed(l);
            return "list " + all;
        }
    }
    if (p.dataType == QZ_DT_STREAM && p.hasControl) {
        char text[96];
        std::snprintf(text, sizeof text, "control %g to %g (holds control / 10)", p.controlMin, p.controlMax);
        return text;
    }
    return p.extraText.empty() ? "-" : p.extraText;
}

void show(const host::PluginLibrary &lib) {
    std::printf("%s (uniqueId %s)\n  file %s\n  framework %d, flags %d, gui flags %d, panel instance: %s\n",
                lib.name().c_str(), lib.uniqueId().c_str(), lib.path().c_str(), lib.frameworkVersion(), lib.flags(),
                lib.guiFlags(), lib.makesPanel() ? "yes" : "no");
    std::string about = lib.about();
    for (auto &c : about)
        if (c == '\n') c = ' ';
    std::printf("  about: %s\n", about.c_str());
    std::printf("  %-4s %-22s %-4s %-7s %-8s %s\n", "pin", "label", "dir", "type", "default", "range or list");
    for (const auto &p : lib.descriptions()) {
        std::string label = "\"" + p.label + "\"";
        std::printf("  %-4d %-22s %-4s %-7s %-8s %s%s\n", p.descriptionIndex, label.c_str(), p.isInput() ? "in" : "out",
                    host::dataTypeName(p.dataType).c_str(), p.defaultText.empty() ? "-" : p.defaultText.c_str(),
                    rangeOf(p).c_str(), p.guiSide() ? "  [panel]" : "");
    }
}

} // namespace

int info(const std::vector<std::string> &plugins, const std::string &pluginDir) {
    host::PluginCatalog catalog(host::pluginSearchPath(pluginDir));
    int status = kOk;
    for (const auto &name : plugins) {
        try {
            const bool isPath = name.find('/') != std::string::npos || name.ends_with(".so");
            const auto lib = isPath ? host::PluginLibrary::load(name) : catalog.find(name);
            show(*lib);
        } catch (const host::HostError &e) {
            std::fprintf(stderr, "qz: %s\n", e.what());
            status = kBadInput;
        }
    }
    return status;
}

} // namespace qz::cli
