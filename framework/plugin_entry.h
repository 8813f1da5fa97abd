// plugin_entry.h: the two exported entry points, declared in one line.
//
//   QZ_DEFINE_MODULE(TransposerModule, kTransposerIdentity)
//   QZ_DEFINE_MODULE_WITH_PANEL(FreqDisplayModule, FreqDisplayPanel, kIdentity)
//
// A processing class is constructed as (QzHostCallback, void *hostData) and
// hands out its record with record(); a panel class is constructed as
// (QzGuiHostCallback, void *hostData) and hands out guiRecord().
#pragma once

#include "qz_abi.h"

#include <new>
#include <type_traits>

namespace qz {

struct ModuleIdentity {
    const char *name;
    const char *uniqueId;
    const char *about;
    bool hasPanel; // panel modules also write flags 66 and guiFlags 384
};

inline constexpr int32_t kPanelModuleFlags = 66;
inline constexpr int32_t kPanelModuleGuiFlags = 384;

inline int32_t describeModule(const ModuleIdentity &identity, int32_t index, QzModuleProperties *properties) {
    if (properties == nullptr) return 0;
    properties->frameworkVersion = QZ_FRAMEWORK_VERSION;
    if (index != 0) return 0;
    properties->name = identity.name;
    properties->uniqueId = identity.uniqueId;
    properties->about = identity.about;
    if (identity.hasPanel) {
        properties->flags = kPanelModuleFlags;
        properties->guiFlags = kPanelModuleGuiFlags;
        properties->frameworkVersion = QZ_FRAMEWORK_VERSION;
    }
    return 1;
}

template <class Processing, class Panel>
void *makeInstance(int32_t index, int32_t profile, QzHostCallback host, void *hostData) {
    if (index != 0) return nullptr;
    if (profile == QZ_PROFILE_PROCESSING) {
        auto *instance = new (std::nothrow) Processing(host, hostData);
        return instance != nullptr ? instance->record() : nullptr;
    }
    if constexpr (!std::is_void_v<Panel>) {
        if (profile == QZ_PROFILE_PANEL) {
            auto *instance = new (std::nothrow) Panel(reinterpret_cast<QzGuiHostCallback>(host), hostData);
            return instance != nullptr ? instance->guiRecord() : nullptr;
        }
    }
    return nullptr;
}

} // namespace qz

#define QZ_DEFINE_MODULE_WITH_PANEL(ProcessingClass, PanelClass, identity)                                    \
    extern "C" QZ_EXPORT int32_t QZ_CALL getModuleProperties(int32_t index, QzModuleProperties *properties) {  \
        return ::qz::describeModule((identity), index, properties);                                           \
    }                                                                                                         \
    extern "C" QZ_EXPORT void *QZ_CALL makeModule(int32_t index, int32_t profile, QzHostCallback host,          \
                                                  void *hostData) {                                           \
        return ::qz::makeInstance<ProcessingClass, PanelClass>(index, profile, host, hostData);               \
    }                                                                                                         \
    /* The exports have exactly the types, calling convention included, that hosts call them by. */         \
    static_assert(std::is_same_v<decltype(&getModuleProperties), QzGetModulePropertiesFn>);                   \
    static_assert(std::is_same_v<decltype(&makeModule), QzMakeModuleFn>);

#define QZ_DEFINE_MODULE(ProcessingClass, identity) QZ_DEFINE_MODULE_WITH_PANEL(ProcessingClass, void, identity)
