#include "authorization_labels.h"

namespace vantrel {

AuthorizationStatus currentAuthorizationStatus() {
  return AuthorizationStatus{platform::authorizationStatus()};
}

std::string labelForStatus(AuthorizationStatus status) {
  switch (status) {
    case AuthorizationStatus::notDetermined: return "not-determined";
    case AuthorizationStatus::restricted: return "restricted";
    case AuthorizationStatus::denied: return "denied";
    case AuthorizationStatus::fullAccess: return "full-access";
    case AuthorizationStatus::addEventsOnly: return "add-events-only";
  }
  return "unknown-" + std::to_string(static_cast<std::int64_t>(status));
}

std::string authorizationLabel() { return labelForStatus(currentAuthorizationStatus()); }

std::string currentBundleId() {
  return platform::mainBundleIdentifier().value_or("unknown");
}

bool isDevelopmentElectronIdentity(std::string_view identifier) {
  return identifier == "com.github.Electron" || identifier == "Electron";
}

std::string calendarAccessDeniedMessage(std::string_view label) {
  std::string message = "Calendar access was not granted (";
  if (isDevelopmentElectronIdentity(currentBundleId())) {
    message += label;
    message +=
        "). This window is the development Electron app, not the packaged "
        "Tavimo app. Permission for Tavimo.app does not apply here. Open Tavimo "
        "from Applications, or enable Full Access on the Electron row in System "
        "Settings \u2192 Privacy & Security \u2192 Calendars.";
  } else if (label == "not-determined") {
    message +=
        "not-determined). Approve the macOS Calendar dialog for the Tavimo "
        "window that is running, or enable Full Access on that same copy in "
        "System Settings \u2192 Privacy & Security \u2192 Calendars. Extra Tavimo "
        "rows are leftover copies and do not grant this one.";
  } else {
    message += label;
    message +=
        "). In System Settings \u2192 Privacy & Security \u2192 Calendars, turn "
        "Tavimo on and enable Full Access, then try Connect again.";
  }
  return message;
}

bool canReadEvents() { return currentAuthorizationStatus() == AuthorizationStatus::fullAccess; }

AccessBeforeAsking accessBeforeAsking() {
  AuthorizationStatus status = currentAuthorizationStatus();
  if (status == AuthorizationStatus::fullAccess) return {AccessDecision::granted, status};
  status = currentAuthorizationStatus();
  if (status == AuthorizationStatus::restricted || status == AuthorizationStatus::denied) {
    return {AccessDecision::refused, status};
  }
  return {AccessDecision::ask, status};
}

}  // namespace vantrel
