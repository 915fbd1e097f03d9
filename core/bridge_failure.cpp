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

std::string description(AccessDenied denied) {
  return calendarAccessDeniedMessage(labelForStatus(denied.status));
}

std::optional<std::string> errorDescription(std::optional<std::string> error) {
  if (!error || error->empty()) return std::nullopt;
  for (std::size_t nul = error->find('\0'); nul != std::string::npos;
       nul = error->find('\0', nul)) {
    error->replace(nul, 1, "\uFFFD");
  }
  return error;
}

std::string failureText(const std::exception_ptr& failure) {
  constexpr const char* kUnknown = "Unknown error.";
  try {
    std::rethrow_exception(failure);
  } catch (BridgeFailure bridgeFailure) {
    return description(bridgeFailure);
  } catch (AccessDenied denied) {
    return description(denied);
  } catch (const std::exception& error) {
    // A failure must say something: at the boundaries an empty text reads as
    // no failure at all.
    return *error.what() != '\0' ? error.what() : kUnknown;
  } catch (...) {
    return kUnknown;
  }
}

}  // namespace vantrel
