#include "vantrel_host.h"

#include "platform.h"

extern "C" {

int vantrel_on_main_thread(void) {
  try {
    return vantrel::platform::onMainThread() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void vantrel_turn_main_run_loop(void) {
  try {
    vantrel::platform::turnMainRunLoop();
  } catch (...) {
    // A turn that failed is tried again at the next one.
  }
}

}  // extern "C"
