#include "authorization_labels.h"

#include "platform.h"

namespace vantrel {

std::string labelForStatus(std::int64_t status) {
  switch (status) {
    case 0: return "not-determined";
    case 1: return "restricted";
    case 2: return "denied";
    case 3: return "full-access";
    case 4: return "add-events-only";
    default: return "unknown-" + std::to_string(status);
  }
}

std::string authorizationLabel() {
  return labelForStatus(platform::authorizationStatus());
}

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

bool canReadEvents() { return platform::authorizationStatus() == kFullAccess; }

}  // namespace vantrel
