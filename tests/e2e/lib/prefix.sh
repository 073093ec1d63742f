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

# PATH as realpath -m makes it, into the variable VAR. A path that realpath
# would leave as it is (absolute, without "." or ".." or an empty part, and
# without a link on the way) is taken as it is: a scenario names hundreds of
# paths, and a process for each costs seconds on a loaded machine.
# (Locals are prefixed: VAR names a variable of the caller.)
canonical_path_to() {  # VAR PATH
  local _cp_path=$2 _cp_walked="" _cp_part
  local -a _cp_parts=()
  if [[ "$_cp_path" == /?* && "$_cp_path" != *//* && "$_cp_path/" != */./* && "$_cp_path/" != */../* &&
        "$_cp_path" != */ && "$_cp_path" != *$'\n'* ]]; then
    IFS=/ read -r -a _cp_parts <<<"${_cp_path#/}"
    for _cp_part in "${_cp_parts[@]}"; do
      _cp_walked+=/$_cp_part
      if [ -L "$_cp_walked" ]; then _cp_path=""; break; fi
    done
  else
    _cp_path=""
  fi
  [ -n "$_cp_path" ] || _cp_path=$(realpath -m "$2")
  printf -v "$1" '%s' "$_cp_path"
}

# The Windows path of a Unix path below a mapped drive, C: or D:, into the
# variable VAR; win_path prints it.
win_path_to() {  # VAR PATH
  local _wp_path _wp_best="" _wp_letter="" _wp_i _wp_rest
  canonical_path_to _wp_path "$2"
  local -a _wp_dirs=("${DRIVE_C_REAL:-$(realpath -m "$DRIVE_C")}" "${DRIVE_D_REAL:-$(realpath -m "$DRIVE_D")}"
                     ${MAP_DIRS[@]+"${MAP_DIRS[@]}"})
  local -a _wp_letters=(c: d: ${MAP_LETTERS[@]+"${MAP_LETTERS[@]}"})
  for _wp_i in "${!_wp_dirs[@]}"; do
    if [[ "$_wp_path/" == "${_wp_dirs[$_wp_i]}/"* && ${#_wp_dirs[$_wp_i]} -gt ${#_wp_best} ]]; then
      _wp_best=${_wp_dirs[$_wp_i]}; _wp_letter=${_wp_letters[$_wp_i]}
    fi
  done
  [ -n "$_wp_letter" ] || { echo "run-scenario: $_wp_path is on no drive of the prefix" >&2; return 1; }
  _wp_rest=${_wp_path#"$_wp_best"}
  _wp_rest=${_wp_rest//\//\\}
  _wp_letter=${_wp_letter%:}
  printf -v "$1" '%s:%s' "${_wp_letter^^}" "${_wp_rest:-\\}"
}

win_path() {  # PATH
  local windows
  win_path_to windows "$1" || return
  printf '%s\n' "$windows"
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
# nothing, whatever its status, never got to reg: a Wine program started at
# an unlucky moment of the prefix's server fails that way (seen about once in
# ten full runs), and is started again, saying so.
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
reg_escape_to() { local _re_text=${2//\\/\\\\}; printf -v "$1" '%s' "${_re_text//\"/\\\"}"; }  # VAR TEXT
reg_plan() {  # KEY VALUE TYPE DATA
  local key=$1 name type=$3 data=$4 hex="" i
  reg_escape_to name "$2"
  key=${key/#HKLM\\/HKEY_LOCAL_MACHINE\\}; key=${key/#HKCU\\/HKEY_CURRENT_USER\\}
  if [ -z "$REG_PLANNED" ]; then
    REG_PLANNED=$WORK/planted.reg
    printf 'REGEDIT4\r\n' >"$REG_PLANNED"
  fi
  case "$type" in
    REG_SZ)
      reg_escape_to data "$data"
      printf '\r\n[%s]\r\n"%s"="%s"\r\n' "$key" "$name" "$data" >>"$REG_PLANNED" ;;
    REG_EXPAND_SZ)
      # hex(2): the string's bytes and its NUL; regedit widens them itself.
      for ((i = 0; i < ${#data}; i++)); do printf -v hex '%s%02x,' "$hex" "'${data:i:1}"; done
      printf '\r\n[%s]\r\n"%s"=hex(2):%s00\r\n' "$key" "$name" "$hex" >>"$REG_PLANNED" ;;
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

# The host forge into FORGE_TOOL, built when missing; found once, as a
# matrix plants a hundred files.
FORGE_TOOL=""
forge_tool() {
  [ -z "$FORGE_TOOL" ] || return 0
  local forge=${FORGE:-$REPO/build/host/tools/forge/forge}
  if [ ! -x "$forge" ]; then
    echo "run-scenario: building the forge ($forge)" >&2
    (cd "$REPO" && cmake --preset host >/dev/null && cmake --build --preset host --target forge >/dev/null) ||
      { echo "run-scenario: cannot build the forge" >&2; return 1; }
  fi
  FORGE_TOOL=$forge
}

declare -a SAMPLES=()

# Inert samples, each of record N at a Unix path under drive_c or DRIVE_D,
# made by one run of the forge.
plant_samples() {  # N PATH [N PATH]...
  local i
  local -a folders=()
  forge_tool || return 1
  for ((i = 2; i <= $#; i += 2)); do
    [ -d "${!i%/*}" ] || folders+=("${!i%/*}")
    SAMPLES+=("${!i}")
  done
  [ ${#folders[@]} -eq 0 ] || mkdir -p "${folders[@]}"
  "$FORGE_TOOL" inert "$@" || { echo "run-scenario: forge inert $* failed" >&2; return 1; }
}

# An inert sample of record N at a Unix path under drive_c or DRIVE_D.
plant_sample() { plant_samples "$1" "$2"; }  # N PATH

plant_near_miss() {  # N KIND PATH
  forge_tool || return 1
  mkdir -p "${3%/*}"
  "$FORGE_TOOL" nearmiss "$1" "$2" "$3" || { echo "run-scenario: forge nearmiss $1 $2 failed" >&2; return 1; }
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
  forge_tool || return 1
  mkdir -p "${2%/*}"
  local -a width=()
  [ "$APP_WIDTH" = 32 ] && width=(--pe32)
  "$FORGE_TOOL" standin "$1" "$2" ${width[@]+"${width[@]}"} ||
    { echo "run-scenario: forge standin $1 failed" >&2; return 1; }
  SAMPLES+=("$2")
}

# Read-only through the Unix write bits, hidden and system through the
# attribute that Wine keeps in an extended attribute.
make_read_only_hidden_system() {  # PATH
  chmod a-w "$1"
  python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", b"0x7")' "$1"
}
