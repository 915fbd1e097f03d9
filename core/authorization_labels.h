// Authorization labels, the bundle identity, and the user-facing denial message,
// which says where in System Settings to grant access and differs for the
// development build of Electron.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform.h"

namespace vantrel {

using platform::AuthorizationStatus;

// The status as it is now: one query, never cached.
AuthorizationStatus currentAuthorizationStatus();

// "not-determined", "restricted", "denied", "full-access", "add-events-only",
// or "unknown-" and the value.
std::string labelForStatus(AuthorizationStatus status);

// The label of the status as it is now (one status query).
std::string authorizationLabel();

// The bundle identifier of the running process, or "unknown".
std::string currentBundleId();

bool isDevelopmentElectronIdentity(std::string_view identifier);

// The denial message for `label` and the current bundle identity.
std::string calendarAccessDeniedMessage(std::string_view label);

// True exactly when the status is full access (one status query).
bool canReadEvents();

// What an access request does before it asks the user, from the status of
// this moment: the gate and the exported request decide alike. Full access at
// the first query grants; restricted or denied at a second refuses, and no
// dialog is shown; anything else asks.
enum class AccessDecision { granted, refused, ask };
struct AccessBeforeAsking {
  AccessDecision decision;
  AuthorizationStatus status;  // the one decided on
};
AccessBeforeAsking accessBeforeAsking();

}  // namespace vantrel
