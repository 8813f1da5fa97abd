// qz_inspect PLUGIN.so...: each plug-in's properties and pin table as a host
// shows them.
#include "qz_abi.h"

#include <cstdio>
#include <dlfcn.h>

namespace {

const char *typeName(int32_t t) {
    switch (t) {
    case QZ_DT_ENUMERATION: return "enum";
    case QZ_DT_MIDI: return "midi";
    case QZ_DT_BOOLEAN: return "bool";
    case QZ_DT_STREAM: return "stream";
    case QZ_DT_FLOAT: return "float";
    case QZ_DT_INTEGER: return "int";
    default: return "?";
    }
}

QzResult QZ_CALL noHost(QzModuleRecord *, int32_t, int32_t, int32_t, void *, float) { return 0; }

int inspect(const char *path) {
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        std::fprintf(stderr, "qz_inspect: cannot load %s: %s\n", path, dlerror());
        return 2;
    }
    auto props = reinterpret_cast<QzGetModulePropertiesFn>(dlsym(lib, "getModuleProperties"));
    auto make = reinterpret_cast<QzMakeModuleFn>(dlsym(lib, "makeModule"));
    if (props == nullptr || make == nullptr) {
        std::fprintf(stderr, "qz_inspect: %s is not a plug-in (entry points missing)\n", path);
        dlclose(lib);
        return 2;
    }
    QzModuleProperties p{};
    if (props(0, &p) == 0) {
        std::fprintf(stderr, "qz_inspect: %s describes no module\n", path);
        dlclose(lib);
        return 2;
    }
    std::printf("%s (%s), framework %d\n", p.name ? p.name : "?", p.uniqueId ? p.uniqueId : "?", p.frameworkVersion);
    auto *record = static_cast<QzModuleRecord *>(make(0, QZ_PROFILE_PROCESSING, &noHost, nullptr));
    if (record == nullptr) {
        std::fprintf(stderr, "qz_inspect: %s makes no processing instance\n", path);
        dlclose(lib);
        return 2;
    }
    for (int32_t d = 0; d < 256; ++d) {
        QzPinDescription pin{};
        if (record->dispatcher(record, QZ_OP_GET_PIN_PROPERTIES, d, 0, &pin, 0.0f) == 0) break;
        std::printf("  %2d %-3s %-6s %-22s default %-6s %s%s\n", d, pin.direction == QZ_DIR_OUT ? "out" : "in",
                    typeName(pin.dataType), pin.name ? pin.name : "", pin.defaultValue ? pin.defaultValue : "-",
                    pin.datatypeExtra ? pin.datatypeExtra : "", (pin.flags & QZ_PIN_GUI_SIDE) ? " [panel]" : "");
    }
    record->dispatcher(record, QZ_OP_CLOSE, 0, 0, nullptr, 0.0f);
    dlclose(lib);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qz_inspect PLUGIN.so...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        if (inspect(argv[i]) != 0) status = 2;
    }
    return status;
}
