#include "pin_info.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qz::host {

std::string trimmed(const std::string &s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

namespace {

std::vector<std::string> splitCommas(const std::string &s) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto comma = s.find(',', start);
        parts.push_back(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

// A whole decimal number and nothing else.
std::optional<double> parseNumber(const std::string &text) {
    const std::string t = trimmed(text);
    if (t.empty()) return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace

std::optional<double> numericLabel(const std::string &label) { return parseNumber(label); }

std::string dataTypeName(int32_t dataType) {
    switch (dataType) {
    case QZ_DT_ENUMERATION: return "enum";
    case QZ_DT_MIDI: return "midi";
    case QZ_DT_BOOLEAN: return "bool";
    case QZ_DT_STREAM: return "stream";
    case QZ_DT_FLOAT: return "float";
    case QZ_DT_INTEGER: return "int";
    default: return "type " + std::to_string(dataType);
    }
}

PinInfo makePinInfo(int32_t descriptionIndex, const QzPinDescription &d) {
    PinInfo p;
    p.descriptionIndex = descriptionIndex;
    p.label = d.name != nullptr ? d.name : "";
    p.direction = d.direction;
    p.dataType = d.dataType;
    p.defaultText = d.defaultValue != nullptr ? d.defaultValue : "";
    p.extraText = d.datatypeExtra != nullptr ? d.datatypeExtra : "";
    p.flags = d.flags;
    p.hasVariable = d.variable != nullptr;

    if (p.dataType == QZ_DT_ENUMERATION && !p.extraText.empty()) {
        if (p.extraText.rfind("range ", 0) == 0) {
            const auto bounds = splitCommas(p.extraText.substr(6));
            if (bounds.size() == 2) {
                const auto a = parseNumber(bounds[0]);
                const auto b = parseNumber(bounds[1]);
                if (a && b && *a == std::floor(*a) && *b == std::floor(*b) && std::fabs(*a) < 32768.0 &&
                    std::fabs(*b) < 32768.0) {
                    p.isRange = true;
                    p.rangeMin = static_cast<int32_t>(std::fmin(*a, *b));
                    p.rangeMax = static_cast<int32_t>(std::fmax(*a, *b));
                }
            }
        } else {
            p.labels = splitCommas(p.extraText);
        }
    } else if (p.dataType == QZ_DT_STREAM && !p.extraText.empty()) {
        const auto parts = splitCommas(p.extraText);
        std::vector<double> numbers;
        for (const auto &part : parts) {
            const auto v = parseNumber(part);
            if (!v) {
                numbers.clear();
                break;
            }
            numbers.push_back(*v);
        }
        if (numbers.size() == 4) {
            p.hasControl = true;
            p.controlNumbers = numbers;
            p.controlMin = std::fmin(numbers[0], numbers[1]);
            p.controlMax = std::fmax(numbers[0], numbers[1]);
        }
    }
    return p;
}

} // namespace qz::host

namespace qz::host {
double defaultInputValue(const PinInfo &pin) {
    const auto v = numericLabel(pin.defaultText);
    if (!v) return 0.0;
    if (pin.dataType == QZ_DT_STREAM && pin.hasControl) return *v / 10.0;
    return *v;
}
} // namespace qz::host
