// Findings of the patch loader's fuzz target (fuzz/corpus/patch_fuzz/crash_*),
// replayed through the host library: a patch the loader cannot read ends in
// a HostError that names the patch, whatever is wrong with it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#if defined(QZ_HAVE_HOST)
#include "host_error.h"
#include "patch.h"

namespace {

struct BadPatch {
    const char *name;
    const char *text;
};

// Numbers beyond the range of a double are valid JSON syntax; the reader
// refuses them with an exception of its own, not a syntax error.
const BadPatch kBadPatches[] = {
    {"overflow_in_a_list", R"([1,{"modules":null},"\u0000",1e999])"},
    {"overflow_as_gain", R"({"gain":1e999,"modules":{"o":{"plugin":"QZ_OSC6_v1"}},"output":"o.Audio Out"})"},
    {"overflow_in_a_setting",
     R"({"modules":{"o":{"plugin":"QZ_OSC6_v1","settings":{"Algorithm":-1e400}}},"output":"o.Audio Out"})"},
    {"overflow_under_an_unknown_key", R"({"spare":[2e308],"modules":{}})"},
};

void PrintTo(const BadPatch &c, std::ostream *os) { *os << c.name; }

class PatchRegression : public ::testing::TestWithParam<BadPatch> {};

TEST_P(PatchRegression, EndsInAHostErrorNamingThePatch) {
    const BadPatch &c = GetParam();
    try {
        (void)qz::host::Patch::parse(c.text, "case.json");
        FAIL() << c.name << ": accepted";
    } catch (const qz::host::HostError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("case.json: ", 0), 0u) << c.name << ": " << e.what();
    } catch (const std::exception &e) {
        FAIL() << c.name << ": escaped as another exception: " << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Findings, PatchRegression, ::testing::ValuesIn(kBadPatches),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

#else

TEST(PatchRegression, NeedsTheDevelopmentHost) { GTEST_SKIP() << "the development host is not part of this build"; }

#endif
