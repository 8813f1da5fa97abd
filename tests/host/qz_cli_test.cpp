// The qz command: exit codes and messages for bad input, an output file
// replaced only by a render that succeeded, and a render through the probe.
#if defined(QZ_NO_HOST) || defined(QZ_NO_CLI)
#include <gtest/gtest.h>
TEST(QzCommand, NeedsTheTools) { GTEST_SKIP() << "built without the qz command"; }
#else
#include "qz_cli.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class QzCommand : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qz_cli_test_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        write("probe.json", R"({"modules": {"p": {"plugin": "QZ_FakeProbe", "settings": {"Signal In": 5}}},
                               "inputs": {"gate": []}, "output": "p.Signal Out"})");
        write("bad.json", R"({"modules": {"p": {"plugin": "QZ_FakeProbe"}}, "output": "p.Volume"})");
        write("corrupt.mid", "MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\1\0", 22);
        write("keep.wav", "keep me");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string &name, const char *text, size_t n = std::string::npos) {
        std::ofstream(dir_ / name, std::ios::binary).write(text, static_cast<std::streamsize>(n == std::string::npos ? std::strlen(text) : n));
    }
    std::string path(const std::string &name) const { return (dir_ / name).string(); }
    std::string read(const std::string &name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs qz with these arguments; the plug-ins are the probe's folder.
    int qz(std::vector<std::string> args, std::string *errors = nullptr) {
        args.insert(args.begin(), "qz");
        if (args.size() > 1 && (args[1] == "render" || args[1] == "info")) {
            args.push_back("--plugins");
            args.push_back(QZ_FAKE_DIR);
        }
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        const int code = qz::cli::run(static_cast<int>(argv.size()), argv.data());
        const std::string err = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        if (errors != nullptr) *errors = err;
        return code;
    }
    fs::path dir_;
};

TEST_F(QzCommand, BadInputExitsWithTwoAndNamesTheProblem) {
    struct Case {
        const char *name;
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"missing patch", {"render", path("none.json"), "-o", path("x.wav")}, "cannot read patch " + path("none.json")},
        {"bad pin in the patch", {"render", path("bad.json"), "-o", path("x.wav")}, "output: QZ_FakeProbe has no pin \"Volume\""},
        {"corrupt MIDI", {"render", path("probe.json"), "--midi", path("corrupt.mid"), "-o", path("x.wav")},
         "corrupt.mid: corrupt MIDI file: chunk at byte 14: length 256 runs past the end"},
        {"unwritable output", {"render", path("probe.json"), "-o", "/nonexistent/dir/x.wav"}, "cannot write output /nonexistent/dir/x.wav"},
        {"unknown extension", {"render", path("probe.json"), "-o", path("x.mp3")}, "unknown file type \".mp3\""},
        {"FLAC in float", {"render", path("probe.json"), "-o", path("x.flac"), "--format", "float"}, "FLAC holds s16 or s24"},
        {"bad format", {"render", path("probe.json"), "-o", path("x.wav"), "--format", "s8"}, "--format s8"},
        {"zero block", {"render", path("probe.json"), "-o", path("x.wav"), "--block", "0"}, "--block 0"},
        {"unknown option", {"render", "--loud"}, "--loud"},
        {"unknown plug-in for info", {"info", "QZ_Nothing"}, "unknown plug-in QZ_Nothing"},
    };
    for (const Case &c : cases) {
        std::string errors;
        EXPECT_EQ(qz(c.args, &errors), 2) << c.name;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.name << ": " << errors;
    }
    EXPECT_FALSE(fs::exists(dir_ / "x.wav")) << "no file from a failed render";
}

TEST_F(QzCommand, ReplacesAnOutputOnlyWhenTheRenderSucceeded) {
    EXPECT_EQ(qz({"render", path("probe.json"), "--midi", path("corrupt.mid"), "-o", path("keep.wav")}), 2);
    EXPECT_EQ(read("keep.wav"), "keep me");
    ASSERT_EQ(qz({"render", path("probe.json"), "-o", path("keep.wav"), "-q", "--tail", "0.5", "--format", "float"}), 0);
    SF_INFO info{};
    SNDFILE *f = sf_open(path("keep.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 1);
    // The built-in phrase ends at 5.5 s; then half a second of tail.
    EXPECT_EQ(info.frames, 6 * 44100);
    std::vector<float> samples(static_cast<size_t>(info.frames));
    sf_readf_float(f, samples.data(), info.frames);
    sf_close(f);
    // The probe never sleeps: its voice stays busy and sums (0.5 + 1) per voice.
    EXPECT_FLOAT_EQ(samples[100], 1.5f) << "one voice after the first note";
    for (const auto &entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".keep.wav."), std::string::npos) << "temporary left behind";
}

TEST_F(QzCommand, InfoShowsThePinTable) {
    testing::internal::CaptureStdout();
    std::vector<std::string> args = {"qz", "info", std::string(QZ_FAKE_DIR) + "/QZ_FakeProbe.so"};
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    EXPECT_EQ(qz::cli::run(static_cast<int>(argv.size()), argv.data()), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("QZ_FakeProbe"), std::string::npos) << out;
    EXPECT_NE(out.find("control 0 to 99 (holds control / 10)"), std::string::npos) << out;
    EXPECT_NE(out.find("list Pass, Sleep, Event"), std::string::npos) << out;
    EXPECT_NE(out.find("[panel]"), std::string::npos) << out;
}

} // namespace
#endif
