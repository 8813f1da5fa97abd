#include "plugin_library.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace qz::host {

namespace fs = std::filesystem;

namespace {
// Descriptions beyond this many are taken as a plug-in fault.
constexpr int32_t kMaxDescriptions = 1024;

QzResult QZ_CALL silentHost(QzModuleRecord *, int32_t, int32_t, int32_t, void *, float) { return 0; }
} // namespace

std::shared_ptr<PluginLibrary> PluginLibrary::load(const std::string &path) {
    std::shared_ptr<PluginLibrary> lib(new PluginLibrary());
    lib->path_ = path;
    lib->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib->handle_ == nullptr) {
        const char *why = dlerror();
        throw HostError("cannot load plug-in " + path + ": " + (why != nullptr ? why : "unknown reason"));
    }
    auto props = reinterpret_cast<QzGetModulePropertiesFn>(dlsym(lib->handle_, "getModuleProperties"));
    lib->makeModule_ = reinterpret_cast<QzMakeModuleFn>(dlsym(lib->handle_, "makeModule"));
    if (props == nullptr || lib->makeModule_ == nullptr)
        throw HostError(path + " is not a plug-in: getModuleProperties or makeModule is missing");
    QzModuleProperties p{};
    if (props(0, &p) == 0) throw HostError(path + " describes no module");
    if (p.uniqueId == nullptr || p.uniqueId[0] == '\0') throw HostError(path + " gives no uniqueId");
    lib->name_ = p.name != nullptr ? p.name : p.uniqueId;
    lib->uniqueId_ = p.uniqueId;
    lib->about_ = p.about != nullptr ? p.about : "";
    lib->flags_ = p.flags;
    lib->guiFlags_ = p.guiFlags;
    lib->frameworkVersion_ = p.frameworkVersion;

    // Descriptions may be asked before Open; a throw-away instance answers.
    auto *record = static_cast<QzModuleRecord *>(lib->makeModule_(0, QZ_PROFILE_PROCESSING, &silentHost, nullptr));
    if (record == nullptr) throw HostError(path + " makes no processing instance");
    for (int32_t d = 0; d < kMaxDescriptions; ++d) {
        QzPinDescription desc{};
        if (record->dispatcher(record, QZ_OP_GET_PIN_PROPERTIES, d, 0, &desc, 0.0f) == 0) break;
        PinInfo info = makePinInfo(d, desc);
        lib->descriptions_.push_back(info);
        if (info.keptByProcessing()) lib->processingPins_.push_back(info);
        if (info.guiSide()) lib->panelPins_.push_back(info);
    }
    record->dispatcher(record, QZ_OP_CLOSE, 0, 0, nullptr, 0.0f);

    if (!lib->panelPins_.empty()) {
        auto *gui = static_cast<QzGuiRecord *>(lib->makeModule_(0, QZ_PROFILE_PANEL, nullptr, nullptr));
        if (gui != nullptr) {
            lib->makesPanel_ = true;
            gui->dispatcher(gui, QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f);
        }
    }
    return lib;
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

std::vector<std::string> pluginSearchPath(const std::string &explicitDir) {
    std::vector<std::string> dirs;
    if (!explicitDir.empty()) {
        dirs.push_back(explicitDir);
        return dirs;
    }
    if (const char *env = std::getenv("QZ_PLUGIN_PATH"); env != nullptr && env[0] != '\0') {
        std::string all = env;
        std::string::size_type start = 0;
        while (start <= all.size()) {
            const auto colon = all.find(':', start);
            const std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!dir.empty()) dirs.push_back(dir);
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        if (!dirs.empty()) return dirs;
    }
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) dirs.push_back((exe.parent_path().parent_path() / "plugins").string());
    return dirs;
}

PluginCatalog::PluginCatalog(std::vector<std::string> dirs) : dirs_(std::move(dirs)) {}

std::vector<std::string> PluginCatalog::pluginFiles() const {
    std::vector<std::string> files;
    for (const auto &dir : dirs_) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".so") files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::shared_ptr<PluginLibrary> PluginCatalog::find(const std::string &uniqueId) {
    for (const auto &lib : loaded_)
        if (lib->uniqueId() == uniqueId) return lib;
    // The file name usually is the uniqueId: try it before scanning.
    for (const auto &dir : dirs_) {
        const fs::path candidate = fs::path(dir) / (uniqueId + ".so");
        std::error_code ec;
        if (fs::exists(candidate, ec)) {
            auto lib = PluginLibrary::load(candidate.string());
            loaded_.push_back(lib);
            if (lib->uniqueId() == uniqueId) return lib;
        }
    }
    if (!scanned_) {
        scanned_ = true;
        for (const auto &file : pluginFiles()) {
            const bool known = std::any_of(loaded_.begin(), loaded_.end(),
                                           [&](const auto &lib) { return lib->path() == file; });
            if (known) continue;
            try {
                loaded_.push_back(PluginLibrary::load(file));
            } catch (const HostError &) {
                // A file that is no plug-in cannot be the one asked for.
            }
        }
        for (const auto &lib : loaded_)
            if (lib->uniqueId() == uniqueId) return lib;
    }
    std::string where;
    for (const auto &dir : dirs_) where += (where.empty() ? "" : ", ") + dir;
    throw HostError("unknown plug-in " + uniqueId + " (looked in " + (where.empty() ? "no folder" : where) + ")");
}

} // namespace qz::host
