#include "tree/error.h"

#include <cstring>

namespace tvconv::tree {

std::string Error::message() const {
    if (errnum_ == 0) return what_;
    if (what_.empty()) return std::strerror(errnum_);
    return what_ + ": " + std::strerror(errnum_);
}

}  // namespace tvconv::tree
