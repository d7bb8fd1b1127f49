// The exception the database access layer raises: a provider's error code and its message text.
#pragma once

#include <stdexcept>
#include <string>

class CADOException : public std::runtime_error {
  public:
    CADOException(long code, const std::string& message)
        : std::runtime_error(message), code_(code) {}

    // The provider's error code (0 when it gave none).
    long GetError() const { return code_; }
    // The readable message, as shown to the user and written to the log.
    std::string GetErrorMessage() const { return what(); }

  private:
    long code_;
};
