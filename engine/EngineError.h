#pragma once

#include <stdexcept>
#include <string>

namespace Exif {

// The one error type the engine throws. The message is UTF-8 text meant for the user
// (conversion errors name the value, e.g. "'1.2.3' is not a valid floating point value").
class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace Exif
