#pragma once

#include <stdexcept>
#include <string>
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

    // Adds `line`; throws LogError naming the place and the reason when it cannot,
    // leaving nothing of the line behind.
    virtual void append(std::string_view line) = 0;
    // Puts every line appended so far on the disk, so that a power cut cannot take it;
    // throws LogError when it cannot.
    virtual void sync() = 0;
    // Throws LogError, as append() would, when a line could not be appended now; adds nothing.
    virtual void checkAppendable() const = 0;
    // The place as the technician knows it, for messages.
    virtual std::string location() const = 0;
};

}  // namespace splicerec
