// The core's failures. Inside the core an operation returns its whole result or
// throws: a BridgeFailure case, or a PlatformError (platform.h) passed on
// unchanged. At every boundary a failure becomes its text, through failureText.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "platform.h"

namespace vantrel {

enum class BridgeFailure { invalidArguments, accessDenied, accessTimedOut };

// The user-facing text. For accessDenied it is built now, from the authorization
// status and bundle identity of this moment, not of when the failure was raised.
std::string description(BridgeFailure failure);

// BridgeFailure::accessDenied as the core throws it: with the status access was
// refused under, so that its text names that label even when the status has
// changed by the time the text is made.
struct AccessDenied {
  platform::AuthorizationStatus status;
};

// The denial message for the refused status and the current bundle identity.
std::string description(AccessDenied denied);

// A platform error's description as a text that crosses the C interface whole:
// a NUL would cut it short there, so each becomes U+FFFD; an empty one says
// nothing, so it counts as none and the text used without an error stands in.
std::optional<std::string> errorDescription(std::optional<std::string> error);

// The text of a caught failure: a BridgeFailure's or AccessDenied's description, a PlatformError's
// own text, or the message of any other exception; never empty.
std::string failureText(const std::exception_ptr& failure);

}  // namespace vantrel
