#include "standin_permission_state.h"

#include <atomic>

namespace vantrel::standin {

// An inline variable of default visibility is a unique symbol (STB_GNU_UNIQUE):
// the dynamic loader binds every copy of it in the process to one definition,
// even in modules loaded apart (RTLD_LOCAL). Constant-initialised, so no copy
// initialises it again; the module exports it by its C name, and stays loaded.
extern "C" {
[[gnu::visibility("default")]] inline constinit std::atomic<PermissionState*>
    vantrel_standin_permission_state_v2{nullptr};
}

PermissionState& permissionState() {
  auto& shared = vantrel_standin_permission_state_v2;
  PermissionState* state = shared.load(std::memory_order_acquire);
  if (state != nullptr) return *state;
  auto* made = new PermissionState;
  if (shared.compare_exchange_strong(state, made, std::memory_order_acq_rel)) return *made;
  delete made;  // another copy or thread was first
  return *state;
}

}  // namespace vantrel::standin
