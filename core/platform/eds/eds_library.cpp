#include "eds_library.h"

#include <dlfcn.h>

#include <mutex>

namespace vantrel::eds {

namespace {

// By soname, so that only a library of the same interface is taken; the
// client library first, since it is the one a machine without the service
// lacks, and it brings the rest along.
struct Sonames {
  const char* ecal = "libecal-2.0.so.2";
  const char* edataserver = "libedataserver-1.2.so.27";
  const char* ical = "libical-glib.so.3";
  const char* gio = "libgio-2.0.so.0";
  const char* gobject = "libgobject-2.0.so.0";
  const char* glib = "libglib-2.0.so.0";
};

struct Handles {
  void* ecal = nullptr;
  void* edataserver = nullptr;
  void* ical = nullptr;
  void* gio = nullptr;
  void* gobject = nullptr;
  void* glib = nullptr;
};

struct Loaded {
  Library table;
  bool usable = false;
  std::string why;
};

bool open(void*& handle, const char* soname, std::string& why) {
  handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return true;
  const char* error = ::dlerror();
  why = std::string(soname) + " cannot be loaded (" + (error != nullptr ? error : "unknown") + ")";
  return false;
}

Loaded load() {
  Loaded loaded;
  const Sonames sonames;
  Handles handles;
  if (!open(handles.ecal, sonames.ecal, loaded.why) ||
      !open(handles.edataserver, sonames.edataserver, loaded.why) ||
      !open(handles.ical, sonames.ical, loaded.why) || !open(handles.gio, sonames.gio, loaded.why) ||
      !open(handles.gobject, sonames.gobject, loaded.why) ||
      !open(handles.glib, sonames.glib, loaded.why)) {
    return loaded;
  }
  bool complete = true;
#define VANTREL_EDS_RESOLVE(library, name)                                                     \
  if (complete) {                                                                              \
    loaded.table.name = reinterpret_cast<decltype(loaded.table.name)>(                         \
        ::dlsym(handles.library, #name));                                                      \
    if (loaded.table.name == nullptr) {                                                        \
      complete = false;                                                                        \
      loaded.why = std::string(sonames.library) + " has no function " #name;                  \
    }                                                                                          \
  }
  VANTREL_EDS_FUNCTIONS(VANTREL_EDS_RESOLVE)
#undef VANTREL_EDS_RESOLVE
  loaded.usable = complete;
  return loaded;
}

}  // namespace

const Library* library(std::string& why) {
  static const Loaded* const loaded = new Loaded(load());
  if (!loaded->usable) {
    why = loaded->why;
    return nullptr;
  }
  return &loaded->table;
}

void unrefObject(gpointer object) {
  std::string why;
  if (object != nullptr) library(why)->g_object_unref(object);
}

}  // namespace vantrel::eds
