#include "eds_service.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform.h"

namespace vantrel::eds {

namespace {

constexpr const char* kSourcesName = "org.gnome.evolution.dataserver.Sources5";
constexpr const char* kCalendarName = "org.gnome.evolution.dataserver.Calendar8";
constexpr int kCallMilliseconds = 10000;

std::string errorText(GError* error) {
  return error != nullptr && error->message != nullptr ? error->message : "unknown error";
}

// The session bus, kept for the process: the bus connection GLib shares
// would otherwise end the whole process (exit on close) should the bus go
// away under a Node or Electron host. Set before the service's own objects
// take the same connection.
GDBusConnection* sessionBus(const Library& library, const Deadline& deadline, std::string& why) {
  static std::mutex mutex;
  static GDBusConnection* bus = nullptr;
  const std::lock_guard lock(mutex);
  if (bus != nullptr) return bus;
  GError* error = nullptr;
  GDBusConnection* got = library.g_bus_get_sync(G_BUS_TYPE_SESSION, deadline.cancellable(), &error);
  if (got == nullptr) {
    why = "there is no session bus (" + errorText(error) + ")";
    if (error != nullptr) library.g_error_free(error);
    return nullptr;
  }
  library.g_dbus_connection_set_exit_on_close(got, FALSE);
  bus = got;
  return bus;
}

GVariant* callBus(const Library& library, GDBusConnection* bus, const Deadline& deadline,
                  const char* method, GVariant* parameters) {
  GError* error = nullptr;
  GVariant* reply = library.g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
      parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, kCallMilliseconds, deadline.cancellable(),
      &error);
  if (error != nullptr) library.g_error_free(error);
  return reply;
}

bool hasOwner(const Library& library, GDBusConnection* bus, const Deadline& deadline,
              const char* name) {
  GVariant* reply =
      callBus(library, bus, deadline, "NameHasOwner", library.g_variant_new("(s)", name));
  if (reply == nullptr) return false;
  gboolean owned = FALSE;
  library.g_variant_get(reply, "(b)", &owned);
  library.g_variant_unref(reply);
  return owned != FALSE;
}

// Whether the bus starts `names` on first use, each.
void activatable(const Library& library, GDBusConnection* bus, const Deadline& deadline,
                 bool& sources, bool& calendar) {
  GVariant* reply = callBus(library, bus, deadline, "ListActivatableNames", nullptr);
  if (reply == nullptr) return;
  GVariantIter* names = nullptr;
  library.g_variant_get(reply, "(as)", &names);
  const gchar* name = nullptr;
  while (library.g_variant_iter_next(names, "&s", &name)) {
    if (std::string_view(name) == kSourcesName) sources = true;
    if (std::string_view(name) == kCalendarName) calendar = true;
  }
  library.g_variant_iter_free(names);
  library.g_variant_unref(reply);
}

bool sandboxed() {
  const char* snap = std::getenv("SNAP");
  return ::access("/.flatpak-info", F_OK) == 0 || (snap != nullptr && *snap != '\0');
}

}  // namespace

const Library& requireLibrary() {
  std::string why;
  const Library* table = library(why);
  if (table == nullptr) throw PlatformError("calendar service: " + why);
  return *table;
}

std::optional<Unavailable> unavailable() {
  std::string why;
  const Library* table = library(why);
  if (table == nullptr) {
    return Unavailable{"its client libraries cannot be used: " + why +
                           " (Debian and Ubuntu package: evolution-data-server)",
                       false};
  }
  const Library& library = *table;
  const Deadline deadline(library);
  GDBusConnection* bus = sessionBus(library, deadline, why);
  if (bus == nullptr) return Unavailable{why, false};
  bool sources = hasOwner(library, bus, deadline, kSourcesName);
  bool calendar = hasOwner(library, bus, deadline, kCalendarName);
  if (!sources || !calendar) activatable(library, bus, deadline, sources, calendar);
  if (sources && calendar) return std::nullopt;
  const std::string missing = !sources ? kSourcesName : kCalendarName;
  if (sandboxed()) {
    return Unavailable{"this sandboxed process cannot reach " + missing +
                           " on the session bus: a Flatpak needs "
                           "--talk-name=org.gnome.evolution.dataserver.* in its finish-args (or "
                           "flatpak override --talk-name=org.gnome.evolution.dataserver.* APP-ID), "
                           "a Snap the calendar-service interface",
                       true};
  }
  return Unavailable{missing + " is neither on the session bus nor started by it (is "
                               "evolution-data-server installed?)",
                     false};
}

Deadline::Deadline(const Library& library)
    : library_(library), cancellable_(library.g_cancellable_new()) {
  timer_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    if (!ended_.wait_for(lock, kCallDeadline, [this] { return done_; })) {
      library_.g_cancellable_cancel(cancellable_);
    }
  });
}

Deadline::~Deadline() {
  {
    const std::lock_guard lock(mutex_);
    done_ = true;
  }
  ended_.notify_one();
  timer_.join();
  library_.g_object_unref(cancellable_);
}

void Deadline::fail(GError* error, const char* what) const {
  std::string text = library_.g_cancellable_is_cancelled(cancellable_)
                         ? std::string(kTimedOut)
                         : std::string("calendar service: ") + what + ": " + errorText(error);
  if (error != nullptr) library_.g_error_free(error);
  throw PlatformError(text);
}

GTimeZone* newLocalZone(const Library& library) { return library.g_time_zone_new_local(); }

ICalTimezone* defaultZone(const Library& library) {
  if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
    std::string name(tz[0] == ':' ? tz + 1 : tz);
    if (const auto at = name.find("zoneinfo/"); at != std::string::npos) name.erase(0, at + 9);
    if (ICalTimezone* zone = library.i_cal_timezone_get_builtin_timezone(name.c_str())) return zone;
  }
  if (ICalTimezone* zone = library.e_cal_util_get_system_timezone()) return zone;
  return library.i_cal_timezone_get_utc_timezone();
}

}  // namespace vantrel::eds
