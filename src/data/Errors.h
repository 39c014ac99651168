#pragma once
// The errors that end a command. Their texts are what the user reads in the
// message box that the main window shows for a failed command.
#include <stdexcept>
#include <string>

namespace halvetra {

class HalvetraError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that is not a number: "'%s' is not a valid floating point value",
// "'%s' is not a valid integer value".
class ConversionError : public HalvetraError {
public:
    using HalvetraError::HalvetraError;
};

// Access to a line or item that does not exist: "List index out of bounds (%d)".
class ListIndexError : public HalvetraError {
public:
    explicit ListIndexError(long long index)
        : HalvetraError("List index out of bounds (" + std::to_string(index) + ")") {}
};

// "Cannot open file %s", "Cannot create file %s", or a file the system refuses to read.
class FileError : public HalvetraError {
public:
    using HalvetraError::HalvetraError;
};

// "Floating point division by zero", "Invalid floating point operation".
class FloatingPointError : public HalvetraError {
public:
    using HalvetraError::HalvetraError;
};

}  // namespace halvetra
