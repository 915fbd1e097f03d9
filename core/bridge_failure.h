// The core's failures. Inside the core an operation returns its whole result or
// throws: a BridgeFailure case, or a PlatformError passed on unchanged. At every
// boundary a failure becomes its text, through failureText.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace vantrel {

enum class BridgeFailure { invalidArguments, accessDenied, accessTimedOut };

// The user-facing text. For accessDenied it is built now, from the authorization
// status and bundle identity of this moment, not of when the failure was raised.
std::string description(BridgeFailure failure);

// An error reported by the platform; what() is the platform's description.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of a caught failure: a BridgeFailure's description, a PlatformError's
// own text, or the message of any other exception.
std::string failureText(const std::exception_ptr& failure);

}  // namespace vantrel
