// The record layout of this target, checked when abi_layout_check.cpp
// compiles; this test also proves the check is linked into the suite.
#include "qz_abi.h"

#include <gtest/gtest.h>

extern "C" int qz_abi_layout_pointer_bytes();
extern "C" int qz_abi_header_check();

TEST(AbiLayout, ChecksAreCompiledForThisTarget) {
    EXPECT_EQ(qz_abi_layout_pointer_bytes(), static_cast<int>(sizeof(void *)));
    EXPECT_EQ(qz_abi_header_check(), static_cast<int>(sizeof(QzModuleRecord)) + 1);
#if UINTPTR_MAX == 0xFFFFFFFFu
    EXPECT_EQ(sizeof(QzModuleRecord), 48u);
    EXPECT_EQ(sizeof(QzGuiRecord), 40u);
    EXPECT_EQ(sizeof(QzPinDescription), 32u);
    EXPECT_EQ(sizeof(QzModuleEvent), 24u);
    EXPECT_EQ(sizeof(QzModuleProperties), 24u);
#endif
}
