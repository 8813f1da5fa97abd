// Record layout, checked at compile time on every target, also those that
// cannot run here: on 32-bit targets exactly the host platform's sizes and
// offsets; elsewhere the same field order with natural alignment and 8-byte
// pointers. Compiled into every build, with or without tests.
#include "qz_abi.h"

#include <cstddef>

namespace {

constexpr size_t P = sizeof(void *);
constexpr size_t alignUp(size_t n, size_t a) { return (n + a - 1) / a * a; }

// Offsets computed from the field order alone.
static_assert(offsetof(QzModuleProperties, name) == 0);
static_assert(offsetof(QzModuleProperties, uniqueId) == P);
static_assert(offsetof(QzModuleProperties, about) == 2 * P);
static_assert(offsetof(QzModuleProperties, flags) == 3 * P);
static_assert(offsetof(QzModuleProperties, guiFlags) == 3 * P + 4);
static_assert(offsetof(QzModuleProperties, frameworkVersion) == 3 * P + 8);

static_assert(offsetof(QzModuleRecord, magic) == 0);
static_assert(offsetof(QzModuleRecord, version) == 4);
static_assert(offsetof(QzModuleRecord, hostData) == 8);
static_assert(offsetof(QzModuleRecord, object) == 8 + P);
static_assert(offsetof(QzModuleRecord, reserved) == 8 + 2 * P);
static_assert(offsetof(QzModuleRecord, dispatcher) == alignUp(12 + 2 * P, P));
static_assert(offsetof(QzModuleRecord, subProcess) == alignUp(12 + 2 * P, P) + P);
static_assert(offsetof(QzModuleRecord, eventHandler) == alignUp(12 + 2 * P, P) + 2 * P);
static_assert(offsetof(QzModuleRecord, spare) == alignUp(12 + 2 * P, P) + 3 * P);
static_assert(sizeof(QzModuleRecord::spare) == 16);

static_assert(offsetof(QzGuiRecord, magic) == 0);
static_assert(offsetof(QzGuiRecord, version) == 4);
static_assert(offsetof(QzGuiRecord, dispatcher) == 8);
static_assert(offsetof(QzGuiRecord, hostData) == 8 + P);
static_assert(offsetof(QzGuiRecord, object) == 8 + 2 * P);
static_assert(offsetof(QzGuiRecord, spare) == 8 + 3 * P);
static_assert(sizeof(QzGuiRecord::spare) == 20);

static_assert(offsetof(QzPinDescription, variable) == 0);
static_assert(offsetof(QzPinDescription, direction) == P);
static_assert(offsetof(QzPinDescription, dataType) == P + 4);
static_assert(offsetof(QzPinDescription, name) == P + 8);
static_assert(offsetof(QzPinDescription, defaultValue) == 2 * P + 8);
static_assert(offsetof(QzPinDescription, datatypeExtra) == 3 * P + 8);
static_assert(offsetof(QzPinDescription, flags) == 4 * P + 8);
static_assert(offsetof(QzPinDescription, spare) == 4 * P + 12);

static_assert(offsetof(QzModuleEvent, timeStamp) == 0);
static_assert(offsetof(QzModuleEvent, kind) == 4);
static_assert(offsetof(QzModuleEvent, intParam1) == 8);
static_assert(offsetof(QzModuleEvent, intParam2) == 12);
static_assert(offsetof(QzModuleEvent, ptrParam) == 16);
static_assert(offsetof(QzModuleEvent, next) == 16 + P);
static_assert(sizeof(QzResult) == P);

static_assert(offsetof(QzWindowInfo, width) == 0 && offsetof(QzWindowInfo, height) == 4);

#if UINTPTR_MAX == 0xFFFFFFFFu
// The host platform's own figures.
static_assert(sizeof(QzModuleProperties) == 24);
static_assert(sizeof(QzModuleRecord) == 48);
static_assert(offsetof(QzModuleRecord, dispatcher) == 20);
static_assert(offsetof(QzModuleRecord, subProcess) == 24);
static_assert(offsetof(QzModuleRecord, eventHandler) == 28);
static_assert(offsetof(QzModuleRecord, spare) == 32);
static_assert(sizeof(QzGuiRecord) == 40);
static_assert(sizeof(QzPinDescription) == 32);
static_assert(sizeof(QzModuleEvent) == 24);
static_assert(sizeof(QzSubProcessInfo) == 16);
static_assert(sizeof(QzSubProcessDescriptor) == 16);
#else
static_assert(sizeof(QzModuleProperties) == 40);
static_assert(sizeof(QzModuleRecord) == 72);
static_assert(sizeof(QzGuiRecord) == 56);
static_assert(sizeof(QzPinDescription) == 48);
static_assert(sizeof(QzModuleEvent) == 32);
#endif

} // namespace

// Gives the object file a symbol, so that it is never empty.
extern "C" int qz_abi_layout_pointer_bytes() { return static_cast<int>(sizeof(void *)); }
