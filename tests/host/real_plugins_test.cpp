// The host with the real plug-ins: every library loads and runs, the
// shipped patches play, and a render is deterministic and the same at every
// block size where the modules themselves do not depend on the slicing.
#if defined(QZ_NO_HOST) || defined(QZ_NO_CLI)
#include <gtest/gtest.h>
TEST(RealPlugins, NeedTheTools) { GTEST_SKIP() << "built without the qz command"; }
#else
#include "qz_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace qz::host;
namespace fs = std::filesystem;

namespace {

std::string pluginDir() {
    const char *env = std::getenv("QZ_PLUGIN_DIR");
    return env != nullptr ? env : QZ_PLUGIN_DIR;
}

bool havePlugins(const Patch &patch) {
    PluginCatalog catalog({pluginDir()});
    try {
        for (const auto &m : patch.modules()) catalog.find(m.plugin);
    } catch (const HostError &) {
        return false;
    }
    return true;
}

TEST(RealPlugins, EveryLibraryLoadsOpensAndRuns) {
    PluginCatalog catalog({pluginDir()});
    const auto files = catalog.pluginFiles();
    if (files.empty()) GTEST_SKIP() << "no plug-ins built in " << pluginDir();
    for (const auto &file : files) {
        const auto lib = PluginLibrary::load(file);
        EXPECT_EQ(lib->frameworkVersion(), QZ_FRAMEWORK_VERSION) << file;
        EXPECT_FALSE(lib->processingPins().empty()) << file;
        for (const int32_t block : {1, 64, 1024}) {
            Graph g({48000.0f, block, 0});
            Instance &inst = g.add("m", lib);
            g.open();
            for (int i = 0; i < 4; ++i) {
                g.beginBlock();
                g.processBlock();
            }
            EXPECT_EQ(inst.droppedEvents(), 0) << file;
            for (int32_t p = 0; p < inst.pinCount(); ++p) {
                if (inst.pinInfo(p).dataType != QZ_DT_STREAM || inst.pinInfo(p).isInput()) continue;
                const float *b = inst.buffer(p);
                EXPECT_TRUE(std::all_of(b, b + block, [](float v) { return std::isfinite(v); })) << file;
            }
        }
    }
}

std::vector<float> renderAt(const Patch &patch, int32_t block, const std::vector<qz::cli::Timed> &events,
                            EngineStats *stats = nullptr, int32_t voices = 16) {
    PluginCatalog catalog({pluginDir()});
    EngineOptions o;
    o.blockSize = block;
    o.voices = voices;
    VoiceEngine engine(patch, catalog, o);
    auto r = qz::cli::renderEvents(engine, events, 1.5, patch.gainDb(), false);
    if (stats != nullptr) *stats = r.stats;
    EXPECT_EQ(engine.busyVoices(), 0) << "every voice is free after the tail";
    return r.samples;
}

// Notes that all start at sample 0: no voice has run before its note. (A
// voice that ran silent before its note keeps its oscillator phases moving
// for one block size of samples before it sleeps, so later notes do depend
// on the block size.)
const std::vector<qz::cli::Timed> kChord = {
    {0, 0x90, 60, 100}, {0, 0x90, 64, 90}, {0, 0x90, 67, 80},
    {22050, 0x80, 60, 0}, {22050, 0x80, 64, 0}, {30000, 0x80, 67, 0},
};

TEST(RealPlugins, DefaultVoiceRendersTheSameAtEveryBlockSize) {
    const Patch patch = Patch::parse(qz::cli::defaultPatchText(), "default");
    if (!havePlugins(patch)) GTEST_SKIP() << "the default voice's plug-ins are not built";
    const auto reference = renderAt(patch, 1024, kChord);
    ASSERT_EQ(reference.size(), static_cast<size_t>(30000 + 66150));
    float peak = 0.0f;
    for (float v : reference) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.05f) << "not silent";
    EXPECT_LT(peak, 1.0f) << "no clipping";
    EXPECT_EQ(renderAt(patch, 1024, kChord), reference) << "deterministic";
    for (const int32_t block : {256, 37}) {
        const auto other = renderAt(patch, block, kChord);
        ASSERT_EQ(other.size(), reference.size());
        size_t firstDiff = other.size();
        for (size_t i = 0; i < other.size() && firstDiff == other.size(); ++i)
            if (other[i] != reference[i]) firstDiff = i;
        EXPECT_EQ(firstDiff, other.size()) << "block " << block << " differs from sample " << firstDiff;
    }
}

TEST(RealPlugins, ShippedPatchesPlayAndFreeTheirVoices) {
    const auto phrase = qz::cli::builtInPhrase(44100.0);
    for (const auto &entry : fs::directory_iterator(fs::path(QZ_SOURCE_DIR) / "patches")) {
        if (entry.path().extension() != ".json") continue;
        const Patch patch = Patch::loadFile(entry.path().string());
        if (!havePlugins(patch)) {
            ADD_FAILURE() << entry.path() << " needs plug-ins that are not built";
            continue;
        }
        EngineStats stats;
        const auto samples = renderAt(patch, 256, phrase, &stats);
        float peak = 0.0f;
        for (float v : samples) peak = std::max(peak, std::fabs(v));
        EXPECT_GT(peak, 0.05f) << entry.path();
        EXPECT_LT(peak, 1.0f) << entry.path();
        EXPECT_EQ(stats.notesStolen, 0) << entry.path();
        EXPECT_GE(stats.voicesUsed, 5) << entry.path() << ": the five-note chord";
        // The example MIDI file: tempo changes, running status, a pedalled second channel.
        const auto song = qz::cli::fileEvents(MidiFile::loadFile(QZ_SOURCE_DIR "/patches/phrase.mid"), 44100);
        const auto fromFile = renderAt(patch, 1024, song, &stats);
        EXPECT_GT(*std::max_element(fromFile.begin(), fromFile.end()), 0.05f) << entry.path();
    }
}

TEST(RealPlugins, SelectorPanelGetsTheChoiceAndSetsOneOutput) {
    PluginCatalog catalog({pluginDir()});
    std::shared_ptr<PluginLibrary> lib;
    try {
        lib = catalog.find("QZ_ListToBool_v1");
    } catch (const HostError &) {
        GTEST_SKIP() << "the selector is not built";
    }
    Graph g({44100.0f, 64, 0});
    Instance &sel = g.add("sel", lib);
    ASSERT_NE(sel.panel(), nullptr);
    g.setInput(sel, sel.findPin("Algorithm Choice"), 3);
    g.open();
    g.beginBlock();
    g.processBlock();
    EXPECT_EQ(static_cast<int32_t>(sel.panelValueBits(sel.findPanelPin("Val from DSP"))), 2) << "choice - 1";
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(sel.panelValueBits(sel.findPanelPin("Alg " + std::to_string(k))), k == 3 ? 1u : 0u) << "Alg " << k;
    EXPECT_TRUE(sel.sleeping()) << "nothing to compute";
}

TEST(RealPlugins, OldestVoiceIsStolenWhenAllAreBusy) {
    const Patch patch = Patch::parse(qz::cli::defaultPatchText(), "default");
    if (!havePlugins(patch)) GTEST_SKIP() << "the default voice's plug-ins are not built";
    EngineStats stats;
    renderAt(patch, 128, kChord, &stats, 2);
    EXPECT_EQ(stats.notesStolen, 1);
    EXPECT_EQ(stats.voicesUsed, 2);
}

} // namespace
#endif
