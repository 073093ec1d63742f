# shellcheck shell=bash
# Waiting for a condition: the one way a scenario waits for something to be
# ready or gone. A fixed sleep would be too short on a loaded machine and
# wasted time on an idle one; a condition polled up to a deadline is neither.

# True as soon as COMMAND succeeds; false once SECONDS have passed without.
# (EPOCHREALTIME in microseconds, whatever the locale's decimal mark; read
# in place, as a scenario polls often and a command substitution forks.)
wait_until() {  # SECONDS COMMAND...
  local deadline
  deadline=$(( ${EPOCHREALTIME//[!0-9]/} + $1 * 1000000 ))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME//[!0-9]/}" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Conditions to wait for.

process_gone() {  # PID
  ! kill -0 "$1" 2>/dev/null
}

# Wine has mapped the program's image into the process: the program runs,
# and the wineserver lists it.
image_mapped() {  # PID PATH
  grep -qF "$(basename "$2")" "/proc/$1/maps" 2>/dev/null
}

file_has_line() {  # FILE LINE (compared whole)
  grep -qxF -- "$2" "$1" 2>/dev/null
}
