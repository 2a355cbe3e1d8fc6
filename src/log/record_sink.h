#pragma once

#include <stdexcept>
#include <string_view>

namespace splicerec {

class LogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the record handler keeps each record line.
class RecordSink {
public:
    virtual ~RecordSink() = default;

    // Keeps `line` for good before it returns; throws LogError naming the place and the
    // reason when it cannot, leaving nothing of the line behind.
    virtual void append(std::string_view line) = 0;
};

}  // namespace splicerec
