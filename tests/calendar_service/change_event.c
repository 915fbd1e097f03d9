/* Renames an event as another program would, through the service's client:
 *   calendar_service_change CALENDAR_UID EVENT_UID NEW_SUMMARY */
#include <libecal/libecal.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  GError* error = NULL;
  ESourceRegistry* registry = e_source_registry_new_sync(NULL, &error);
  ESource* source = registry ? e_source_registry_ref_source(registry, argv[1]) : NULL;
  EClient* client = source ? e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS,
                                                        (guint32)-1, NULL, &error)
                           : NULL;
  ICalComponent* event = NULL;
  if (client && e_cal_client_get_object_sync(E_CAL_CLIENT(client), argv[2], NULL, &event, NULL,
                                             &error)) {
    i_cal_component_set_summary(event, argv[3]);
    e_cal_client_modify_object_sync(E_CAL_CLIENT(client), event, E_CAL_OBJ_MOD_ALL,
                                    E_CAL_OPERATION_FLAG_NONE, NULL, &error);
  }
  if (error || !client) {
    fprintf(stderr, "%s\n", error ? error->message : "no such calendar");
    return 1;
  }
  return 0;
}
