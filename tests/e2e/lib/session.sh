# The program under test and the user at it: start scourix.exe in the
# prefix, run the driver against its window, take a screenshot.
#
# Needs: prefix.sh, DISPLAY, SHOT.

APP_PID=""

app_start() {  # [ARGUMENTS...] (a command line: an administrator's run)
  local dir
  dir=$(dirname "$APP")
  # Started from its own folder on a mapped drive, so that Wine gives it a
  # proper drive path; no pipe of ours may stay open in it.
  (cd "$dir" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     DISPLAY="$DISPLAY" "$APP_WINE" "$APP" "$@" </dev/null >"$APP_LOG" 2>&1) &
  APP_PID=$!
}

# Whether the program is still running, as the Linux side sees it.
app_running() {
  [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null
}

# Runs the driver with ARGS; the out file collects every run's sections.
drive() {
  local status=0
  (cd "$(dirname "$DRIVER")" && env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     DISPLAY="$DISPLAY" "$DRIVER_WINE" "$DRIVER" --out "$(win_path "$OUT")" "$@" </dev/null >>"$DRIVER_LOG" 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    echo "run-scenario: the driver failed ($status) on: $*" >&2
    sed 's/^/  driver: /' "$DRIVER_LOG" >&2
    [ -f "$OUT" ] && tail -n 20 "$OUT" | sed 's/^/  report: /' >&2
  fi
  return "$status"
}

screenshot() {
  mkdir -p "$(dirname "$SHOT")"
  DISPLAY=$DISPLAY import -window root "$SHOT" 2>/dev/null ||
    echo "run-scenario: no screenshot taken" >&2
}

# Waits up to SECONDS for the program's Linux process to end.
app_wait_exit() {
  local seconds=${1:-10} i
  for ((i = 0; i < seconds * 10; i++)); do app_running || return 0; sleep 0.1; done
  return 1
}

# Starts a Windows program that lies under drive_c or D: in the prefix, from
# its own folder, in the background; its Linux process id goes to BACKGROUND_PID.
BACKGROUND_PID=""
start_in_prefix() {  # PATH
  local wine
  wine=$("$WINEBED" loader "$PREFIX" "$1")
  (cd "$(dirname "$1")" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     "$wine" "$1" </dev/null >>"$WORK/background.log" 2>&1) &
  BACKGROUND_PID=$!
}

# Runs the driver in the background (for commands that need no window, such
# as hold-file), with its own out file; its Linux process id goes to
# BACKGROUND_PID.
drive_in_background() {
  (cd "$(dirname "$DRIVER")" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     "$DRIVER_WINE" "$DRIVER" --out "$(win_path "$WORK/background-out.txt")" "$@" </dev/null >>"$WORK/background.log" 2>&1) &
  BACKGROUND_PID=$!
}

# Takes the pictures that the driver asks for with --screenshots PREFIX
# (PREFIX-NAME.ready), as SHOT's siblings NAME.png, until the driver ends.
# Runs in the background; SCREENSHOT_SERVER holds its process id.
SCREENSHOT_SERVER=""
serve_screenshots() {  # PREFIX (a Linux path)
  local prefix=$1
  (
    while :; do
      for ready in "$prefix"-*.ready; do
        [ -e "$ready" ] || continue
        local name=${ready#"$prefix"-}; name=${name%.ready}
        sleep 0.3  # the prompt's first paint
        DISPLAY=$DISPLAY import -window root "${SHOT%.png}-$name.png" 2>/dev/null ||
          echo "run-scenario: no screenshot taken of $name" >&2
        mv "$ready" "$prefix-$name.taken"
      done
      sleep 0.05
    done
  ) &
  SCREENSHOT_SERVER=$!
}

stop_serving_screenshots() {
  [ -n "$SCREENSHOT_SERVER" ] && kill "$SCREENSHOT_SERVER" 2>/dev/null
  wait "$SCREENSHOT_SERVER" 2>/dev/null || true
  SCREENSHOT_SERVER=""
}
