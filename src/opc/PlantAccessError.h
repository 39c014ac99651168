#pragma once
// The error the plant connection raises; its text is what the user reads.
#include <stdexcept>

namespace halvetra {

class PlantAccessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace halvetra
