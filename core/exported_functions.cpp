// The C functions of tavimo_calendar.h. No exception may leave them: every
// failure becomes a text in the failure slot or the callback's message, and
// running out of memory becomes NULL.
#include "tavimo_calendar.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "access_gate.h"
#include "authorization_labels.h"
#include "bridge_failure.h"
#include "bridge_records.h"
#include "calendar_ids.h"
#include "iso_date.h"
#include "json_writer.h"
#include "platform.h"
#include "snapshot_reader.h"
#include "vantrel_host.h"

namespace vantrel {
namespace {

constexpr const char* kFallbackDiagnostics =
    R"({"status":"unknown","canRead":false,"bundleId":"unknown","executablePath":"unknown"})";

// A failure's text as a new C text; NULL when the failure is running out of
// memory, or no memory can be had for the text.
char* copyFailureText(const std::exception_ptr& failure) noexcept {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (...) {
  }
  try {
    return strdup(failureText(failure).c_str());
  } catch (...) {
    return nullptr;
  }
}

std::string executablePath() {
  if (auto path = platform::mainBundleExecutablePath()) return *path;
  std::vector<std::string> arguments = platform::processArguments();
  if (!arguments.empty()) return arguments.front();
  return "unknown";
}

// Runs a read of the range [startIso, endIso) of the calendars that
// `calendarIds` names (every one when it is NULL) behind the C contract: a
// text, or NULL and the failure's text in the slot.
template <class Read>
char* readRangeText(const char* startIso, const char* endIso, const char* calendarIds,
                    char** failureText, Read read) noexcept {
  try {
    const InstantRange range = parseRange(startIso, endIso);
    CalendarFilter filter;
    if (calendarIds != nullptr) filter = parseCalendarIds(calendarIds);
    char* json = read(range.start, range.end, filter);
    if (json == nullptr && failureText != nullptr) *failureText = nullptr;
    return json;
  } catch (...) {
    if (failureText != nullptr) *failureText = copyFailureText(std::current_exception());
  }
  return nullptr;
}

// One access request's callback and context. Whatever path reaches it first
// answers; every later attempt is dropped, so the caller hears exactly once.
class AccessRequest {
 public:
  AccessRequest(tavimo_calendar_access_callback callback, void* context)
      : callback_(callback), context_(context) {}

  void answer(bool granted, const char* message) noexcept {
    if (answered_.exchange(true)) return;
    callback_(granted ? 1 : 0, message, context_);
  }

  // Answers "not granted" with the failure's text (none when out of memory).
  void answerFailure(const std::exception_ptr& failure) noexcept {
    char* text = copyFailureText(failure);
    answer(false, text);
    std::free(text);
  }

 private:
  tavimo_calendar_access_callback callback_;
  void* context_;
  std::atomic<bool> answered_{false};
};

void answerFromStatus(AccessRequest& request, bool granted,
                      const std::optional<std::string>& error, bool mayWait = true) noexcept {
  try {
    const auto described = errorDescription(error);
    const AuthorizationStatus status = granted && !described && mayWait
                                           ? awaitFullAccessAfterGrant()
                                           : currentAuthorizationStatus();
    if (status == AuthorizationStatus::fullAccess) {
      request.answer(true, nullptr);
      return;
    }
    std::string message = described ? *described : description(AccessDenied{status});
    request.answer(granted, message.c_str());
  } catch (...) {
    request.answerFailure(std::current_exception());
  }
}

void requestAccess(const std::shared_ptr<AccessRequest>& request) {
  const AccessBeforeAsking before = accessBeforeAsking();
  switch (before.decision) {
    case AccessDecision::granted:
      request->answer(true, nullptr);
      return;
    case AccessDecision::refused: {
      const std::string message = description(AccessDenied{before.status});
      request->answer(false, message.c_str());
      return;
    }
    case AccessDecision::ask:
      break;
  }
  platform::activateApplication();
  platform::StoreRef store = platform::newStore();
  // The completion holds the store as well as the request, so that a store the
  // layer would otherwise drop stays alive until the answer has come.
  platform::requestFullAccess(
      store, [request, store](bool granted, std::optional<std::string> error) {
        // The grant wait below may take two seconds: never on the platform's
        // queue, which may carry the very status change waited for, nor on
        // the asking thread, which an answer given inside the request would
        // hold (a JavaScript thread, with no timer running meanwhile).
        try {
          platform::runOnOwnThread([request, store, granted, error] {
            answerFromStatus(*request, granted, error);
          });
        } catch (...) {
          // Without a thread to wait on, the answer is the one a wait that ran
          // out would give: what the store said, and the status as it reads now.
          answerFromStatus(*request, granted, error, false);
        }
      });
}

}  // namespace
}  // namespace vantrel

extern "C" {

char* tavimo_calendar_diagnostics(void) {
  using namespace vantrel;
  try {
    std::string status = authorizationLabel();
    bool canRead = canReadEvents();
    std::string bundleId = currentBundleId();
    BridgeDiagnostics diagnostics(std::move(status), canRead, std::move(bundleId),
                                  executablePath());
    return strdup(encodeDiagnostics(diagnostics).c_str());
  } catch (...) {
    // Also after running out of memory: strdup then gives NULL.
    return strdup(kFallbackDiagnostics);
  }
}

// Texts are handed to parseIso as raw bytes. Reading them as UTF-8 with U+FFFD
// for invalid sequences first would change nothing: every accepted date is
// ASCII, so a text with an invalid sequence fails either way.
char* tavimo_calendar_snapshot(const char* start_iso, const char* end_iso,
                               char** failure_text) {
  return vantrel::readRangeText(
      start_iso, end_iso, nullptr, failure_text,
      [](vantrel::Instant start, vantrel::Instant end, const vantrel::CalendarFilter&) {
        return vantrel::readAuthorizedSnapshotText(start, end);
      });
}

char* tavimo_calendar_details(const char* start_iso, const char* end_iso, char** failure_text) {
  return tavimo_calendar_details_of_calendars(start_iso, end_iso, nullptr, failure_text);
}

char* tavimo_calendar_snapshot_of_calendars(const char* start_iso, const char* end_iso,
                                            const char* calendar_ids_json, char** failure_text) {
  return vantrel::readRangeText(
      start_iso, end_iso, calendar_ids_json, failure_text,
      [](vantrel::Instant start, vantrel::Instant end, const vantrel::CalendarFilter& filter) {
        return vantrel::readAuthorizedSnapshotText(start, end, filter);
      });
}

char* tavimo_calendar_details_of_calendars(const char* start_iso, const char* end_iso,
                                           const char* calendar_ids_json, char** failure_text) {
  return vantrel::readRangeText(start_iso, end_iso, calendar_ids_json, failure_text,
                                vantrel::readAuthorizedDetailsText);
}

char* vantrel_range_watch_read(const char* start_iso, const char* end_iso,
                               const char* calendar_ids_json, char** failure_text) {
  return vantrel::readRangeText(start_iso, end_iso, calendar_ids_json, failure_text,
                                vantrel::readAuthorizedOccurrencesText);
}

void tavimo_calendar_request_access(tavimo_calendar_access_callback callback,
                                    void* context) {
  using namespace vantrel;
  if (callback == nullptr) return;
  std::shared_ptr<AccessRequest> request;
  try {
    request = std::make_shared<AccessRequest>(callback, context);
  } catch (...) {
    callback(0, nullptr, context);
    return;
  }
  try {
    requestAccess(request);
  } catch (...) {
    // A request that could not be made still gets its one answer.
    request->answerFailure(std::current_exception());
  }
}

void tavimo_calendar_string_free(char* text) { std::free(text); }

}  // extern "C"
