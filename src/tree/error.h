// The one way tvconv-tree's own code reports a failure: what failed, on
// which path, and the system's reason. A default Error is success.
#pragma once

#include <string>
#include <utility>

namespace tvconv::tree {

class [[nodiscard]] Error {
  public:
    Error() = default;
    // `what` is the message as printed ("cannot write"); `errnum` adds the
    // system's reason after ": " unless it is 0.
    Error(std::string what, std::string path, int errnum)
        : what_(std::move(what)), path_(std::move(path)), errnum_(errnum), failed_(true) {}
    // A failure with a message of its own and no system reason.
    static Error because(std::string what, std::string path = {}) {
        return Error(std::move(what), std::move(path), 0);
    }

    explicit operator bool() const { return failed_; }
    const std::string& what() const { return what_; }
    const std::string& path() const { return path_; }
    int errnum() const { return errnum_; }
    // "what: reason", byte for byte the text the reports print.
    std::string message() const;

  private:
    std::string what_, path_;
    int errnum_ = 0;
    bool failed_ = false;
};

}  // namespace tvconv::tree
