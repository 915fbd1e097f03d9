// The calendar service's client libraries, opened at run time by soname so
// that no binary of the bridge names them: a machine without them (KDE,
// containers, CI) loads and runs the bridge as before, and answers
// "restricted" with the reason. Their headers give the functions' types; the
// table holds each function under its own name.
#pragma once

#define EDS_DISABLE_DEPRECATED 1
#include <gio/gio.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

#include <string>

namespace vantrel::eds {

// Each function the layer calls, with the library that has it.
#define VANTREL_EDS_FUNCTIONS(X)                   \
  X(glib, g_date_time_new)                         \
  X(glib, g_date_time_to_unix)                     \
  X(glib, g_date_time_unref)                       \
  X(glib, g_error_free)                            \
  X(glib, g_free)                                  \
  X(glib, g_list_free)                             \
  X(glib, g_main_context_acquire)                  \
  X(glib, g_main_context_invoke_full)              \
  X(glib, g_main_context_iteration)                \
  X(glib, g_main_context_new)                      \
  X(glib, g_main_context_pop_thread_default)       \
  X(glib, g_main_context_push_thread_default)      \
  X(glib, g_main_context_release)                  \
  X(glib, g_main_context_unref)                    \
  X(glib, g_main_loop_new)                         \
  X(glib, g_main_loop_quit)                        \
  X(glib, g_main_loop_run)                         \
  X(glib, g_main_loop_unref)                       \
  X(glib, g_time_zone_new_local)                   \
  X(glib, g_time_zone_unref)                       \
  X(glib, g_variant_get)                           \
  X(glib, g_variant_iter_free)                     \
  X(glib, g_variant_iter_next)                     \
  X(glib, g_variant_new)                           \
  X(glib, g_variant_unref)                         \
  X(gobject, g_object_ref)                         \
  X(gobject, g_object_unref)                       \
  X(gobject, g_signal_connect_data)                \
  X(gobject, g_signal_handler_disconnect)          \
  X(gio, g_bus_get_sync)                           \
  X(gio, g_cancellable_cancel)                     \
  X(gio, g_cancellable_is_cancelled)               \
  X(gio, g_cancellable_new)                        \
  X(gio, g_dbus_connection_call_sync)              \
  X(gio, g_dbus_connection_set_exit_on_close)      \
  X(ical, i_cal_component_get_description)         \
  X(ical, i_cal_component_get_dtstart)             \
  X(ical, i_cal_component_get_first_property)      \
  X(ical, i_cal_component_get_location)            \
  X(ical, i_cal_component_get_next_property)       \
  X(ical, i_cal_component_get_recurrenceid)        \
  X(ical, i_cal_component_get_status)              \
  X(ical, i_cal_component_get_summary)             \
  X(ical, i_cal_component_get_uid)                 \
  X(ical, i_cal_parameter_get_cn)                  \
  X(ical, i_cal_parameter_get_cutype)              \
  X(ical, i_cal_parameter_get_partstat)            \
  X(ical, i_cal_parameter_get_role)                \
  X(ical, i_cal_property_get_attendee)             \
  X(ical, i_cal_property_get_first_parameter)      \
  X(ical, i_cal_property_get_dtstart)              \
  X(ical, i_cal_property_get_organizer)            \
  X(ical, i_cal_property_get_parameter_as_string)  \
  X(ical, i_cal_property_get_transp)               \
  X(ical, i_cal_property_get_url)                  \
  X(ical, i_cal_time_as_timet_with_zone)           \
  X(ical, i_cal_time_get_date)                     \
  X(ical, i_cal_time_get_time)                     \
  X(ical, i_cal_time_get_timezone)                 \
  X(ical, i_cal_time_get_tzid)                     \
  X(ical, i_cal_time_is_date)                      \
  X(ical, i_cal_time_is_utc)                       \
  X(ical, i_cal_timezone_get_builtin_timezone)     \
  X(ical, i_cal_timezone_get_utc_timezone)         \
  X(edataserver, e_source_get_display_name)        \
  X(edataserver, e_source_get_extension)           \
  X(edataserver, e_source_get_parent)              \
  X(edataserver, e_source_get_uid)                 \
  X(edataserver, e_source_registry_list_enabled)   \
  X(edataserver, e_source_registry_new_sync)       \
  X(edataserver, e_source_registry_ref_source)     \
  X(edataserver, e_source_selectable_dup_color)    \
  X(ecal, e_cal_client_connect_sync)               \
  X(ecal, e_cal_client_generate_instances_sync)    \
  X(ecal, e_cal_client_get_view_sync)              \
  X(ecal, e_cal_client_view_set_flags)             \
  X(ecal, e_cal_client_view_start)                 \
  X(ecal, e_cal_client_view_stop)                  \
  X(ecal, e_cal_util_component_get_recurid_as_string) \
  X(ecal, e_cal_util_get_system_timezone)          \
  X(ecal, e_cal_client_set_default_timezone)       \
  X(edataserver, e_client_get_backend_property_sync) \
  X(edataserver, e_source_has_extension)

struct Library {
#define VANTREL_EDS_MEMBER(library, name) decltype(&::name) name = nullptr;
  VANTREL_EDS_FUNCTIONS(VANTREL_EDS_MEMBER)
#undef VANTREL_EDS_MEMBER
};

// The table, loaded on the first call; nullptr, with `why` set to what is
// missing (a library by soname, or a function), when the libraries cannot be
// used. Never unloaded: GLib's types cannot be.
const Library* library(std::string& why);

// GLib's free functions through the table, for the smart pointers below.
void unrefObject(gpointer object);

}  // namespace vantrel::eds
