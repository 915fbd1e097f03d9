// Asking macOS for full calendar access, waiting for its answer, and the
// permission gate through which the command-line program reads a snapshot.
#pragma once

#include <functional>

#include "authorization_labels.h"
#include "bridge_records.h"
#include "platform.h"

namespace vantrel {

// How long an access request may take, counted from just after it was issued.
inline constexpr double kAccessRequestTimeLimit = 30.0;
// How long one turn of the run loop may take while the answer is awaited.
inline constexpr double kAccessWaitStep = 0.05;

// How long, at most, the status may lag behind a granted answer: macOS has
// been seen to report not-determined for a while after the user allowed access.
inline constexpr double kGrantSettleTimeLimit = 2.0;

// After a granted answer: turns the calling thread's run loop in steps of
// kAccessWaitStep until the status reads full access, for at most
// kGrantSettleTimeLimit. Returns the last status it read.
AuthorizationStatus awaitFullAccessAfterGrant();

// Calls `start` once with a completion and turns the calling thread's run loop
// until that completion has run. Returns the granted flag it delivered; throws
// the error it delivered as PlatformError (even with granted true; one
// without a description counts as none), or
// BridgeFailure::accessTimedOut. The completion may run on any thread, also
// after this has given up: it keeps its own cells alive.
bool waitForAccessRequest(const std::function<void(platform::AccessCompletion)>& start);

// Returns when access may be used; asks for full access first unless the user
// has decided already, and after a grant waits for the status to show it.
// Throws AccessDenied, BridgeFailure::accessTimedOut, or
// the platform's error from the request.
void requestCalendarAccess(const platform::StoreRef& store);

// Settles access with a store of its own, releases it, then reads the range
// with readAuthorizedSnapshot, which checks for full access once more.
BridgeSnapshot snapshot(platform::Instant start, platform::Instant end);

}  // namespace vantrel
