#include "midi_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace qz::host {

namespace {

// Ticks beyond this (about 2^40) are taken as a corrupt delta time.
constexpr uint64_t kMaxTick = uint64_t{1} << 40;

std::string hex(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFFu);
    return text;
}

class Reader {
public:
    Reader(const uint8_t *data, size_t size, std::string where) : data_(data), size_(size), where_(std::move(where)) {}
    [[noreturn]] void fail(size_t at, const std::string &what) const {
        throw HostError(where_ + "at byte " + std::to_string(at) + ": " + what);
    }
    size_t left(size_t pos, size_t end) const { return pos < end ? end - pos : 0; }
    uint8_t byte(size_t &pos, size_t end, const char *what) const {
        if (pos >= end) fail(pos, std::string("the data ends inside ") + what);
        return data_[pos++];
    }
    uint32_t number(size_t &pos, size_t end, const char *what) const {
        const size_t start = pos;
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = byte(pos, end, what);
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0) return value;
        }
        fail(start, std::string(what) + " is longer than 4 bytes");
    }

private:
    const uint8_t *data_;
    size_t size_;
    std::string where_;
};

uint32_t be32(const uint8_t *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

} // namespace

MidiFile MidiFile::parse(const uint8_t *data, size_t size, const std::string &origin) {
    const std::string at = origin + ": corrupt MIDI file: ";
    MidiFile file;
    if (data == nullptr || size < 14) throw HostError(at + "too short for a header (" + std::to_string(size) + " bytes)");
    if (std::string(reinterpret_cast<const char *>(data), 4) != "MThd") throw HostError(at + "no MThd header at the start");
    const uint32_t headerLength = be32(data + 4);
    if (headerLength < 6) throw HostError(at + "header length " + std::to_string(headerLength) + " is below 6");
    if (headerLength > size - 8)
        throw HostError(at + "header length " + std::to_string(headerLength) + " runs past the end of the file");
    file.format = be16(data + 8);
    file.trackCount = be16(data + 10);
    file.division = be16(data + 12);
    if (file.format > 1)
        throw HostError(origin + ": MIDI format " + std::to_string(file.format) + " is not supported (only 0 and 1)");
    if (file.division == 0) throw HostError(at + "the time division is 0");
    if ((file.division & 0x8000) != 0) {
        const int fps = -static_cast<int8_t>(file.division >> 8);
        if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
            throw HostError(at + "SMPTE frame rate " + std::to_string(fps) + " is not 24, 25, 29 or 30");
        if ((file.division & 0xFF) == 0) throw HostError(at + "SMPTE division with 0 ticks per frame");
    }

    size_t pos = 8 + headerLength;
    int32_t found = 0;
    std::vector<TempoChange> tempos;
    while (found < file.trackCount) {
        if (pos + 8 > size) {
            throw HostError(at + "the header announces " + std::to_string(file.trackCount) +
                            " tracks but the file holds " + std::to_string(found));
        }
        const std::string id(reinterpret_cast<const char *>(data + pos), 4);
        const uint32_t length = be32(data + pos + 4);
        if (length > size - pos - 8)
            throw HostError(at + "chunk at byte " + std::to_string(pos) + ": length " + std::to_string(length) +
                            " runs past the end of the file (" + std::to_string(size - pos - 8) + " bytes left)");
        const size_t begin = pos + 8;
        const size_t end = begin + length;
        pos = end;
        if (id != "MTrk") continue; // an unknown chunk: skipped

        const int32_t track = found++;
        const Reader r(data, size, at + "track " + std::to_string(track) + " ");
        uint64_t tick = 0;
        uint8_t running = 0;
        size_t p = begin;
        while (p < end) {
            tick += r.number(p, end, "a delta time");
            if (tick > kMaxTick) r.fail(p, "the track runs past 2^40 ticks");
            const size_t eventStart = p;
            const uint8_t first = r.byte(p, end, "an event");
            if (first == 0xFF) {
                const uint8_t type = r.byte(p, end, "a meta event");
                const uint32_t len = r.number(p, end, "a meta event length");
                if (len > r.left(p, end))
                    r.fail(eventStart, "meta event length " + std::to_string(len) + " runs past the end of the track (" +
                                           std::to_string(r.left(p, end)) + " bytes left)");
                if (type == 0x51) {
                    if (len != 3) r.fail(eventStart, "tempo event of length " + std::to_string(len) + " (not 3)");
                    const uint32_t micros = (uint32_t{data[p]} << 16) | (uint32_t{data[p + 1]} << 8) | data[p + 2];
                    if (micros == 0) r.fail(eventStart, "tempo of 0 microseconds per quarter note");
                    tempos.push_back({tick, micros});
                }
                p += len;
                running = 0;
                file.lastTick = std::max(file.lastTick, tick);
                if (type == 0x2F) break; // end of track
                continue;
            }
            if (first == 0xF0 || first == 0xF7) {
                const uint32_t len = r.number(p, end, "a system-exclusive length");
                if (len > r.left(p, end))
                    r.fail(eventStart, "system-exclusive length " + std::to_string(len) +
                                           " runs past the end of the track (" + std::to_string(r.left(p, end)) +
                                           " bytes left)");
                p += len;
                running = 0;
                continue;
            }
            uint8_t status = first;
            if (first < 0x80) {
                if (running == 0) r.fail(eventStart, "data byte " + hex(first) + " with no running status");
                status = running;
                --p; // the byte is the first data byte
            } else if (first >= 0xF0) {
                r.fail(eventStart, "status byte " + hex(first) + " does not belong in a MIDI file");
            }
            running = status;
            const int type = status & 0xF0;
            const int count = (type == 0xC0 || type == 0xD0) ? 1 : 2;
            uint8_t d[2] = {0, 0};
            for (int i = 0; i < count; ++i) {
                d[i] = r.byte(p, end, "a channel message");
                if (d[i] >= 0x80) r.fail(p - 1, "data byte " + hex(d[i]) + " has its top bit set");
            }
            file.events.push_back({tick, track, status, d[0], d[1]});
            file.lastTick = std::max(file.lastTick, tick);
        }
    }
    std::stable_sort(file.events.begin(), file.events.end(), [](const MidiFileEvent &a, const MidiFileEvent &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.track < b.track;
    });
    std::stable_sort(tempos.begin(), tempos.end(), [](const TempoChange &a, const TempoChange &b) { return a.tick < b.tick; });
    file.tempos.push_back({0, 500000});
    for (const TempoChange &t : tempos) {
        if (t.tick == file.tempos.back().tick) file.tempos.back() = t;
        else file.tempos.push_back(t);
    }
    return file;
}

MidiFile MidiFile::loadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError("cannot read MIDI file " + path);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw HostError("cannot read MIDI file " + path);
    return parse(bytes.data(), bytes.size(), path);
}

int64_t MidiFile::tickToSample(uint64_t tick, uint32_t sampleRate) const {
    __extension__ typedef unsigned __int128 Wide;
    if ((division & 0x8000) != 0) {
        const int fps = -static_cast<int8_t>(division >> 8);
        const uint32_t perFrame = static_cast<uint32_t>(division & 0xFF);
        // 29 stands for 30000/1001 frames a second.
        const Wide num = Wide{tick} * sampleRate * (fps == 29 ? 1001u : 1u);
        const Wide den = Wide{perFrame} * (fps == 29 ? 30000u : static_cast<uint32_t>(fps));
        return static_cast<int64_t>(num / den);
    }
    // Sum of ticks × microseconds per quarter over the tempo segments, then
    // one division: samples = sum × rate / (ticks per quarter × 10^6).
    Wide sum = 0;
    for (size_t i = 0; i < tempos.size(); ++i) {
        const uint64_t from = tempos[i].tick;
        if (tick <= from) break;
        const uint64_t to = i + 1 < tempos.size() ? std::min(tick, tempos[i + 1].tick) : tick;
        sum += Wide{to - from} * tempos[i].microsPerQuarter;
    }
    return static_cast<int64_t>(sum * sampleRate / (Wide{static_cast<uint32_t>(division)} * 1000000u));
}

double MidiFile::tickToSeconds(uint64_t tick) const {
    if ((division & 0x8000) != 0) {
        const int fps = -static_cast<int8_t>(division >> 8);
        const double frames = fps == 29 ? 30000.0 / 1001.0 : fps;
        return static_cast<double>(tick) / (frames * (division & 0xFF));
    }
    double seconds = 0.0;
    for (size_t i = 0; i < tempos.size(); ++i) {
        const uint64_t from = tempos[i].tick;
        if (tick <= from) break;
        const uint64_t to = i + 1 < tempos.size() ? std::min(tick, tempos[i + 1].tick) : tick;
        seconds += static_cast<double>(to - from) * tempos[i].microsPerQuarter / (1.0e6 * division);
    }
    return seconds;
}

} // namespace qz::host
