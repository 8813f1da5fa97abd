// The processing path of every built plug-in allocates nothing, frees
// nothing, takes no lock and makes no host call per sample.
//
// This binary counts every allocation and every lock while a flag is armed,
// and arms it only around the sub-process calls and the event handler of a
// long session: every input changed in turn, notes played and released,
// slices of several lengths, and a host that stops calling a sleeping
// instance until its next event. Allocations are counted by replacing
// malloc and operator new (or, in the sanitizer build, through the
// allocator's hooks, which see the same calls); locks by interposing the
// pthread lock functions, which this binary exports (see the .cmake file).
#include "test_host.h"

#if defined(QZ_HAVE_HOST)
#include "voice_engine.h"
#endif

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZ_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QZ_UNDER_ASAN 1
#endif

// ---- the probe ---------------------------------------------------------------

namespace probe {
std::atomic<bool> armed{false};
std::atomic<long> allocations{0};
std::atomic<long> frees{0};
std::atomic<long> locks{0};

void allocated() {
    if (armed.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
void freed(const void *p) {
    if (p != nullptr && armed.load(std::memory_order_relaxed)) frees.fetch_add(1, std::memory_order_relaxed);
}
void locked() {
    if (armed.load(std::memory_order_relaxed)) locks.fetch_add(1, std::memory_order_relaxed);
}
} // namespace probe

#if defined(QZ_UNDER_ASAN)

// The sanitizer's allocator reports every malloc, new and free to these.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
                                                         void (*free_hook)(const volatile void *));
namespace {
void mallocHook(const volatile void *, size_t) { probe::allocated(); }
void freeHook(const volatile void *p) { probe::freed(const_cast<const void *>(p)); }
[[maybe_unused]] const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(&mallocHook, &freeHook);
} // namespace

#else

// glibc's own allocator under its public aliases; everything else of the
// process allocates through these replacements.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
void *__libc_memalign(size_t, size_t);
void *__libc_valloc(size_t);
void *__libc_pvalloc(size_t);

void *malloc(size_t size) noexcept {
    probe::allocated();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) noexcept {
    probe::allocated();
    return __libc_calloc(count, size);
}
void *realloc(void *p, size_t size) noexcept {
    probe::allocated();
    return __libc_realloc(p, size);
}
void free(void *p) noexcept {
    probe::freed(p);
    __libc_free(p);
}
void *memalign(size_t alignment, size_t size) noexcept {
    probe::allocated();
    return __libc_memalign(alignment, size);
}
void *aligned_alloc(size_t alignment, size_t size) noexcept {
    probe::allocated();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **out, size_t alignment, size_t size) noexcept {
    probe::allocated();
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) return 22; // EINVAL
    void *p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12; // ENOMEM
    *out = p;
    return 0;
}
void *valloc(size_t size) noexcept {
    probe::allocated();
    return __libc_valloc(size);
}
void *pvalloc(size_t size) noexcept {
    probe::allocated();
    return __libc_pvalloc(size);
}
}

void *operator new(size_t size) {
    void *p = malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void *operator new[](size_t size) { return operator new(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept { return malloc(size == 0 ? 1 : size); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return malloc(size == 0 ? 1 : size); }
void *operator new(size_t size, std::align_val_t align) {
    void *p = aligned_alloc(static_cast<size_t>(align), size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void *operator new[](size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }
void operator delete(void *p, std::align_val_t) noexcept { free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { free(p); }
void operator delete(void *p, size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void *p, size_t, std::align_val_t) noexcept { free(p); }

#endif

// Every way to wait for another thread, counted, then passed on.
// The next definition is looked up when the binary starts (looking it up
// may itself free memory), and at the first call if that comes earlier.
#define QZ_PROBE_LOCK(name, params, args, except)                                                              \
    namespace {                                                                                                \
    using name##_fn = int(*) params;                                                                           \
    std::atomic<name##_fn> real_##name{nullptr};                                                               \
    name##_fn find_##name() {                                                                                  \
        auto f = reinterpret_cast<name##_fn>(dlsym(RTLD_NEXT, #name));                                         \
        real_##name.store(f, std::memory_order_release);                                                       \
        return f;                                                                                              \
    }                                                                                                          \
    [[maybe_unused]] const name##_fn found_##name = find_##name();                                             \
    }                                                                                                          \
    extern "C" int name params except {                                                                        \
        probe::locked();                                                                                       \
        name##_fn f = real_##name.load(std::memory_order_acquire);                                             \
        if (f == nullptr) f = find_##name();                                                                   \
        return f args;                                                                                         \
    }
QZ_PROBE_LOCK(pthread_mutex_lock, (pthread_mutex_t * m), (m), noexcept)
QZ_PROBE_LOCK(pthread_mutex_trylock, (pthread_mutex_t * m), (m), noexcept)
QZ_PROBE_LOCK(pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec *t), (m, t), noexcept)
QZ_PROBE_LOCK(pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l), noexcept)
QZ_PROBE_LOCK(pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l), noexcept)
QZ_PROBE_LOCK(pthread_rwlock_tryrdlock, (pthread_rwlock_t * l), (l), noexcept)
QZ_PROBE_LOCK(pthread_rwlock_trywrlock, (pthread_rwlock_t * l), (l), noexcept)
QZ_PROBE_LOCK(pthread_spin_lock, (pthread_spinlock_t * l), (l), noexcept)
QZ_PROBE_LOCK(pthread_spin_trylock, (pthread_spinlock_t * l), (l), noexcept)
QZ_PROBE_LOCK(pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t *m), (c, m), )
QZ_PROBE_LOCK(pthread_cond_timedwait, (pthread_cond_t * c, pthread_mutex_t *m, const struct timespec *t), (c, m, t), )
QZ_PROBE_LOCK(sem_wait, (sem_t * s), (s), )
QZ_PROBE_LOCK(sem_timedwait, (sem_t * s, const struct timespec *t), (s, t), )
#undef QZ_PROBE_LOCK

namespace {

namespace fs = std::filesystem;

// What the probe saw while armed.
struct Counts {
    long allocations = 0;
    long frees = 0;
    long locks = 0;
    bool operator==(const Counts &) const = default;
};

void *volatile sink = nullptr;

Counts counts() { return {probe::allocations.load(), probe::frees.load(), probe::locks.load()}; }

class Armed {
public:
    Armed() { probe::armed.store(true); }
    ~Armed() { probe::armed.store(false); }
};

// ---- the probe finds what it is meant to find --------------------------------

TEST(RealtimeProbe, SeesAllocationsFreesAndLocksOnlyWhileArmed) {
    const Counts before = counts();
    {
        Armed armed;
        // Through a volatile sink, so that the compiler keeps the pairs.
        auto *p = new (std::nothrow) int(3);
        sink = p;
        void *q = std::malloc(16);
        sink = q;
        std::free(q);
        delete p;
        static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&mutex);
        pthread_mutex_unlock(&mutex);
    }
    const Counts during = counts();
    EXPECT_EQ(during.allocations - before.allocations, 2);
    EXPECT_EQ(during.frees - before.frees, 2);
    EXPECT_EQ(during.locks - before.locks, 1);
    std::vector<int> unarmed(100, 1);
    EXPECT_EQ(counts(), during) << unarmed.size();
}

TEST(RealtimeProbe, IsWhatLoadedLibrariesBindTo) {
    // A plug-in's calls resolve through the global scope: they must land on
    // this binary's definitions, not on the C library's.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "pthread_mutex_lock"), reinterpret_cast<void *>(&pthread_mutex_lock));
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "sem_wait"), reinterpret_cast<void *>(&sem_wait));
#if !defined(QZ_UNDER_ASAN)
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "malloc"), reinterpret_cast<void *>(&malloc));
    // operator new(size_t) is mangled after the width of size_t.
    const char *newName = sizeof(size_t) == 8 ? "_Znwm" : "_Znwj";
    EXPECT_EQ(dlsym(RTLD_DEFAULT, newName), reinterpret_cast<void *>(static_cast<void *(*)(size_t)>(&operator new)));
#endif
}

// ---- a host that itself allocates nothing on the processing path --------------

constexpr int32_t kBlock = 256;
constexpr int32_t kMaxPins = 64;
constexpr int32_t kHostCallsPerSlice = 16; // bound for a slice of any length

struct QuietHost {
    QzModuleRecord *record = nullptr;
    std::vector<QzPinDescription> pins;
    int32_t pinCount = 0;
    std::vector<std::array<float, kBlock>> buffers;
    uint32_t clock = 5000;
    uint32_t bufferStart = 5000;
    bool sleeping = false;
    long sleeps = 0;
    long wakes = 0;
    long hostCalls = 0;
};

QzResult QZ_CALL quietCallback(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t, void *, float) {
    auto *h = static_cast<QuietHost *>(record->hostData);
    ++h->hostCalls;
    switch (opcode) {
    case QZ_HOST_GET_SAMPLE_CLOCK:
        return static_cast<QzResult>(h->clock);
    case QZ_HOST_GET_PIN_BUFFER:
        if (index < 0 || index >= h->pinCount) return 0;
        return reinterpret_cast<QzResult>(h->buffers[static_cast<size_t>(index)].data());
    case QZ_HOST_GET_BUFFER_START_CLOCK:
        return static_cast<QzResult>(h->bufferStart);
    case QZ_HOST_SLEEP:
        if (!h->sleeping) ++h->sleeps;
        h->sleeping = true;
        return 0;
    case QZ_HOST_GET_PIN_COUNT:
        return h->pinCount;
    default:
        return 0;
    }
}

// Where the probe first counted something, for the failure message.
struct Finding {
    std::string where;
    Counts seen;
};

class Session {
public:
    explicit Session(const qz::test::Plugin &plugin) {
        host_.record = static_cast<QzModuleRecord *>(plugin.makeModule(0, QZ_PROFILE_PROCESSING, &quietCallback, &host_));
        if (host_.record == nullptr) return;
        for (int32_t d = 0; d < 256 && static_cast<int32_t>(host_.pins.size()) < kMaxPins; ++d) {
            QzPinDescription description{};
            if (dispatch(QZ_OP_GET_PIN_PROPERTIES, d, 0, &description) == 0) break;
            const bool gui = (description.flags & QZ_PIN_GUI_SIDE) != 0;
            if (gui && (description.flags & QZ_PIN_BOTH_SIDES) == 0) continue;
            host_.pins.push_back(description);
        }
        host_.pinCount = static_cast<int32_t>(host_.pins.size());
        host_.buffers.assign(host_.pins.size(), {});
        for (size_t p = 0; p < host_.pins.size(); ++p) {
            const QzPinDescription &d = host_.pins[p];
            if (d.dataType == QZ_DT_STREAM && d.variable != nullptr) {
                float *b = host_.buffers[p].data();
                std::memcpy(d.variable, &b, sizeof b);
            }
            if (d.dataType == QZ_DT_STREAM && d.direction == QZ_DIR_IN) host_.buffers[p].fill(0.5f);
        }
        dispatch(QZ_OP_SET_SAMPLE_RATE, 0, 0, nullptr, 48000.0f);
        dispatch(QZ_OP_SET_BLOCK_SIZE, 0, kBlock);
        dispatch(QZ_OP_OPEN);
    }
    ~Session() {
        if (host_.record != nullptr) dispatch(QZ_OP_CLOSE);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool made() const { return host_.record != nullptr; }
    const QuietHost &host() const { return host_; }
    const std::vector<Finding> &findings() const { return findings_; }

    // Blocks of 256 samples at 48 kHz; each input changes in turn, a note
    // starts every 48 blocks and ends 24 blocks later.
    void play(int32_t blocks) {
        static constexpr float kValues[] = {0.0f, 9.9f, 0.5f, 1.0f, 5.0f, 0.1f, 3.3f, 7.0f, 0.0f, 2.0f};
        static constexpr int32_t kSlices[] = {kBlock, 0, 17, 100, 1, 64};
        int32_t nextInput = 0;
        for (int32_t b = 0; b < blocks; ++b) {
            host_.bufferStart = host_.clock;
            if (b % 48 == 0) note(true, 36 + (b / 48) % 60);
            if (b % 48 == 24) note(false, 36 + (b / 48) % 60);
            if (b % 3 == 0 && host_.pinCount > 0) {
                changeInput(nextInput, kValues[(b / 3) % 10], b % 9 == 0 ? QZ_STATUS_STREAMING : QZ_STATUS_CHANGED);
                nextInput = (nextInput + 1) % host_.pinCount;
            }
            // One block in slices: whole, or several pieces with an event
            // between two of them.
            int32_t offset = 0;
            const int32_t pieces = b % 4 == 0 ? 1 : 6;
            for (int32_t s = 0; s < pieces && offset < kBlock; ++s) {
                const int32_t count = s + 1 == pieces ? kBlock - offset : std::min(kSlices[(b + s) % 6], kBlock - offset);
                slice(offset, count, b);
                offset += count;
                if (s == 2 && b % 5 == 1) note(b % 10 == 1, 60);
            }
        }
    }

private:
    QzResult dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr, float opt = 0.0f) {
        return host_.record->dispatcher(host_.record, opcode, index, value, ptr, opt);
    }

    void deliver(QzModuleEvent event, const char *what, int32_t detail) {
        if (host_.sleeping) ++host_.wakes;
        host_.sleeping = false;
        const Counts before = counts();
        {
            Armed armed;
            host_.record->eventHandler(host_.record->object, &event);
        }
        record(before, what, detail);
    }

    void record(const Counts &before, const char *what, int32_t detail) {
        const Counts after = counts();
        if (after == before || findings_.size() >= 4) return;
        findings_.push_back({std::string(what) + " " + std::to_string(detail),
                             {after.allocations - before.allocations, after.frees - before.frees,
                              after.locks - before.locks}});
    }

    void note(bool on, int32_t key) {
        // Gate streams follow the note; MIDI goes to every MIDI input.
        for (size_t p = 0; p < host_.pins.size(); ++p) {
            const QzPinDescription &d = host_.pins[p];
            if (d.direction != QZ_DIR_IN) continue;
            if (d.dataType == QZ_DT_MIDI) {
                QzModuleEvent e{};
                e.timeStamp = host_.clock;
                e.kind = QZ_EVENT_MIDI;
                e.intParam1 = (on ? 0x90 : 0x80) | (key << 8) | ((on ? 100 : 64) << 16);
                e.intParam2 = static_cast<int32_t>(p);
                deliver(e, "MIDI event on pin", static_cast<int32_t>(p));
            } else if (d.dataType == QZ_DT_STREAM && d.name != nullptr && std::strstr(d.name, "Gate") != nullptr) {
                host_.buffers[p].fill(on ? 1.0f : 0.0f);
                status(static_cast<int32_t>(p), QZ_STATUS_CHANGED);
            }
        }
    }

    void status(int32_t pin, int32_t value) {
        QzModuleEvent e{};
        e.timeStamp = host_.clock;
        e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
        e.intParam1 = value;
        e.ptrParam = pin;
        deliver(e, "status change of pin", pin);
    }

    void changeInput(int32_t pin, float value, int32_t newStatus) {
        const QzPinDescription &d = host_.pins[static_cast<size_t>(pin)];
        if (d.direction != QZ_DIR_IN || d.dataType == QZ_DT_MIDI) return;
        switch (d.dataType) {
        case QZ_DT_STREAM:
            host_.buffers[static_cast<size_t>(pin)].fill(value);
            break;
        case QZ_DT_ENUMERATION: {
            const auto v = static_cast<int16_t>(value);
            if (d.variable != nullptr) std::memcpy(d.variable, &v, sizeof v);
            break;
        }
        case QZ_DT_BOOLEAN: {
            const uint8_t v = value > 0.5f ? 1 : 0;
            if (d.variable != nullptr) std::memcpy(d.variable, &v, sizeof v);
            break;
        }
        case QZ_DT_FLOAT:
            if (d.variable != nullptr) std::memcpy(d.variable, &value, sizeof value);
            break;
        case QZ_DT_INTEGER: {
            const auto v = static_cast<int32_t>(value);
            if (d.variable != nullptr) std::memcpy(d.variable, &v, sizeof v);
            break;
        }
        default:
            break;
        }
        status(pin, newStatus);
    }

    void slice(int32_t offset, int32_t count, int32_t block) {
        // A sleeping instance is not called until its next event.
        if (!host_.sleeping) {
            const long callsBefore = host_.hostCalls;
            const Counts before = counts();
            {
                Armed armed;
                host_.record->subProcess(host_.record->object, offset, count);
            }
            record(before, "sub-process call in block", block);
            const long calls = host_.hostCalls - callsBefore;
            if (calls > kHostCallsPerSlice && findings_.size() < 4)
                findings_.push_back({std::to_string(calls) + " host calls in a slice of " + std::to_string(count) +
                                         " samples, block " + std::to_string(block),
                                     {}});
        }
        host_.clock += static_cast<uint32_t>(count);
    }

    QuietHost host_;
    std::vector<Finding> findings_;
};

std::vector<std::string> builtPlugins() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(QZ_PLUGIN_DIR)) {
        if (entry.path().extension() == ".so") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class RealtimeSafety : public ::testing::TestWithParam<std::string> {};

TEST_P(RealtimeSafety, ProcessingPathAllocatesNothingLocksNothing) {
    qz::test::Plugin plugin(GetParam());
    Session session(plugin);
    ASSERT_TRUE(session.made());
    session.play(2400); // 12.8 s of audio
    for (const Finding &f : session.findings()) {
        ADD_FAILURE() << GetParam() << ": " << f.where << ": " << f.seen.allocations << " allocations, "
                      << f.seen.frees << " frees, " << f.seen.locks << " locks";
    }
    RecordProperty("sleeps", std::to_string(session.host().sleeps));
    RecordProperty("wakes", std::to_string(session.host().wakes));
}

#if defined(QZ_HAVE_HOST)

// ---- the development host's render loop ---------------------------------------

// A six-module voice with every kind of wire: MIDI through the transposer to
// the envelope, the pitch envelope and the LFO into the frequency
// controller, the operator pitch and envelope into the oscillator.
constexpr const char *kVoicePatch = R"({
  "modules": {
    "tr": {"plugin": "QZ_Transposer_v1", "settings": {"Transpose": 12}},
    "eg": {"plugin": "QZ_OpEG_v1", "settings": {"OFF/ON": 1, "Output Level": 99, "Level 1": 99, "Level 2": 90, "Level 3": 80,
                                                "Rate 1": 80, "Rate 2": 60, "Rate 3": 40, "Rate 4": 70}},
    "peg": {"plugin": "QZ_PitchEG"},
    "lfo": {"plugin": "QZ_LFO"},
    "fc": {"plugin": "QZ_FreqController_v1"},
    "osc": {"plugin": "QZ_OSC6_v1", "settings": {"Output Level": 99}}
  },
  "wires": [["tr.MIDI Out", "eg.MIDI In"], ["peg.Pitch Out", "fc.Pitch In"], ["lfo.LFO Out", "fc.PMod In"],
            ["fc.Pitch Out", "osc.Pitch 1 In"], ["eg.EG Out", "osc.EG 1 In"]],
  "inputs": {"midi": "tr.MIDI In", "gate": ["eg.Gate In", "peg.Gate In", "lfo.Gate In"],
             "velocity": "eg.Velocity In", "pitch": "peg.Pitch In"},
  "output": "osc.Audio Out"
})";

TEST(RealtimeHost, RenderLoopAllocatesNothingAfterStartUp) {
    for (const char *name : {"QZ_Transposer_v1", "QZ_OpEG_v1", "QZ_PitchEG", "QZ_LFO", "QZ_FreqController_v1", "QZ_OSC6_v1"}) {
        if (!fs::exists(qz::test::pluginPath(name))) GTEST_SKIP() << name << " is not part of this build";
    }
    qz::host::PluginCatalog catalog({QZ_PLUGIN_DIR});
    const qz::host::Patch patch = qz::host::Patch::parse(kVoicePatch, "voice.json");
    qz::host::EngineOptions options;
    options.sampleRate = 48000.0f;
    options.blockSize = 256;
    options.voices = 4;
    qz::host::VoiceEngine engine(patch, catalog, options);
    std::vector<float> out(256);
    std::vector<qz::host::TimedMidi> events;
    events.reserve(8);

    // Six overlapping notes a phrase on four voices, the sustain pedal
    // holding some, a pitch bend, and silence between phrases for voices to
    // sleep and come free.
    int64_t noteOns = 0;
    const Counts before = counts();
    for (int32_t b = 0; b < 2000; ++b) {
        events.clear();
        const int32_t phrase = b % 400;
        if (phrase < 120 && phrase % 20 == 0) {
            events.push_back({17, 0x90, static_cast<uint8_t>(48 + phrase / 10), 100});
            ++noteOns;
        }
        if (phrase >= 60 && phrase < 180 && phrase % 20 == 0)
            events.push_back({200, 0x80, static_cast<uint8_t>(48 + (phrase - 60) / 10), 0});
        if (phrase == 30) events.push_back({0, 0xB0, 64, 127});
        if (phrase == 150) events.push_back({100, 0xB0, 64, 0});
        if (phrase == 90) events.push_back({255, 0xE0, 0, 80});
        Armed armed;
        engine.renderBlock(events.data(), events.size(), out.data());
    }
    const Counts after = counts();
    EXPECT_EQ(after.allocations - before.allocations, 0);
    EXPECT_EQ(after.frees - before.frees, 0);
    EXPECT_EQ(after.locks - before.locks, 0);
    EXPECT_EQ(engine.stats().notesPlayed, noteOns); // every note reached a voice
    EXPECT_GT(engine.stats().notesStolen, 0);       // and the four voices ran out
}

#endif

INSTANTIATE_TEST_SUITE_P(Built, RealtimeSafety, ::testing::ValuesIn(builtPlugins()),
                         [](const auto &info) { return info.param; });

} // namespace
