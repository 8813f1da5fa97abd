// host_error.h: the one error type of the host. Its text names the problem
// and where it was found, ready to show to a person.
#pragma once

#include <stdexcept>
#include <string>

namespace qz::host {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace qz::host
