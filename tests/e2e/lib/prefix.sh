# shellcheck shell=bash
# The Windows under test for one scenario: a fresh Wine prefix with its own
# fixed drive D:, the program and the driver reached through network drives
# (which a scan skips), and helpers to plant files and registry values in it.
#
# Needs: REPO, BUILD, WORK (this scenario's folder), APP, DRIVER.
# Its variables are read by the files that source it.
# shellcheck disable=SC2034

WINEBED=$REPO/scripts/winebed
# The host tree's forge is built with ASan; its leak check at exit stops the
# process and scans its memory, which costs more than making the sample, and
# a matrix makes a hundred. The forge's code is leak-checked by the host
# unit tests.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
# The loader of the prefix's own programs (reg, regedit, wineboot), and of
# the program and the driver: set by prefix_create.
WINE=/usr/lib/wine/wine64 APP_WINE=/usr/lib/wine/wine64 DRIVER_WINE=/usr/lib/wine/wine64
# 32 for the i686 build, 64 for the x86_64 one.
APP_WIDTH=$("$WINEBED" width "$APP")

PREFIX=$WORK/prefix
DRIVE_C=$PREFIX/drive_c
DRIVE_D=$WORK/drive-d
OUT=$WORK/out.txt
APP_LOG=$WORK/app.log
DRIVER_LOG=$WORK/driver.log

# Unix folder and drive letter of every mapping, for path translation.
declare -a MAP_DIRS=() MAP_LETTERS=()
DRIVE_C_REAL="" DRIVE_D_REAL=""

in_prefix() {
  WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" "$@"
}

# A network drive for the folder of FILE unless a mapping already covers it.
map_folder_of() {
  local dir letter i
  dir=$(dirname "$(realpath -m "$1")")
  for i in "${!MAP_DIRS[@]}"; do
    case "$dir/" in "${MAP_DIRS[$i]}/"*) return 0 ;; esac
  done
  for letter in y: x: w: v:; do
    [[ " ${MAP_LETTERS[*]} " == *" $letter "* ]] && continue
    MAP_DIRS+=("$dir"); MAP_LETTERS+=("$letter"); return 0
  done
  echo "run-scenario: out of drive letters for $dir" >&2; return 1
}

# The Windows path of a Unix path below a mapped drive, C: or D:.
win_path() {
  local path best="" letter="" i rest
  path=$(realpath -m "$1")
  local -a dirs=("${DRIVE_C_REAL:-$(realpath -m "$DRIVE_C")}" "${DRIVE_D_REAL:-$(realpath -m "$DRIVE_D")}"
                 ${MAP_DIRS[@]+"${MAP_DIRS[@]}"})
  local -a letters=(c: d: ${MAP_LETTERS[@]+"${MAP_LETTERS[@]}"})
  for i in "${!dirs[@]}"; do
    if [[ "$path/" == "${dirs[$i]}/"* && ${#dirs[$i]} -gt ${#best} ]]; then
      best=${dirs[$i]}; letter=${letters[$i]}
    fi
  done
  [ -n "$letter" ] || { echo "run-scenario: $path is on no drive of the prefix" >&2; return 1; }
  rest=${path#"$best"}
  rest=${rest//\//\\}
  letter=${letter%:}
  printf '%s:%s\n' "${letter^^}" "${rest:-\\}"
}

# A fresh prefix posing as VERSION (98, nt4, xp, 10), with a server running
# and DISPLAY set to the prefix's display.
# The i686 build meets the 32-bit systems (98, NT 4, XP) in a 32-bit prefix;
# 10 is a 64-bit Windows, where it runs under WoW64.
prefix_create() {
  local version=$1 i
  PREFIX_ARCH=64
  if [ "$APP_WIDTH" = 32 ]; then
    case "$version" in 98|nt4|xp) PREFIX_ARCH=32 ;; esac
  fi
  rm -rf "$DRIVE_D"; mkdir -p "$DRIVE_D"
  # Resolved once: a matrix asks for a few hundred Windows paths.
  DRIVE_C_REAL=$(realpath -m "$DRIVE_C") DRIVE_D_REAL=$(realpath -m "$DRIVE_D")
  MAP_DIRS=("$(realpath -m "$BUILD")"); MAP_LETTERS=(y:)
  map_folder_of "$APP"; map_folder_of "$DRIVER"
  local -a networks=()
  for i in "${!MAP_DIRS[@]}"; do networks+=(--network "${MAP_LETTERS[$i]}=${MAP_DIRS[$i]}"); done
  "$WINEBED" create "$PREFIX" --arch "$PREFIX_ARCH" --version "$version" --drive d:="$DRIVE_D" "${networks[@]}" \
    </dev/null >"$WORK/winebed.log" 2>&1 || { cat "$WORK/winebed.log" >&2; return 1; }
  WINE=$("$WINEBED" loader "$PREFIX")
  APP_WINE=$("$WINEBED" loader "$PREFIX" "$APP")
  DRIVER_WINE=$("$WINEBED" loader "$PREFIX" "$DRIVER")
  # One server and one display for the whole scenario: on a busy machine
  # planting can take longer than the usual half minute without a Wine
  # program (a server started anew boots the prefix again, running the
  # RunServices values planted meanwhile) and than the minute without a
  # window after which a display ends (the program would find none). The
  # scenario stops both when it ends (scripts/test's sweep, if it cannot).
  SCOURIX_WINESERVER_LINGER=1800 SCOURIX_XVFB_LINGER=1800 "$WINEBED" start "$PREFIX" \
    </dev/null >>"$WORK/winebed.log" 2>&1
  DISPLAY=$(SCOURIX_XVFB_LINGER=1800 "$WINEBED" display "$PREFIX")
}

prefix_stop() {
  "$WINEBED" stop "$PREFIX" </dev/null >/dev/null 2>&1 || true
}

# Wine's reg with ARGS in the prefix (REG_WINE: another loader, such as the
# 32-bit one of a 64-bit prefix); prints what reg printed on standard output.
# reg always prints something there, if only "reg: ..."; a run that printed
# nothing, whatever its status, never got to reg: a Wine program started at an unlucky
# moment of the prefix's server fails that way (seen about once in ten full
# runs), and is started again, saying so.
reg_run() {  # ARGS...
  local output status attempt
  for attempt in 1 2 3; do
    status=0
    output=$(WINE=${REG_WINE:-$WINE} in_prefix reg "$@" </dev/null 2>"$WORK/reg-errors.txt") || status=$?
    if [ -n "$output" ]; then break; fi
    echo "run-scenario: reg $1 $2 failed ($status) without a word; attempt $attempt of 3;" \
      "Wine said: $(head -c 400 "$WORK/reg-errors.txt" | tr '\n' ' ')" >&2
  done
  [ -z "$output" ] || printf '%s\n' "$output"
  return "$status"
}

reg_add() {  # KEY VALUE TYPE DATA
  local output status=0
  output=$(reg_run add "$1" /v "$2" /t "$3" /d "$4" /f) || status=$?
  [ "$status" -eq 0 ] && return 0
  echo "run-scenario: reg add $1 /v $2 failed ($status): $output" >&2
  return 1
}

# Values gathered into one .reg file and written by one regedit: each reg
# add is a Wine process of its own, about half a second, and a loaded
# machine makes it several. The file lies in the work folder (on the build's
# network drive, outside every drive a scan walks). Only REG_SZ and
# REG_EXPAND_SZ; the data is ASCII.
REG_PLANNED=""
reg_escape() { local text=${1//\\/\\\\}; printf '%s' "${text//\"/\\\"}"; }
reg_plan() {  # KEY VALUE TYPE DATA
  local key=$1 name=$2 type=$3 data=$4 hex="" i
  key=${key/#HKLM\\/HKEY_LOCAL_MACHINE\\}; key=${key/#HKCU\\/HKEY_CURRENT_USER\\}
  if [ -z "$REG_PLANNED" ]; then
    REG_PLANNED=$WORK/planted.reg
    printf 'REGEDIT4\r\n' >"$REG_PLANNED"
  fi
  case "$type" in
    REG_SZ) printf '\r\n[%s]\r\n"%s"="%s"\r\n' "$key" "$(reg_escape "$name")" "$(reg_escape "$data")" >>"$REG_PLANNED" ;;
    REG_EXPAND_SZ)
      # hex(2): the string's bytes and its NUL; regedit widens them itself.
      for ((i = 0; i < ${#data}; i++)); do printf -v hex '%s%02x,' "$hex" "'${data:i:1}"; done
      printf '\r\n[%s]\r\n"%s"=hex(2):%s00\r\n' "$key" "$(reg_escape "$name")" "$hex" >>"$REG_PLANNED" ;;
    *) echo "run-scenario: reg_plan cannot write $type" >&2; return 1 ;;
  esac
}

# Writes the values gathered by reg_plan. regedit says nothing when a line
# fails: the caller reads the values back with reg.
reg_import_planned() {
  [ -n "$REG_PLANNED" ] || return 0
  local status=0
  in_prefix regedit /S "$(win_path "$REG_PLANNED")" </dev/null >/dev/null 2>&1 || status=$?
  REG_PLANNED=""
  [ "$status" -eq 0 ] || echo "run-scenario: regedit /S failed ($status)" >&2
  return "$status"
}

# Prints the value's data, or nothing (status 1) when it is not there.
reg_value() {  # KEY VALUE
  local line
  line=$(reg_run query "$1" /v "$2" | tr -d '\r' | grep -E "^ +$2 +REG_") || return 1
  echo "$line" | sed -E 's/^ +[^ ].* +REG_[A-Z_]+ +//'
}

# --- planting --------------------------------------------------------------

FORGE_TOOL=""
forge_tool() {
  # Found once: a matrix plants a hundred files.
  if [ -n "$FORGE_TOOL" ]; then echo "$FORGE_TOOL"; return; fi
  local forge=${FORGE:-$REPO/build/host/tools/forge/forge}
  if [ ! -x "$forge" ]; then
    echo "run-scenario: building the forge ($forge)" >&2
    (cd "$REPO" && cmake --preset host >/dev/null && cmake --build --preset host --target forge >/dev/null) ||
      { echo "run-scenario: cannot build the forge" >&2; return 1; }
  fi
  FORGE_TOOL=$forge
  echo "$forge"
}

declare -a SAMPLES=()

# Inert samples, each of record N at a Unix path under drive_c or DRIVE_D,
# made by one run of the forge.
plant_samples() {  # N PATH [N PATH]...
  local forge i
  local -a folders=()
  forge_tool >/dev/null || return 1
  forge=$FORGE_TOOL
  for ((i = 2; i <= $#; i += 2)); do
    [ -d "${!i%/*}" ] || folders+=("${!i%/*}")
    SAMPLES+=("${!i}")
  done
  [ ${#folders[@]} -eq 0 ] || mkdir -p "${folders[@]}"
  "$forge" inert "$@" || { echo "run-scenario: forge inert $* failed" >&2; return 1; }
}

# An inert sample of record N at a Unix path under drive_c or DRIVE_D.
plant_sample() { plant_samples "$1" "$2"; }  # N PATH

plant_near_miss() {  # N KIND PATH
  local forge
  forge_tool >/dev/null || return 1
  forge=$FORGE_TOOL
  mkdir -p "${3%/*}"
  "$forge" nearmiss "$1" "$2" "$3" || { echo "run-scenario: forge nearmiss $1 $2 failed" >&2; return 1; }
}

plant_clean() {  # PATH [TEXT]
  mkdir -p "${1%/*}"
  printf '%s\n' "${2:-nothing to see here}" >"$1"
}

# COUNT small text files in FOLDER, spread over subfolders of 200.
plant_many() {  # FOLDER COUNT
  local folder=$1 count=$2 i
  for ((i = 0; i < count; i++)); do
    (( i % 200 == 0 )) && mkdir -p "$folder/batch$((i / 200))"
    printf 'file %d\n' "$i" >"$folder/batch$((i / 200))/note$i.txt"
  done
}

# Regular files that a scan of every fixed drive hands to the check.
count_fixed_drive_files() {
  find "$DRIVE_C" "$DRIVE_D" -type f | wc -l
}

# A runnable stand-in of record N, which sleeps for ever while its own file
# matches the record; as wide as the program under test (a 32-bit prefix
# runs PE32 programs only).
plant_stand_in() {  # N PATH
  local forge
  forge_tool >/dev/null || return 1
  forge=$FORGE_TOOL
  mkdir -p "${2%/*}"
  local -a width=()
  [ "$APP_WIDTH" = 32 ] && width=(--pe32)
  "$forge" standin "$1" "$2" ${width[@]+"${width[@]}"} ||
    { echo "run-scenario: forge standin $1 failed" >&2; return 1; }
  SAMPLES+=("$2")
}

# Read-only through the Unix write bits, hidden and system through the
# attribute that Wine keeps in an extended attribute.
make_read_only_hidden_system() {  # PATH
  chmod a-w "$1"
  python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", b"0x7")' "$1"
}
