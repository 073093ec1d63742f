# shellcheck shell=bash
# The program under test and the user at it: start scourix.exe in the
# prefix, run the driver against its window, take a screenshot.
#
# Needs: prefix.sh, wait.sh, DISPLAY (set by prefix_create), SHOT.

APP_PID=""

app_start() {  # [ARGUMENTS...] (a command line: an administrator's run)
  local dir=${APP%/*}
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
# Wine on a busy machine now and then loses a new process before its main
# runs ("wine client error", seen once in many full runs): when the driver
# failed so and its out file was not written since it started (it names each
# command there before it acts), nothing was done and the same driver is
# started again.
drive() {
  local status attempt out began=$WORK/driver-began
  win_path_to out "$OUT"
  for attempt in 1 2 3; do
    status=0
    : >"$began"
    (cd "${DRIVER%/*}" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       DISPLAY="$DISPLAY" "$DRIVER_WINE" "$DRIVER" --out "$out" "$@" </dev/null >>"$DRIVER_LOG" 2>&1) || status=$?
    if [ "$status" -eq 0 ] || [ "$OUT" -nt "$began" ] ||
       ! grep -q '^wine client error' < <(tail -n 1 "$DRIVER_LOG"); then
      break
    fi
    # Wine's words end without a line feed.
    echo >>"$DRIVER_LOG"
    if [ "$attempt" -lt 3 ]; then echo "run-scenario: Wine lost the driver before it began; starting it again: $*" >&2; fi
  done
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
  [ -z "$APP_PID" ] || wait_until "${1:-10}" process_gone "$APP_PID"
}

# Starts a Windows program that lies under drive_c or D: in the prefix, from
# its own folder, in the background; its Linux process id goes to BACKGROUND_PID.
BACKGROUND_PID=""
start_in_prefix() {  # PATH
  local wine
  wine=$("$WINEBED" loader "$PREFIX" "$1")
  (cd "${1%/*}" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     "$wine" "$1" </dev/null >>"$WORK/background.log" 2>&1) &
  BACKGROUND_PID=$!
}

# Runs the driver in the background (for commands that need no window, such
# as hold-file), with its own out file; its Linux process id goes to
# BACKGROUND_PID.
drive_in_background() {
  (cd "${DRIVER%/*}" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     "$DRIVER_WINE" "$DRIVER" --out "$(win_path "$WORK/background-out.txt")" "$@" </dev/null >>"$WORK/background.log" 2>&1) &
  BACKGROUND_PID=$!
}

# Starts the driver's hold-file command on PATH for SECONDS and waits until
# the driver reports that it holds that very file; HOLDER_PID is its Linux
# process id. False when the driver does not hold it within 30 s.
# shellcheck disable=SC2034
HOLDER_PID=""
# shellcheck disable=SC2034
hold_file() {  # PATH SECONDS [mapped]
  local held
  held=$(win_path "$1") || return 1
  drive_in_background hold-file "$held" "$2" ${3:+"$3"}
  HOLDER_PID=$BACKGROUND_PID
  wait_until 30 file_has_line "$WORK/background-out.txt" "holding: $held"
}

# The program's instance lock, held by the lock holder that lies beside the
# driver until instance_lock_release: a Scourix started meanwhile meets a
# Scourix that runs, however quick its own run would be. False when the
# holder does not hold the lock within 30 s; LOCK_HOLDER_PID is its Linux
# process id.
LOCK_HOLDER_PID=""
instance_lock_hold() {
  local holder out=$WORK/lock-holder.txt release=$WORK/lock-holder.release
  holder=$(dirname "$DRIVER")/scourix-lock-holder.exe
  rm -f "$out" "$release"
  (cd "$(dirname "$holder")" && exec env WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
     "$DRIVER_WINE" "$holder" "$(win_path "$out")" "$(win_path "$release")" </dev/null >>"$WORK/background.log" 2>&1) &
  LOCK_HOLDER_PID=$!
  wait_until 30 file_has_line "$out" "lock: held"
}

# Tells the holder to let go and waits until it has closed the lock and ended.
instance_lock_release() {
  : >"$WORK/lock-holder.release"
  wait_until 30 file_has_line "$WORK/lock-holder.txt" "lock: let go" &&
    wait_until 30 process_gone "$LOCK_HOLDER_PID"
}

# One capture of the display into SETTLED; true when it equals the capture
# before it, which is kept in PREVIOUS otherwise.
screen_unchanged() {  # PREVIOUS SETTLED
  DISPLAY=$DISPLAY import -window root "$2" 2>/dev/null || return 1
  cmp -s "$1" "$2" && return 0
  mv "$2" "$1"
  return 1
}

# A picture of the display once it has settled (two captures in a row agree:
# a prompt that just came up has painted), or the latest after a second (a
# running scan never settles).
settled_screenshot() {  # PNG
  local previous=$WORK/screen-previous.ppm settled=$WORK/screen-settled.ppm
  rm -f "$previous" "$settled"
  DISPLAY=$DISPLAY import -window root "$previous" 2>/dev/null || return 1
  wait_until 1 screen_unchanged "$previous" "$settled" || mv "$previous" "$settled"
  convert "$settled" "$1"
  rm -f "$previous" "$settled"
}

# Takes the pictures that the driver asks for with --screenshots PREFIX
# (PREFIX-NAME.ready), as SHOT's siblings NAME.png, until the driver ends.
# Runs in the background, looking for requests every 50 ms until it is
# stopped; SCREENSHOT_SERVER holds its process id.
SCREENSHOT_SERVER=""
serve_screenshots() {  # PREFIX (a Linux path)
  local stem=$1
  (
    while :; do
      for ready in "$stem"-*.ready; do
        [ -e "$ready" ] || continue
        local name=${ready#"$stem"-}; name=${name%.ready}
        settled_screenshot "${SHOT%.png}-$name.png" ||
          echo "run-scenario: no screenshot taken of $name" >&2
        mv "$ready" "$stem-$name.taken"
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
