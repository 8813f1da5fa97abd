#include "qz_cli.h"

#include <CLI/CLI.hpp>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace qz::cli {

namespace fs = std::filesystem;
using host::HostError;

std::vector<Timed> builtInPhrase(double rate) {
    struct Note {
        double beat, beats;
        uint8_t key, velocity;
    };
    // An arpeggio, then four chords: two quarter notes a second.
    static const Note kNotes[] = {
        {0.0, 0.5, 60, 96}, {0.5, 0.5, 64, 88}, {1.0, 0.5, 67, 92}, {1.5, 0.5, 72, 100},
        {2.0, 1.9, 48, 80}, {2.0, 1.9, 60, 84}, {2.0, 1.9, 64, 76}, {2.0, 1.9, 67, 80},
        {4.0, 1.9, 53, 80}, {4.0, 1.9, 57, 72}, {4.0, 1.9, 60, 76}, {4.0, 1.9, 65, 84},
        {6.0, 1.4, 55, 84}, {6.0, 1.4, 59, 76}, {6.0, 1.4, 62, 80}, {6.0, 1.4, 65, 72},
        {7.5, 0.5, 71, 90}, {8.0, 3.0, 48, 88}, {8.0, 3.0, 60, 84}, {8.0, 3.0, 64, 80},
        {8.0, 3.0, 67, 84}, {8.0, 3.0, 72, 96},
    };
    std::vector<Timed> events;
    const double samplesPerBeat = rate * 0.5;
    for (const Note &n : kNotes) {
        events.push_back({static_cast<int64_t>(n.beat * samplesPerBeat), 0x90, n.key, n.velocity});
        events.push_back({static_cast<int64_t>((n.beat + n.beats) * samplesPerBeat), 0x80, n.key, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Timed &a, const Timed &b) { return a.sample < b.sample; });
    return events;
}

std::vector<Timed> fileEvents(const host::MidiFile &file, uint32_t rate) {
    std::vector<Timed> events;
    events.reserve(file.events.size());
    for (const auto &e : file.events) events.push_back({file.tickToSample(e.tick, rate), e.status, e.data1, e.data2});
    return events;
}

RenderResult renderEvents(host::VoiceEngine &engine, const std::vector<Timed> &events, double tailSeconds,
                          double gainDb, bool progress) {
    RenderResult result;
    const int32_t block = engine.blockSize();
    const double rate = engine.sampleRate();
    const int64_t last = events.empty() ? 0 : events.back().sample;
    const auto total = static_cast<int64_t>(last + static_cast<int64_t>(std::llround(tailSeconds * rate)));
    result.samples.assign(static_cast<size_t>(total), 0.0f);
    result.seconds = static_cast<double>(total) / rate;
    std::vector<host::TimedMidi> blockEvents(events.size() + 1);
    std::vector<float> out(static_cast<size_t>(block));
    const auto gain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    size_t next = 0;
    int lastShown = -1;
    float peak = 0.0f;
    for (int64_t start = 0; start < total; start += block) {
        size_t n = 0;
        while (next < events.size() && events[next].sample < start + block) {
            const Timed &t = events[next++];
            blockEvents[n++] = {static_cast<int32_t>(std::max<int64_t>(0, t.sample - start)), t.status, t.data1, t.data2};
        }
        engine.renderBlock(blockEvents.data(), n, out.data());
        const int64_t count = std::min<int64_t>(block, total - start);
        for (int64_t i = 0; i < count; ++i) {
            const float s = out[static_cast<size_t>(i)] * gain;
            result.samples[static_cast<size_t>(start + i)] = s;
            peak = std::max(peak, std::fabs(s));
        }
        if (progress) {
            const int shown = static_cast<int>(100 * (start + count) / std::max<int64_t>(total, 1));
            if (shown != lastShown) {
                lastShown = shown;
                char bar[41];
                std::memset(bar, ' ', 40);
                std::memset(bar, '#', static_cast<size_t>(shown * 40 / 100));
                bar[40] = '\0';
                std::fprintf(stderr, "\r[%s] %3d%%", bar, shown);
            }
        }
    }
    if (progress) std::fprintf(stderr, "\n");
    result.peak = peak;
    result.stats = engine.stats();
    return result;
}

namespace {

struct Memory {
    std::vector<unsigned char> bytes;
    sf_count_t pos = 0;
};
sf_count_t memLength(void *user) { return static_cast<sf_count_t>(static_cast<Memory *>(user)->bytes.size()); }
sf_count_t memSeek(sf_count_t offset, int whence, void *user) {
    auto *m = static_cast<Memory *>(user);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : static_cast<sf_count_t>(m->bytes.size());
    m->pos = std::max<sf_count_t>(0, base + offset);
    return m->pos;
}
sf_count_t memRead(void *ptr, sf_count_t count, void *user) {
    auto *m = static_cast<Memory *>(user);
    const sf_count_t left = std::max<sf_count_t>(0, static_cast<sf_count_t>(m->bytes.size()) - m->pos);
    const sf_count_t n = std::min(count, left);
    std::memcpy(ptr, m->bytes.data() + m->pos, static_cast<size_t>(n));
    m->pos += n;
    return n;
}
sf_count_t memWrite(const void *ptr, sf_count_t count, void *user) {
    auto *m = static_cast<Memory *>(user);
    const auto end = static_cast<size_t>(m->pos + count);
    if (m->bytes.size() < end) m->bytes.resize(end);
    std::memcpy(m->bytes.data() + m->pos, ptr, static_cast<size_t>(count));
    m->pos += count;
    return count;
}
sf_count_t memTell(void *user) { return static_cast<Memory *>(user)->pos; }

int sfFormat(const std::string &output, const std::string &format) {
    std::string ext = output == "-" ? ".wav" : fs::path(output).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    int container = 0;
    if (ext == ".wav") container = SF_FORMAT_WAV;
    else if (ext == ".flac") container = SF_FORMAT_FLAC;
    else throw HostError("output " + output + ": unknown file type \"" + ext + "\" (use .wav or .flac)");
    int sub = 0;
    if (format == "s16") sub = SF_FORMAT_PCM_16;
    else if (format == "s24") sub = SF_FORMAT_PCM_24;
    else if (format == "float") sub = SF_FORMAT_FLOAT;
    else throw HostError("--format " + format + ": expected float, s16 or s24");
    if (container == SF_FORMAT_FLAC && sub == SF_FORMAT_FLOAT)
        throw HostError("output " + output + ": FLAC holds s16 or s24 samples, not float");
    return container | sub;
}

// Encodes the whole file in memory, so that nothing is left behind when
// encoding fails and standard output needs no seeking.
std::vector<unsigned char> encode(const std::vector<float> &samples, int rate, int format) {
    Memory mem;
    SF_VIRTUAL_IO io{memLength, memSeek, memRead, memWrite, memTell};
    SF_INFO sfinfo{};
    sfinfo.samplerate = rate;
    sfinfo.channels = 1;
    sfinfo.format = format;
    SNDFILE *file = sf_open_virtual(&io, SFM_WRITE, &sfinfo, &mem);
    if (file == nullptr) throw HostError(std::string("cannot encode audio: ") + sf_strerror(nullptr));
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto n = static_cast<sf_count_t>(samples.size());
    const sf_count_t written = sf_writef_float(file, samples.data(), n);
    const std::string error = sf_strerror(file);
    sf_close(file);
    if (written != n) throw HostError("cannot encode audio: " + error);
    return mem.bytes;
}

void writeOutput(const std::string &output, const std::vector<unsigned char> &bytes) {
    if (output == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
            throw HostError("cannot write the audio to standard output");
        return;
    }
    // Into a file beside the target, renamed over it only when complete.
    const fs::path target(output);
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) throw HostError("cannot write output " + output + ": " + std::strerror(errno));
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(w);
    }
    const int err = errno;
    if (::close(fd) != 0) ok = false;
    std::error_code ec;
    if (ok) {
        fs::permissions(tmpl, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read, ec);
        fs::rename(tmpl, target, ec);
        if (!ec) return;
    }
    fs::remove(tmpl, ec);
    throw HostError("cannot write output " + output + ": " + std::strerror(ok ? EIO : err));
}

std::string stemOf(const std::string &path) { return fs::path(path).stem().string(); }

} // namespace

int render(const RenderOptions &o) {
    try {
        if (!(o.rate >= 8000.0 && o.rate <= 384000.0 && o.rate == std::floor(o.rate)))
            throw HostError("--rate " + std::to_string(o.rate) + ": expected a whole number of Hz from 8000 to 384000");
        if (o.block < 1 || o.block > 8192) throw HostError("--block " + std::to_string(o.block) + ": expected 1 to 8192 samples");
        if (o.voices < 1 || o.voices > 256) throw HostError("--voices " + std::to_string(o.voices) + ": expected 1 to 256");
        if (!(o.tailSeconds >= 0.0 && o.tailSeconds <= 600.0))
            throw HostError("--tail " + std::to_string(o.tailSeconds) + ": expected 0 to 600 seconds");
        if (!(std::fabs(o.gainDb) <= 120.0)) throw HostError("--gain: expected -120 to 120 dB");
        const std::string output = !o.output.empty() ? o.output : o.patch.empty() ? "demo.wav" : stemOf(o.patch) + ".wav";
        const int format = sfFormat(output, o.format);
        const auto rate = static_cast<uint32_t>(o.rate);

        host::PluginCatalog catalog(host::pluginSearchPath(o.plugins));
        const host::Patch patch = o.patch.empty() ? host::Patch::parse(defaultPatchText(), "built-in default patch")
                                                  : host::Patch::loadFile(o.patch);
        std::vector<Timed> events = o.midi.empty() ? builtInPhrase(o.rate) : fileEvents(host::MidiFile::loadFile(o.midi), rate);
        if (o.verbose) {
            std::fprintf(stderr, "qz: patch %s (%s), %zu modules a voice, %d voices\n",
                         patch.name().empty() ? "unnamed" : patch.name().c_str(), patch.origin().c_str(),
                         patch.modules().size(), o.voices);
            std::fprintf(stderr, "qz: %zu MIDI messages from %s; plug-ins from", events.size(),
                         o.midi.empty() ? "the built-in phrase" : o.midi.c_str());
            for (const auto &d : catalog.dirs()) std::fprintf(stderr, " %s", d.c_str());
            std::fprintf(stderr, "\n");
        }
        host::EngineOptions eo;
        eo.sampleRate = static_cast<float>(o.rate);
        eo.blockSize = o.block;
        eo.voices = o.voices;
        host::VoiceEngine engine(patch, catalog, eo);
        const bool progress = !o.quiet && isatty(STDERR_FILENO) == 1;
        const auto t0 = std::chrono::steady_clock::now();
        RenderResult r = renderEvents(engine, events, o.tailSeconds, o.gainDb + patch.gainDb(), progress);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        writeOutput(output, encode(r.samples, static_cast<int>(rate), format));
        if (!o.quiet) {
            const double peakDb = r.peak > 0.0 ? 20.0 * std::log10(r.peak) : -INFINITY;
            std::FILE *to = output == "-" ? stderr : stdout;
            std::fprintf(to, "%s: %.2f s, peak %.1f dBFS%s, %d voices used, %lld notes stolen, %.1fx realtime\n",
                         output == "-" ? "standard output" : output.c_str(), r.seconds, peakDb,
                         r.peak > 1.0 && o.format != "float" ? " (clipped)" : "", r.stats.voicesUsed,
                         static_cast<long long>(r.stats.notesStolen), took > 0.0 ? r.seconds / took : 0.0);
            if (r.stats.droppedEvents > 0)
                std::fprintf(stderr, "qz: warning: %lld events were dropped by full instance queues\n",
                             static_cast<long long>(r.stats.droppedEvents));
        }
        return kOk;
    } catch (const HostError &e) {
        std::fprintf(stderr, "qz: %s\n", e.what());
        return kBadInput;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "qz: out of memory\n");
        return kBadInput;
    }
}

int run(int argc, char **argv) {
    CLI::App app{"qz: plays MIDI through qzfm module patches"};
    app.require_subcommand(0, 1);
    RenderOptions ro;
    std::vector<std::string> infoPlugins;
    std::string infoDir;
    CLI::App *renderCmd = app.add_subcommand("render", "render a MIDI file through a patch into WAV or FLAC");
    renderCmd->add_option("PATCH", ro.patch, "patch file (JSON); the built-in default voice when left out");
    renderCmd->add_option("--midi", ro.midi, "standard MIDI file, type 0 or 1; the built-in phrase when left out");
    renderCmd->add_option("-o,--output", ro.output, "output .wav or .flac, - for WAV on standard output (default demo.wav)");
    renderCmd->add_option("-r,--rate", ro.rate, "sample rate in Hz")->capture_default_str();
    renderCmd->add_option("--block", ro.block, "block size in samples")->capture_default_str();
    renderCmd->add_option("--voices", ro.voices, "most notes sounding at once")->capture_default_str();
    renderCmd->add_option("--tail", ro.tailSeconds, "seconds rendered after the last MIDI message")->capture_default_str();
    renderCmd->add_option("-g,--gain", ro.gainDb, "gain in dB")->capture_default_str();
    renderCmd->add_option("--format", ro.format, "sample format: float, s16 or s24")->capture_default_str();
    renderCmd->add_option("--plugins", ro.plugins, "plug-in folder (default: QZ_PLUGIN_PATH, else build/plugins)");
    renderCmd->add_flag("-q,--quiet", ro.quiet, "no progress bar and no summary");
    renderCmd->add_flag("-v,--verbose", ro.verbose, "say what is loaded");
    CLI::App *infoCmd = app.add_subcommand("info", "show plug-ins' properties and pin tables");
    infoCmd->add_option("PLUGIN", infoPlugins, "plug-in file or uniqueId")->required();
    infoCmd->add_option("--plugins", infoDir, "plug-in folder for uniqueIds");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        app.exit(e);
        return kBadInput;
    }
    if (*infoCmd) return info(infoPlugins, infoDir);
    return render(ro);
}

} // namespace qz::cli
