#include "bridge_failure.h"

#include "authorization_labels.h"

namespace vantrel {

std::string description(BridgeFailure failure) {
  switch (failure) {
    case BridgeFailure::invalidArguments:
      return "Vantrel requires a start and end ISO date.";
    case BridgeFailure::accessDenied:
      return calendarAccessDeniedMessage(authorizationLabel());
    case BridgeFailure::accessTimedOut:
      return "macOS did not finish the Calendar permission request.";
  }
  return "Vantrel requires a start and end ISO date.";
}

std::string failureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (BridgeFailure bridgeFailure) {
    return description(bridgeFailure);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "Unknown error.";
  }
}

}  // namespace vantrel
