// host_patch_fuzz.cpp: JSON of any shape through the development host's
// patch loader, and every patch it accepts built into a voice from the fuzz
// tree's plug-ins. A bad patch must end in a HostError whose text names the
// patch; any other exception, crash or sanitizer report is a finding.
#include "patch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef QZ_FUZZ_PLUGIN_DIR
#error "QZ_FUZZ_PLUGIN_DIR must name the fuzz tree's plug-in folder"
#endif

namespace {
qz::host::PluginCatalog *catalog = nullptr; // kept: each library is loaded once
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    catalog = new qz::host::PluginCatalog({QZ_FUZZ_PLUGIN_DIR});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string origin = "fuzz.json";
    const std::string text(reinterpret_cast<const char *>(data), size);
    qz::host::Patch patch;
    try {
        patch = qz::host::Patch::parse(text, origin);
    } catch (const qz::host::HostError &e) {
        const std::string message = e.what();
        if (message.rfind(origin + ": ", 0) != 0 || message.size() <= origin.size() + 2) {
            std::fprintf(stderr, "patch error without its origin: %s\n", message.c_str());
            std::abort();
        }
        return 0;
    }
    try {
        qz::host::GraphOptions options;
        options.blockSize = 64;
        qz::host::VoiceGraph voice = patch.build(*catalog, options);
        (void)voice;
    } catch (const qz::host::HostError &e) {
        if (*e.what() == 0) {
            std::fprintf(stderr, "patch build error without a text\n");
            std::abort();
        }
    }
    return 0;
}
