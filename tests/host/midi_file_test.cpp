// The MIDI file reader: valid files of both formats with their tempo maps,
// a table of corrupt files with their messages, every truncation of a valid
// file, and a cross-check of note times against a second reader.
#ifdef QZ_NO_HOST
#include <gtest/gtest.h>
TEST(MidiFile, NeedsTheHostLibrary) { GTEST_SKIP() << "built without the development host"; }
#else
#include "midi_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#ifdef QZ_HAVE_LIBSMF
#include <smf.h>
#endif

using qz::host::HostError;
using qz::host::MidiFile;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes vlq(uint32_t v) {
    Bytes out{static_cast<uint8_t>(v & 0x7F)};
    while ((v >>= 7) != 0) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

void append(Bytes &to, const Bytes &more) { to.insert(to.end(), more.begin(), more.end()); }

Bytes chunk(const char *id, const Bytes &body, int64_t claimedLength = -1) {
    Bytes out(id, id + 4);
    const auto n = static_cast<uint32_t>(claimedLength < 0 ? static_cast<int64_t>(body.size()) : claimedLength);
    append(out, {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                 static_cast<uint8_t>(n)});
    append(out, body);
    return out;
}

Bytes header(int format, int tracks, int division) {
    return chunk("MThd", {0, static_cast<uint8_t>(format), 0, static_cast<uint8_t>(tracks),
                          static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)});
}

Bytes tempo(uint32_t delta, uint32_t micros) {
    Bytes out = vlq(delta);
    append(out, {0xFF, 0x51, 0x03, static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
                 static_cast<uint8_t>(micros)});
    return out;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

// Format 1, 480 ticks a quarter: a tempo track (120 bpm, then 240 bpm from
// tick 960) and a note track with running status, a sysex, a text event and
// an unknown chunk between the two tracks.
Bytes sampleFile() {
    Bytes t0 = tempo(0, 500000);
    append(t0, tempo(960, 250000));
    append(t0, kEnd);
    Bytes t1 = {0x00, 0x90, 60, 100, 0x83, 0x60, 64, 90}; // tick 0 on 60; tick 480 on 64, running status
    append(t1, {0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7});    // sysex ends running status
    append(t1, {0x00, 0xFF, 0x01, 0x02, 'h', 'i'});      // text
    append(t1, {0x87, 0x40, 0x80, 60, 0});               // tick 1440 off 60
    append(t1, {0x00, 0x90, 64, 0});                     // note-on velocity 0
    append(t1, {0x00, 0xE0, 0x00, 0x40, 0x00, 0xC0, 5}); // bend, program
    append(t1, kEnd);
    Bytes file = header(1, 2, 480);
    append(file, chunk("MTrk", t0));
    append(file, chunk("XFIH", {1, 2, 3}));
    append(file, chunk("MTrk", t1));
    return file;
}

MidiFile parse(const Bytes &b) { return MidiFile::parse(b.data(), b.size(), "test.mid"); }

TEST(MidiFile, ReadsEventsAndTurnsTheTempoMapIntoExactSamples) {
    const MidiFile f = parse(sampleFile());
    EXPECT_EQ(f.format, 1);
    EXPECT_EQ(f.trackCount, 2);
    using E = std::tuple<uint64_t, int, int, int>;
    std::vector<E> got;
    for (const auto &e : f.events) got.emplace_back(e.tick, e.status, e.data1, e.data2);
    const std::vector<E> want = {{0, 0x90, 60, 100},   {480, 0x90, 64, 90}, {1440, 0x80, 60, 0},
                                 {1440, 0x90, 64, 0},  {1440, 0xE0, 0, 64}, {1440, 0xC0, 5, 0}};
    EXPECT_EQ(got, want);
    // 120 bpm: a quarter is 0.5 s; from tick 960 (1 s) on a quarter is 0.25 s.
    struct Case {
        uint64_t tick;
        uint32_t rate;
        int64_t sample;
    };
    const Case cases[] = {{0, 44100, 0},           {480, 44100, 22050},    {960, 44100, 44100},
                          {1440, 44100, 55125},    {1441, 44100, 55147},   {1440, 48000, 60000},
                          {7, 44100, 321},         {100000, 44100, 2318925}};
    for (const Case &c : cases) {
        // Independent: seconds = ticks before 960 × 0.5/480 + ticks after × 0.25/480.
        const double seconds = static_cast<double>(std::min<uint64_t>(c.tick, 960)) * 0.5 / 480.0 +
                               static_cast<double>(c.tick > 960 ? c.tick - 960 : 0) * 0.25 / 480.0;
        EXPECT_EQ(f.tickToSample(c.tick, c.rate), c.sample) << "tick " << c.tick << " at " << c.rate;
        EXPECT_EQ(static_cast<int64_t>(std::floor(seconds * c.rate + 1e-9)), c.sample) << "the case table itself";
        EXPECT_NEAR(f.tickToSeconds(c.tick), seconds, 1e-12);
    }
}

TEST(MidiFile, FormatZeroAndSmpteTime) {
    Bytes t = {0x00, 0x91, 69, 127, 0x81, 0x00, 0x81, 69, 0};
    append(t, kEnd);
    Bytes f0 = header(0, 1, 96);
    append(f0, chunk("MTrk", t));
    const MidiFile a = parse(f0);
    ASSERT_EQ(a.events.size(), 2u);
    EXPECT_EQ(a.tickToSample(128, 44100), 29400) << "default 120 bpm: 128/96 quarters = 2/3 s";
    // 25 frames of 40 ticks: 1000 ticks a second.
    Bytes smpte = header(0, 1, 0xE728);
    append(smpte, chunk("MTrk", t));
    EXPECT_EQ(parse(smpte).tickToSample(128, 44100), 5644);
}

TEST(MidiFile, RejectsCorruptFilesNamingTheProblem) {
    const auto withTrack = [](const Bytes &body, int tracks = 1) {
        Bytes f = header(0, tracks, 96);
        append(f, chunk("MTrk", body));
        return f;
    };
    struct Case {
        const char *name;
        Bytes bytes;
        const char *message;
    };
    Bytes pastEnd = header(0, 1, 96);
    append(pastEnd, chunk("MTrk", {0x00, 0x90, 60, 100}, 5000));
    Bytes shortHeader = chunk("MThd", {0, 0, 0, 1, 0});
    append(shortHeader, Bytes(8, 0));
    const Case cases[] = {
        {"empty", {}, "too short"},
        {"not a MIDI file", Bytes(20, 'x'), "no MThd"},
        {"header length 5", shortHeader, "header length 5 is below 6"},
        {"track length past the end", pastEnd, "length 5000 runs past the end of the file (4 bytes left)"},
        {"delta time of 5 bytes", withTrack({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 1, 1}), "longer than 4 bytes"},
        {"delta time cut off", withTrack({0x81}), "ends inside a delta time"},
        {"no running status", withTrack({0x00, 0x3C, 0x40}), "data byte 0x3C with no running status"},
        {"running status after sysex", withTrack({0x00, 0x90, 1, 1, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x40}),
         "with no running status"},
        {"meta length past the end", withTrack({0x00, 0xFF, 0x01, 0x40, 'a'}), "meta event length 64 runs past"},
        {"sysex length past the end", withTrack({0x00, 0xF0, 0x8F, 0x7F, 0x01}), "system-exclusive length 2047"},
        {"channel message cut off", withTrack({0x00, 0x90, 60}), "ends inside a channel message"},
        {"data byte with its top bit", withTrack({0x00, 0x90, 60, 0x80}), "data byte 0x80 has its top bit set"},
        {"system common status", withTrack({0x00, 0xF2, 0, 0}), "status byte 0xF2 does not belong"},
        {"tempo of two bytes", withTrack({0x00, 0xFF, 0x51, 0x02, 1, 2}), "tempo event of length 2"},
        {"tempo of zero", withTrack({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}), "tempo of 0 microseconds"},
        {"missing track", withTrack(kEnd, 2), "announces 2 tracks but the file holds 1"},
        {"format 2", header(2, 0, 96), "format 2 is not supported"},
        {"division 0", header(0, 0, 0), "time division is 0"},
        {"SMPTE 23 frames", header(0, 0, 0xE928), "SMPTE frame rate 23"},
    };
    for (const Case &c : cases) {
        try {
            parse(c.bytes);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const HostError &e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("test.mid: ", 0), 0u) << c.name << ": " << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
        }
    }
}

TEST(MidiFile, EveryTruncationIsReadOrRefusedSafely) {
    const Bytes full = sampleFile();
    for (size_t n = 0; n < full.size(); ++n) {
        // Both track lengths now claim more than is there, or the header is cut.
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(parse(cut), HostError) << "cut at " << n;
    }
}

#ifdef QZ_HAVE_LIBSMF
// Files written here with a simple generator: several tracks, tempo changes,
// running status and note-on with velocity 0.
Bytes generated(uint32_t seed, int tracks, int division) {
    uint32_t state = seed;
    const auto next = [&state](uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    Bytes file = header(1, tracks, division);
    for (int t = 0; t < tracks; ++t) {
        Bytes body;
        if (t == 0) {
            for (int k = 0; k < 4; ++k) append(body, tempo(next(2000), 300000 + next(700000)));
        } else {
            uint8_t running = 0;
            for (int k = 0; k < 60; ++k) {
                append(body, vlq(next(300)));
                const auto status = static_cast<uint8_t>((next(2) ? 0x90 : 0x80) | (t & 0x0F));
                if (status != running) body.push_back(status);
                running = status;
                body.push_back(static_cast<uint8_t>(30 + next(60)));
                body.push_back(static_cast<uint8_t>(next(128)));
            }
        }
        append(body, kEnd);
        append(file, chunk("MTrk", body));
    }
    return file;
}

TEST(MidiFile, AgreesWithASecondReaderOnNoteTimes) {
    const std::tuple<uint32_t, int, int> files[] = {{1, 2, 480}, {7, 4, 96}, {99, 3, 960}};
    for (const auto &[seed, tracks, division] : files) {
        const Bytes bytes = generated(seed, tracks, division);
        const MidiFile ours = parse(bytes);
        using Note = std::tuple<long long, int, int, int>; // microseconds, status, data
        std::vector<Note> mine, theirs;
        for (const auto &e : ours.events)
            mine.emplace_back(std::llround(ours.tickToSeconds(e.tick) * 1e6), e.status, e.data1, e.data2);
        smf_t *smf = smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size()));
        ASSERT_NE(smf, nullptr) << "seed " << seed;
        while (smf_event_t *e = smf_get_next_event(smf)) {
            if (smf_event_is_metadata(e) || e->midi_buffer_length < 3) continue;
            theirs.emplace_back(std::llround(e->time_seconds * 1e6), e->midi_buffer[0], e->midi_buffer[1],
                                e->midi_buffer[2]);
        }
        smf_delete(smf);
        std::sort(mine.begin(), mine.end());
        std::sort(theirs.begin(), theirs.end());
        // The second reader sums seconds in floating point: allow 2 us.
        ASSERT_EQ(mine.size(), theirs.size()) << "seed " << seed;
        for (size_t i = 0; i < mine.size(); ++i) {
            const auto [t1, s1, a1, b1] = mine[i];
            const auto [t2, s2, a2, b2] = theirs[i];
            EXPECT_LE(std::llabs(t1 - t2), 2) << "seed " << seed << " event " << i;
            EXPECT_EQ(std::make_tuple(s1, a1, b1), std::make_tuple(s2, a2, b2)) << "seed " << seed << " event " << i;
        }
    }
}
#endif

} // namespace
#endif
