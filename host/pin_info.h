// pin_info.h: a pin description as the host reads it, with its extra text
// parsed into the form the host's controls use.
#pragma once

#include "qz_abi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qz::host {

struct PinInfo {
    int32_t descriptionIndex = 0; // position in the plug-in's description list
    std::string label;
    int32_t direction = QZ_DIR_IN;
    int32_t dataType = QZ_DT_STREAM;
    std::string defaultText;     // empty when the plug-in gives none
    std::string extraText;       // range, label list or control numbers, as given
    int32_t flags = 0;
    bool hasVariable = false;    // the description points at a module field

    // Enumeration: either a value range ("range a,b") or a label list.
    bool isRange = false;
    int32_t rangeMin = 0, rangeMax = 0;
    std::vector<std::string> labels;

    // Stream: the four control numbers, when given. The control shows
    // controlMin..controlMax and the pin holds the control value / 10.
    bool hasControl = false;
    double controlMin = 0.0, controlMax = 0.0;
    std::vector<double> controlNumbers;

    bool isInput() const { return direction == QZ_DIR_IN; }
    bool guiSide() const { return (flags & QZ_PIN_GUI_SIDE) != 0; }
    bool keptByProcessing() const { return !guiSide() || (flags & QZ_PIN_BOTH_SIDES) != 0; }
    bool guiLink() const { return (flags & QZ_PIN_GUI_LINK) == QZ_PIN_GUI_LINK; }
};

// Fills the parsed fields from the raw texts. Unparsable extra texts leave
// the pin without a range or control, which the host shows as given.
PinInfo makePinInfo(int32_t descriptionIndex, const QzPinDescription &d);

// "enum", "midi", "bool", "stream", "float", "int" or "type N".
std::string dataTypeName(int32_t dataType);

// The numeric value of a label such as "+3", "-7" or "10"; none for "x0.5".
std::optional<double> numericLabel(const std::string &label);

// Leading and trailing blanks removed.
std::string trimmed(const std::string &s);

} // namespace qz::host

namespace qz::host {
// The value an unwired input starts with: its default text, on a Stream
// control in control units (so "99" on "99,0,99,0" gives 9.9); 0 without one.
double defaultInputValue(const PinInfo &pin);
} // namespace qz::host
