// A watch of the calendar service: a thread of its own that makes a GLib
// context, pushes it before making anything whose signals it wants, and runs
// it; so it hears the service whoever turns (or never turns) the process's
// main loop, and never adds to a host's. It holds a source registry (calendars
// added, removed, changed, enabled, disabled) and a view of every enabled
// calendar, started without the initial notification so that starting costs
// nothing per event. Stopped by a quit invoked on its context, then joined;
// it lets go of everything it made on its own thread.
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "calendar_store_eds.h"
#include "eds_service.h"

namespace vantrel::platform::eds_store {

using eds::Library;

namespace {

struct View {
  ECalClient* client = nullptr;
  ECalClientView* view = nullptr;
  std::vector<gulong> handlers;
};

}  // namespace

struct StoreWatch {
  StoreWatch(const Library& library, StoreChanged changed)
      : library(library), changed(std::move(changed)) {}
  const Library& library;
  StoreChanged changed;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  std::thread thread;
  // The watch's thread alone touches these.
  ESourceRegistry* registry = nullptr;
  std::vector<gulong> registryHandlers;
  std::map<std::string, View> views;  // by the calendar's UID
};

namespace {

void heard(StoreWatch& watch) {
  try {
    watch.changed();
  } catch (...) {
    // The caller's failure is the caller's; the watch goes on.
  }
}

void objectsChanged(ECalClientView*, const GSList*, gpointer data) {
  heard(*static_cast<StoreWatch*>(data));
}

bool isCalendar(const Library& library, ESource* source) {
  return library.e_source_has_extension(source, E_SOURCE_EXTENSION_CALENDAR) != FALSE;
}

void dropView(const Library& library, View& view) {
  library.e_cal_client_view_stop(view.view, nullptr);
  for (const gulong handler : view.handlers) library.g_signal_handler_disconnect(view.view, handler);
  library.g_object_unref(view.view);
  library.g_object_unref(view.client);
}

// A calendar that cannot be opened is left unwatched: a read of it fails and
// says why.
void watchCalendar(StoreWatch& watch, ESource* source) {
  const Library& library = watch.library;
  const char* uid = library.e_source_get_uid(source);
  if (uid == nullptr || watch.views.count(uid) != 0) return;
  const eds::Deadline deadline(library);
  GError* error = nullptr;
  EClient* client = library.e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS,
                                                      static_cast<guint32>(-1),
                                                      deadline.cancellable(), &error);
  if (client == nullptr) {
    if (error != nullptr) library.g_error_free(error);
    return;
  }
  View view;
  view.client = reinterpret_cast<ECalClient*>(client);
  if (!library.e_cal_client_get_view_sync(view.client, "#t", &view.view, deadline.cancellable(),
                                          &error)) {
    if (error != nullptr) library.g_error_free(error);
    library.g_object_unref(client);
    return;
  }
  library.e_cal_client_view_set_flags(view.view, E_CAL_CLIENT_VIEW_FLAGS_NONE, nullptr);
  for (const char* signal : {"objects-added", "objects-modified", "objects-removed"}) {
    view.handlers.push_back(library.g_signal_connect_data(
        view.view, signal, reinterpret_cast<GCallback>(objectsChanged), &watch, nullptr,
        static_cast<GConnectFlags>(0)));
  }
  library.e_cal_client_view_start(view.view, &error);
  if (error != nullptr) {
    library.g_error_free(error);
    dropView(library, view);
    return;
  }
  watch.views.emplace(uid, std::move(view));
}

void unwatchCalendar(StoreWatch& watch, ESource* source) {
  const char* uid = watch.library.e_source_get_uid(source);
  if (uid == nullptr) return;
  if (const auto found = watch.views.find(uid); found != watch.views.end()) {
    dropView(watch.library, found->second);
    watch.views.erase(found);
  }
}

void calendarAppeared(ESourceRegistry*, ESource* source, gpointer data) {
  auto& watch = *static_cast<StoreWatch*>(data);
  if (!isCalendar(watch.library, source)) return;
  watchCalendar(watch, source);
  heard(watch);
}

void calendarWent(ESourceRegistry*, ESource* source, gpointer data) {
  auto& watch = *static_cast<StoreWatch*>(data);
  if (!isCalendar(watch.library, source)) return;
  unwatchCalendar(watch, source);
  heard(watch);
}

// A new name or colour.
void calendarChanged(ESourceRegistry*, ESource* source, gpointer data) {
  auto& watch = *static_cast<StoreWatch*>(data);
  if (isCalendar(watch.library, source)) heard(watch);
}

// Everything up to the running loop; an empty text once it runs.
std::string begin(StoreWatch& watch) {
  const Library& library = watch.library;
  const eds::Deadline deadline(library);
  GError* error = nullptr;
  watch.registry = library.e_source_registry_new_sync(deadline.cancellable(), &error);
  if (watch.registry == nullptr) {
    try {
      deadline.fail(error, "its source registry cannot be read");
    } catch (const PlatformError& failure) {
      return failure.what();
    }
  }
  const std::pair<const char*, GCallback> signals[] = {
      {"source-added", reinterpret_cast<GCallback>(calendarAppeared)},
      {"source-enabled", reinterpret_cast<GCallback>(calendarAppeared)},
      {"source-removed", reinterpret_cast<GCallback>(calendarWent)},
      {"source-disabled", reinterpret_cast<GCallback>(calendarWent)},
      {"source-changed", reinterpret_cast<GCallback>(calendarChanged)},
  };
  for (const auto& [name, callback] : signals) {
    watch.registryHandlers.push_back(library.g_signal_connect_data(
        watch.registry, name, callback, &watch, nullptr, static_cast<GConnectFlags>(0)));
  }
  GList* sources = library.e_source_registry_list_enabled(watch.registry, E_SOURCE_EXTENSION_CALENDAR);
  for (GList* item = sources; item != nullptr; item = item->next) {
    watchCalendar(watch, static_cast<ESource*>(item->data));
    library.g_object_unref(item->data);
  }
  library.g_list_free(sources);
  return {};
}

void end(StoreWatch& watch) {
  const Library& library = watch.library;
  for (auto& [uid, view] : watch.views) dropView(library, view);
  watch.views.clear();
  if (watch.registry != nullptr) {
    for (const gulong handler : watch.registryHandlers) {
      library.g_signal_handler_disconnect(watch.registry, handler);
    }
    library.g_object_unref(watch.registry);
    watch.registry = nullptr;
  }
  // What the objects queued on their way out.
  while (library.g_main_context_iteration(watch.context, FALSE)) {
  }
}

void run(StoreWatch& watch, std::promise<std::string>& started) {
  const Library& library = watch.library;
  library.g_main_context_push_thread_default(watch.context);
  std::string failure = begin(watch);
  const bool running = failure.empty();
  started.set_value(std::move(failure));
  if (running) library.g_main_loop_run(watch.loop);
  end(watch);
  library.g_main_context_pop_thread_default(watch.context);
}

gboolean quit(gpointer loop) {
  // The library is loaded: a watch runs.
  std::string why;
  eds::library(why)->g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

void release(StoreWatch* watch) {
  watch->library.g_main_loop_unref(watch->loop);
  watch->library.g_main_context_unref(watch->context);
  delete watch;
}

}  // namespace

StoreWatch* startStoreWatch(StoreChanged changed) {
  const Library& library = eds::requireLibrary();
  // Without the service a registry reads empty and would never hear a thing.
  if (const auto why = eds::unavailable()) {
    throw PlatformError("Calendar changes cannot be watched: the calendar service " +
                        std::string(why->denied ? "is out of this sandbox's reach"
                                                : "cannot be reached") +
                        " (" + why->reason + ").");
  }
  auto* watch = new StoreWatch(library, std::move(changed));
  watch->context = library.g_main_context_new();
  watch->loop = library.g_main_loop_new(watch->context, FALSE);
  std::promise<std::string> started;
  std::future<std::string> answer = started.get_future();
  try {
    watch->thread = std::thread([watch, &started] { run(*watch, started); });
  } catch (const std::system_error&) {
    release(watch);
    throw PlatformError("Calendar changes cannot be watched: no thread could be started.");
  }
  const std::string failure = answer.get();
  if (!failure.empty()) {
    watch->thread.join();
    release(watch);
    throw PlatformError("Calendar changes cannot be watched: " + failure);
  }
  return watch;
}

void stopStoreWatch(StoreWatch* watch) {
  if (watch == nullptr) return;
  // The thread owns the context from before `started` until it ends, so the
  // quit is queued there, never run here.
  watch->library.g_main_context_invoke_full(watch->context, G_PRIORITY_DEFAULT, quit, watch->loop,
                                            nullptr);
  watch->thread.join();
  release(watch);
}

}  // namespace vantrel::platform::eds_store
