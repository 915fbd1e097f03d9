#include "access_gate.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "authorization_labels.h"
#include "bridge_failure.h"
#include "snapshot_reader.h"

namespace vantrel {

namespace {

// Shared by the waiter and the completion, which may outlive the wait. No lock:
// `finished` is the hand-over point, stored with release after the two other
// cells and loaded with acquire before they are read.
struct AccessRequestCells {
  std::atomic<bool> claimed{false};
  bool granted = false;
  std::optional<std::string> error;
  std::atomic<bool> finished{false};
};

}  // namespace

AuthorizationStatus awaitFullAccessAfterGrant() {
  const double deadline = platform::now() + kGrantSettleTimeLimit;
  while (true) {
    const AuthorizationStatus status = currentAuthorizationStatus();
    if (status == AuthorizationStatus::fullAccess || platform::now() > deadline) return status;
    platform::runLoopStep(kAccessWaitStep);
  }
}

bool waitForAccessRequest(const std::function<void(platform::AccessCompletion)>& start) {
  auto cells = std::make_shared<AccessRequestCells>();
  start([cells](bool granted, std::optional<std::string> error) {
    // A platform that answered twice would write cells the waiter is reading.
    if (cells->claimed.exchange(true, std::memory_order_relaxed)) return;
    cells->granted = granted;
    cells->error = errorDescription(std::move(error));
    cells->finished.store(true, std::memory_order_release);
  });
  const double deadline = platform::now() + kAccessRequestTimeLimit;

  if (!cells->finished.load(std::memory_order_acquire)) {
    while (true) {
      if (platform::now() > deadline) throw BridgeFailure::accessTimedOut;
      platform::runLoopStep(kAccessWaitStep);
      if (cells->finished.load(std::memory_order_acquire)) break;
    }
  }
  if (cells->error) throw PlatformError(*cells->error);
  return cells->granted;
}

void requestCalendarAccess(const platform::StoreRef& store) {
  const AccessBeforeAsking before = accessBeforeAsking();
  switch (before.decision) {
    case AccessDecision::granted:
      return;
    case AccessDecision::refused:
      throw AccessDenied{before.status};
    case AccessDecision::ask:
      break;
  }

  const bool granted = waitForAccessRequest([&store](platform::AccessCompletion completion) {
    platform::requestFullAccess(store, std::move(completion));
  });
  if (granted) {
    // Should the status never show the grant, the reader refuses with the
    // status it then reads.
    awaitFullAccessAfterGrant();
    return;
  }
  const AuthorizationStatus answered = currentAuthorizationStatus();
  if (answered == AuthorizationStatus::fullAccess) return;
  throw AccessDenied{answered};
}

BridgeSnapshot snapshot(platform::Instant start, platform::Instant end) {
  {
    const platform::StoreRef store = platform::newStore();
    requestCalendarAccess(store);
  }
  return readAuthorizedSnapshot(start, end);
}

}  // namespace vantrel
