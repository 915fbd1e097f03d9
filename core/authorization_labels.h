// Authorization labels, the bundle identity, and the user-facing denial message,
// which says where in System Settings to grant access and differs for the
// development build of Electron.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// "not-determined", "restricted", "denied", "full-access", "add-events-only",
// or "unknown-" and the value.
std::string labelForStatus(std::int64_t status);

// The label of the status as it is now (one status query).
std::string authorizationLabel();

// The bundle identifier of the running process, or "unknown".
std::string currentBundleId();

bool isDevelopmentElectronIdentity(std::string_view identifier);

// The denial message for `label` and the current bundle identity.
std::string calendarAccessDeniedMessage(std::string_view label);

// True exactly when the status is full access (one status query).
bool canReadEvents();

constexpr std::int64_t kFullAccess = 3;

}  // namespace vantrel
