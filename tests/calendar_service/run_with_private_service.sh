#!/usr/bin/env bash
# Runs a command against a private calendar service: a throwaway HOME and XDG
# folders holding the calendars of a fixture folder (UID.source key files and
# UID.ics), and a session bus of its own that starts the service on first use
# and closes, taking the service with it, when the command ends.
#   run_with_private_service.sh FIXTURES COMMAND [ARGUMENT...]
set -euo pipefail
fixtures=$(cd "$1" && pwd)
shift

root=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-calendar-service-XXXXXX")
trap 'rm -rf "$root"' EXIT
export HOME=$root/home XDG_CONFIG_HOME=$root/config XDG_DATA_HOME=$root/data
export XDG_CACHE_HOME=$root/cache XDG_STATE_HOME=$root/state XDG_RUNTIME_DIR=$root/runtime
mkdir -p "$HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME/evolution/sources"
mkdir -m 700 "$XDG_RUNTIME_DIR"
for source in "$fixtures"/*.source; do
  uid=$(basename "$source" .source)
  cp "$source" "$XDG_CONFIG_HOME/evolution/sources/"
  if [ -f "$fixtures/$uid.ics" ]; then
    mkdir -p "$XDG_DATA_HOME/evolution/calendar/$uid"
    cp "$fixtures/$uid.ics" "$XDG_DATA_HOME/evolution/calendar/$uid/calendar.ics"
  fi
done

# No desktop session of the machine's may leak in: settings stay in memory,
# and nothing reaches a display or the caller's bus.
export GSETTINGS_BACKEND=memory
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS VANTREL_STANDIN_STORE
status=0
dbus-run-session -- "$@" || status=$?

# The bus is gone, so must be all it started (and the test's own children).
for _ in $(seq 100); do
  processes=(/proc/[0-9]*/environ)  # listed before the search's own start
  left=$(grep -lsz "^XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR\$" "${processes[@]}" | cut -d/ -f3 || true)
  [ -z "$left" ] && exit "$status"
  sleep 0.1
done
echo "Still running after the bus closed:" >&2
ps -o pid=,args= -p "$(echo $left | tr ' ' ,)" >&2
exit 1
