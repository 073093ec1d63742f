# shellcheck shell=bash
# Checks on what a scenario left behind: the driver's out file, the disk and
# the registry. A failed check is reported and counted; the scenario goes on
# so that one run shows everything that is wrong.
#
# Needs: OUT, wait.sh (and session.sh for expect_held).

FAILED_CHECKS=0
PASSED_CHECKS=0

pass() { PASSED_CHECKS=$((PASSED_CHECKS + 1)); }
fail() { FAILED_CHECKS=$((FAILED_CHECKS + 1)); echo "FAIL: $*" >&2; }

# The lines of one section of the out file ("[scan]" ... up to the next).
# Searches read it to the end (no grep -q): a reader that quits at the first
# match would end awk with SIGPIPE, which pipefail takes for a failure.
section() {
  awk -v want="[$1]" '/^\[[a-z-]+\]$/ { inside = ($0 == want); next } inside' "$OUT"
}

# A line, compared whole and literally (write a tab as $'\t').
expect() {  # SECTION LINE
  if section "$1" | grep -xF -- "$2" >/dev/null; then pass; else fail "[$1] has no line '$2'"; fi
}

expect_absent() {  # SECTION LINE
  if section "$1" | grep -xF -- "$2" >/dev/null; then fail "[$1] has the line '$2'"; else pass; fi
}

expect_match() {  # SECTION EXTENDED-REGEX
  if section "$1" | grep -E -- "$2" >/dev/null; then pass; else fail "[$1] has no line matching /$2/"; fi
}

expect_count() {  # SECTION EXTENDED-REGEX COUNT
  local n
  n=$(section "$1" | grep -cE -- "$2" || true)
  if [ "$n" -eq "$3" ]; then pass; else fail "[$1] has $n lines matching /$2/, not $3"; fi
}

# The look of one control: "visible=V enabled=E", and the text when given.
expect_control() {  # SECTION ID VISIBLE ENABLED [TEXT]
  if [ $# -ge 5 ]; then
    expect "$1" "control: $2 visible=$3 enabled=$4 text=$5"
  else
    expect_match "$1" "^control: $2 visible=$3 enabled=$4 text="
  fi
}

expect_visible() {  # SECTION ID VISIBLE
  expect_match "$1" "^control: $2 visible=$3 "
}

# The log's last lines, in order, each compared whole.
expect_log_ends_with() {  # SECTION LINE...
  local name=$1; shift
  local -a want=() have=()
  local line i
  for line in "$@"; do want+=("log: $line"); done
  mapfile -t have < <(section "$name" | grep '^log: ' | tail -n ${#want[@]})
  for i in "${!want[@]}"; do
    if [ "${have[$i]-}" != "${want[$i]}" ]; then
      fail "[$name] log line $((i + 1)) of the last ${#want[@]} is '${have[$i]-}', not '${want[$i]}'"
      return
    fi
  done
  pass
}

expect_gone() {  # PATH
  if [ -e "$1" ]; then fail "still on disk: $1"; else pass; fi
}

expect_present() {  # PATH
  if [ -e "$1" ]; then pass; else fail "missing from disk: $1"; fi
}

expect_reg_absent() {  # KEY VALUE
  if reg_value "$1" "$2" >/dev/null; then fail "registry still holds $1 \\ $2"; else pass; fi
}

expect_reg_present() {  # KEY VALUE
  if reg_value "$1" "$2" >/dev/null; then pass; else fail "registry lost $1 \\ $2"; fi
}

expect_equal() {  # WHAT ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then pass; else fail "$1 is '$2', not '$3'"; fi
}

# A program started in the prefix runs: Wine has mapped its image.
expect_started() {  # PID PATH WHAT
  if wait_until 30 image_mapped "$1" "$2"; then pass; else fail "$3 did not start"; fi
}

# A program that should end has ended, within SECONDS (default 10).
expect_ended() {  # PID WHAT [SECONDS]
  if wait_until "${3:-10}" process_gone "$1"; then pass; else fail "$2 still runs"; fi
}

# The driver holds PATH open (shared for reading only, or with "mapped"
# shared for everything and mapped) for SECONDS; its process id is in
# HOLDER_PID.
expect_held() {  # PATH SECONDS [mapped]
  if hold_file "$1" "$2" ${3:+"$3"}; then pass; else fail "the driver does not hold $1"; fi
}
