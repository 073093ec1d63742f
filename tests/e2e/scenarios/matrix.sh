# shellcheck shell=bash
# The acceptance matrix: one machine, planted the same way under each Windows
# personality, scanned whole with SCAN.
#
# Planted: a sample of every one of the 98 variant records, spread over C:
# and D: in the normal, read-only, hidden and system states; a running
# stand-in; a sample that another process holds open, which only a restart
# can remove; the worm's Run, RunServices and uninstall entries; an infected
# hosts file where the OS family keeps it. Beside them, clean look-alikes:
# near-miss samples, clean programs named like worm files (one of them
# running, under the held sample's name), an infected hosts file in the
# other family's folder, a service named like the running stand-in whose
# binary is another program, unrelated Run, RunServices, uninstall and
# per-user Run values, and values that name samples only as part of a longer
# name or from a folder named like the system's.
#
# Checked: the whole log, line for line, as the planted machine must give it
# (expected_log.py; the only freedom left to the program is the order in
# which the file system lists a folder); the prompts; the prefix's files and
# the Run, RunServices and Uninstall keys before and after, where nothing may
# change but what the scan had to remove or write; the deletion scheduled for
# the restart, and that a (simulated) restart carries it out. Before the scan,
# two report-only silent runs, one on the scan's thread alone and one on
# worker threads, give the same log and counts.
#
# Where Wine poses a Windows less than faithfully:
# - 98: Wine's ToolHelp gives a process's file name without its folder (real
#   9x gives the full path), so the memory phase cannot find the stand-in's
#   file; the drive walk meets it, cannot delete it, ends the process of
#   that name whose image (read from ToolHelp's module list) is the file, and
#   removes it. The log then names its record, not the family.
# - NT 4: Wine has psapi.dll under every personality; a real NT 4 has it only
#   where the SDK's copy was installed. With it, the memory phase ends the
#   stand-in and removes its file as on later NT versions.
# - NT 4 and 10: the performance data under Wine lists no processes, so the
#   termination by counter-instance name never finds any. For the held file
#   that is what a real system gives too (the holder's name differs from the
#   file's), so the "Could not kill process" box is expected there; a running
#   worm met by the drive walk could not be ended this way under Wine, which
#   is why the stand-in is left to the memory phase on these two.
# - NT 4 and XP: under Wine the memory phase's second termination of the
#   stand-in succeeds, so the service fallback never runs and the look-alike
#   service is checked untouched without being put to the test; the Windows
#   tests play a worm that refuses to die.

MATRIX_HKCU_RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
MATRIX_RUN_SERVICES_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices'
MATRIX_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
MATRIX_WORM_UNINSTALL_KEY="$MATRIX_UNINSTALL_KEY\\rhcjg7j0e38v"
MATRIX_SESSION_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
MATRIX_RESTART_OFFER='The system has to be restarted to remove the virus completely from your system. \n\n Restart now?'

# --- what differs between the personalities ----------------------------------

matrix_personality() {  # PERSONALITY
  MATRIX_PERSONALITY=$1
  case "$1" in
    98) MATRIX_FAMILY=9x MATRIX_SYSTEM=windows/system MATRIX_HOSTS=windows/hosts
        MATRIX_OTHER_HOSTS=windows/system32/drivers/etc/hosts MATRIX_EXPAND='%windir%' ;;
    nt4|xp|10) MATRIX_FAMILY=nt MATRIX_SYSTEM=windows/system32 MATRIX_HOSTS=windows/system32/drivers/etc/hosts
        MATRIX_OTHER_HOSTS=windows/hosts MATRIX_EXPAND='%SystemRoot%' ;;
    *) return 1 ;;
  esac
  # A different record runs under each.
  case "$1" in 98) MATRIX_STANDIN_RECORD=3 ;; nt4) MATRIX_STANDIN_RECORD=1 ;;
    xp) MATRIX_STANDIN_RECORD=50 ;; 10) MATRIX_STANDIN_RECORD=98 ;; esac
}

# --- planting, and the plan that expected_log.py reads ----------------------

# The detection names of the built-in table, record 1 first.
matrix_variant_names() {
  grep -o '"W32/Morvo\.[A-Za-z]*\.Worm"' "$REPO/engine/VariantTable.cpp" | tr -d '"'
}

# Each record's name's middle part, in lower case ("lax"), by record number.
MATRIX_SUFFIX=()
matrix_name_suffixes() {
  local i suffix
  for i in "${!MATRIX_NAMES[@]}"; do
    suffix=${MATRIX_NAMES[$i]#W32/Morvo.}
    suffix=${suffix%.Worm}
    MATRIX_SUFFIX[i + 1]=${suffix,,}
  done
}

matrix_plan() { local IFS=$'\t'; printf '%s\n' "$*" >>"$MATRIX_PLAN"; }

# A sample of record N at a Unix path, in one of four states; the plan
# learns its path, its name and what the scan must do with it. The sample is
# noted here and made with the others by matrix_forge_samples.
matrix_sample() {  # N PATH STATE PHASE OUTCOME
  MATRIX_TO_FORGE+=("$1" "$2")
  case "$3" in
    read-only) MATRIX_READ_ONLY+=("$2") ;;
    hidden) MATRIX_ATTRIBUTES+=("0x2 $2") ;;
    system) MATRIX_ATTRIBUTES+=("0x4 $2") ;;
  esac
  local windows
  win_path_to windows "$2"
  matrix_plan detection "$windows" "${MATRIX_NAMES[$(($1 - 1))]}" "$4" "$5"
}

# The samples that matrix_sample noted, made by one forge run.
matrix_forge_samples() {
  [ ${#MATRIX_TO_FORGE[@]} -eq 0 ] || plant_samples "${MATRIX_TO_FORGE[@]}"
  MATRIX_TO_FORGE=()
}

# Read-only through the Unix write bits; hidden and system live in the
# attribute in which Wine keeps them. One chmod and one Python set them all,
# as starting a process is not cheap.
matrix_apply_attributes() {
  [ ${#MATRIX_READ_ONLY[@]} -eq 0 ] || chmod a-w "${MATRIX_READ_ONLY[@]}"
  printf '%s\n' "${MATRIX_ATTRIBUTES[@]}" | python3 -c '
import os, sys
for line in sys.stdin.read().splitlines():
    value, path = line.split(" ", 1)
    os.setxattr(path, "user.DOSATTRIB", value.encode())'
}

# A registry value, remembered so that the listing can be seen to hold it;
# every value is written at once when the planting is done.
matrix_reg() {  # KEY NAME TYPE DATA
  reg_plan "$@"
  MATRIX_VALUES+=("$1"$'\t'"$2")
}

# A file that must come through the scan byte for byte.
matrix_keep() {  # PATH
  MATRIX_KEPT+=("$1")
}

# The kept files' SHA-256 sums into the associative array VAR, by path, in
# one sha256sum run; a file that is gone has none.
matrix_kept_sums() {  # VAR
  local -n sums=$1
  local line
  sums=()
  # shellcheck disable=SC2034  # the caller's array
  while IFS= read -r -d '' line; do
    sums[${line#*  }]=${line%%  *}
  done < <(sha256sum --zero -- "${MATRIX_KEPT[@]}" 2>/dev/null)
}

# One sample of each record. Folders and states cycle with coprime periods,
# so that every state meets both drives and most folders. The C: root always
# holds a sample: the first find of the walk then comes before C:\windows,
# and on the 9x line the hosts file there is gone before the walk can count it.
matrix_plant_variants() {
  local -a folders=("$DRIVE_C" "$DRIVE_C/Downloads" "$DRIVE_C/Games/Old Stuff"
    "$DRIVE_C/Program Files/Shareware Tools" "$DRIVE_C/$MATRIX_SYSTEM" "$DRIVE_C/windows/temp"
    "$DRIVE_C/Data/a/b/c/d/e/f" "$DRIVE_D" "$DRIVE_D/archive/2003" "$DRIVE_D/mail/attachments"
    "$DRIVE_D/backup/Program Files/Old")
  local -a states=(normal read-only hidden system)
  local -a extensions=(exe dll scr com pif ocx)
  local i name folder
  for ((i = 1; i <= 98; i++)); do
    folder=${folders[$(((i - 1) % ${#folders[@]}))]}
    name="${MATRIX_SUFFIX[i]}$i.${extensions[$((i % ${#extensions[@]}))]}"
    (( i % 9 == 0 )) && name="setup ${MATRIX_SUFFIX[i]} $i.exe"
    case "$i" in
      5) folder=$DRIVE_C/$MATRIX_SYSTEM; name=kqysvc.exe ;;    # started by a bare Run value
      20) folder=$DRIVE_C/$MATRIX_SYSTEM; name=uvohelp.dll ;;  # started through an environment reference
      10) folder=$DRIVE_D/tools ;;                             # started from RunServices
      30) folder=$DRIVE_D/backup/system32 ;;                   # named like the system folder, elsewhere
    esac
    MATRIX_SAMPLE[i]=$folder/$name
    matrix_sample "$i" "${MATRIX_SAMPLE[$i]}" "${states[$(((i - 1) % 4))]}" walk removed
  done
}

# The worm's start-up values (quoted path, bare name in the system folder,
# environment reference, RunServices), its uninstall entry and fixed Run
# value, and the infected hosts file of this OS family.
matrix_plant_worm_entries() {
  local system_win
  system_win=$(win_path "$DRIVE_C/$MATRIX_SYSTEM")
  matrix_reg "$RUN_KEY" LaxStart REG_SZ "\"$(win_path "${MATRIX_SAMPLE[1]}")\" /s"
  matrix_reg "$RUN_KEY" KqySvc REG_SZ "kqysvc.exe"
  matrix_reg "$RUN_KEY" UvoHelp REG_EXPAND_SZ "\"$MATRIX_EXPAND\\${system_win#C:\\windows\\}\\uvohelp.dll\",Start"
  matrix_reg "$MATRIX_RUN_SERVICES_KEY" MaeService REG_SZ "$(win_path "${MATRIX_SAMPLE[10]}") -service"
  matrix_reg "$MATRIX_WORM_UNINSTALL_KEY" UninstallString REG_SZ 'C:\WINDOWS\uninstall.exe /q'
  matrix_reg "$MATRIX_WORM_UNINSTALL_KEY" DisplayName REG_SZ 'rhcjg7j0e38v'
  # Named like one of the worm's start-up values, but starting the clean
  # program planted as C:\windows\rhcjg7j0e38v.exe: the remembered name only
  # nominates, so it stays.
  matrix_reg "$MATRIX_WORM_UNINSTALL_KEY" LaxStart REG_SZ 'C:\WINDOWS\rhcjg7j0e38v.exe'
  matrix_reg "$RUN_KEY" SMrhcjg7j0e38v REG_SZ 'C:\WINDOWS\rhcjg7j0e38v.exe'
  "$FORGE_TOOL" hosts "$DRIVE_C/$MATRIX_HOSTS"
  matrix_plan hosts "$(win_path "$DRIVE_C/$MATRIX_HOSTS")"
  matrix_plan env SystemRoot 'C:\windows'
  matrix_plan env windir 'C:\windows'
  # Where a bare command may start a file from: the system folder and the
  # Windows folder's "system".
  matrix_plan systemfolder 'C:\windows\system32'
  matrix_plan systemfolder 'C:\windows\system'
}

# A stand-in that runs, started by a RunServices value, and a sample that
# the driver will hold open. On the NT line the memory phase finds the
# stand-in; on the 9x line the drive walk does (see the top).
matrix_plant_running() {
  MATRIX_STANDIN=$DRIVE_C/Running/${MATRIX_SUFFIX[MATRIX_STANDIN_RECORD]}-running.exe
  plant_stand_in "$MATRIX_STANDIN_RECORD" "$MATRIX_STANDIN"
  matrix_reg "$MATRIX_RUN_SERVICES_KEY" StandIn REG_SZ "$(win_path "$MATRIX_STANDIN") -svc"
  local phase=walk
  [ "$MATRIX_FAMILY" = nt ] && phase=memory
  matrix_plan detection "$(win_path "$MATRIX_STANDIN")" "${MATRIX_NAMES[$((MATRIX_STANDIN_RECORD - 1))]}" \
    "$phase" removed
  # Long names, so that wininit.ini must get the short form. On D:, so that
  # on the 9x line wininit.ini appears after the walk has left C:.
  MATRIX_HELD="$DRIVE_D/Locked Files/abvm sample.exe"
  matrix_sample 47 "$MATRIX_HELD" normal walk unable
  # A clean program of the held sample's name, running from another folder:
  # a stand-in one byte too long for any record.
  MATRIX_NAMESAKE="$DRIVE_C/Program Files/Tool/$(basename "$MATRIX_HELD")"
  plant_stand_in 47 "$MATRIX_NAMESAKE"
  printf '\0' >>"$MATRIX_NAMESAKE"
  matrix_keep "$MATRIX_NAMESAKE"
}

matrix_plant_look_alikes() {
  local entry kind record folder i=0
  for entry in first-byte:1 second-byte:3 size-plus-one:10 size-minus-one:50 21-sections:98 \
               first-byte:20 second-byte:47; do
    kind=${entry%:*}; record=${entry#*:}
    folder=$DRIVE_C/Downloads; (( i++ % 2 )) && folder=$DRIVE_D/archive/2003
    plant_near_miss "$record" "$kind" "$folder/${MATRIX_SUFFIX[record]}-$kind.exe"
    matrix_keep "$folder/${MATRIX_SUFFIX[record]}-$kind.exe"
  done
  # A clean program under the worm's file names and under samples' names.
  local name
  for name in "$DRIVE_C/windows/rhcjg7j0e38v.exe" "$DRIVE_C/windows/uninstall.exe" \
      "$DRIVE_C/Tools/$(basename "${MATRIX_SAMPLE[1]}")" "$DRIVE_D/archive/2003/kqysvc.exe" \
      "$DRIVE_C/Program Files/Tool/$(basename "$MATRIX_STANDIN")"; do
    mkdir -p "$(dirname "$name")"
    cp "$DRIVE_C/windows/notepad.exe" "$name"
    matrix_keep "$name"
  done
  # Infected, but where only the other OS family keeps its hosts file.
  mkdir -p "$(dirname "$DRIVE_C/$MATRIX_OTHER_HOSTS")"
  "$FORGE_TOOL" hosts "$DRIVE_C/$MATRIX_OTHER_HOSTS"
  matrix_keep "$DRIVE_C/$MATRIX_OTHER_HOSTS"
  plant_clean "$DRIVE_C/Downloads/letter.txt" "a letter"
  plant_clean "$DRIVE_D/archive/readme.txt" "not a program"
  matrix_keep "$DRIVE_C/Downloads/letter.txt"
  matrix_keep "$DRIVE_D/archive/readme.txt"
  matrix_reg "$RUN_KEY" Unrelated REG_SZ 'C:\Program Files\tool\tool.exe'
  matrix_reg "$RUN_KEY" LookAlike REG_SZ "\"$(win_path "$DRIVE_C/Tools/$(basename "${MATRIX_SAMPLE[1]}")")\" /s"
  matrix_reg "$RUN_KEY" Notes REG_SZ "notepad.exe $(win_path "$DRIVE_C/Downloads/letter.txt")"
  # Bare, but the sample of that name lies outside the system folders.
  matrix_reg "$MATRIX_RUN_SERVICES_KEY" UnrelatedService REG_SZ "$(basename "${MATRIX_SAMPLE[1]}")"
  matrix_reg "$MATRIX_UNINSTALL_KEY\\SomeTool" UninstallString REG_SZ 'C:\Program Files\SomeTool\uninstall.exe'
  # The program cleans the machine's keys, not the user's.
  matrix_reg "$MATRIX_HKCU_RUN_KEY" LaxUser REG_SZ "\"$(win_path "${MATRIX_SAMPLE[1]}")\" /s"
  # Named like samples, but only as part of a longer name: a bare command
  # ending in a system-folder sample's name, and a path that continues past
  # a sample's path.
  matrix_reg "$RUN_KEY" CtfLike REG_SZ "ctf$(basename "${MATRIX_SAMPLE[5]}") /n"
  matrix_reg "$MATRIX_RUN_SERVICES_KEY" OldCopy REG_SZ "$(win_path "${MATRIX_SAMPLE[10]}")_old.exe -service"
  # Bare, and the sample of that name lies in a folder named system32 that
  # is not the system's.
  matrix_reg "$RUN_KEY" FakeSystem REG_SZ "$(basename "${MATRIX_SAMPLE[30]}")"
  # A service named like the running stand-in's file, whose binary is the
  # clean program of the stand-in's name, with keys in both numbered control
  # sets (Wine has none of its own).
  MATRIX_SERVICE=$(basename "$MATRIX_STANDIN" .exe)
  in_prefix sc create "$MATRIX_SERVICE" binPath= "\"$(win_path "$DRIVE_C/Program Files/Tool/$(basename "$MATRIX_STANDIN")")\" -k" \
    start= demand </dev/null >/dev/null 2>&1 || fail "sc create $MATRIX_SERVICE failed"
  local set sub
  for set in ControlSet001 ControlSet002; do
    for sub in "" '\Enum' '\Security'; do
      reg_plan "HKLM\\SYSTEM\\$set\\Services\\$MATRIX_SERVICE$sub" Marker REG_SZ kept
    done
  done
}

# --- listings -----------------------------------------------------------------

# The prefix's files (C: apart) and both drives; the four keys.
matrix_listings() {  # WHEN
  python3 "$HERE/lib/disk_listing.py" "C:=$DRIVE_C" "D:=$DRIVE_D" "prefix=$PREFIX" >"$WORK/disk-$1.txt"
  local key
  for key in "$RUN_KEY" "$MATRIX_RUN_SERVICES_KEY" "$MATRIX_UNINSTALL_KEY" "$MATRIX_HKCU_RUN_KEY"; do
    reg_run query "$key" /s || true
  done | python3 "$HERE/lib/registry_listing.py" >"$WORK/registry-$1.txt"
}

# Every planted value shows in the listing: an empty or broken listing would
# make the comparison after the scan worthless.
matrix_check_listed_values() {
  local entry key name missing=0
  for entry in "${MATRIX_VALUES[@]}"; do
    key=${entry%%$'\t'*}; name=${entry#*$'\t'}
    key=${key/#HKLM/HKEY_LOCAL_MACHINE}; key=${key/#HKCU/HKEY_CURRENT_USER}
    if ! grep -qiF -- "$key"$'\t'"$name"$'\t' "$WORK/registry-before.txt"; then
      fail "the registry listing lacks $key \\ $name"; missing=1
    fi
  done
  [ "$missing" -eq 1 ] || pass
}

# Turns the PASS and FAIL lines of a checking script, and the "status N"
# line that follows them, into counted checks.
matrix_count_checks() {
  local line checks=0
  while IFS= read -r line; do
    case "$line" in
      "PASS "*) pass; checks=$((checks + 1)) ;;
      "FAIL "*) fail "${line#FAIL }"; checks=$((checks + 1)) ;;
      "status 0") [ "$checks" -gt 0 ] || fail "the check script checked nothing" ;;
      "status "*) fail "the check script ended with ${line#status }" ;;
      *) fail "unexpected output of a check: $line" ;;
    esac
  done
}

# --- running ------------------------------------------------------------------

matrix_start_holders() {
  start_in_prefix "$MATRIX_STANDIN"
  MATRIX_STANDIN_PID=$BACKGROUND_PID
  start_in_prefix "$MATRIX_NAMESAKE"
  MATRIX_NAMESAKE_PID=$BACKGROUND_PID
  # On the NT line mapped, as a loaded DLL is: it can be moved into the
  # administrators' folder for the restart, not deleted. The 9x line has no
  # moves; there it is held open with read sharing only.
  if [ "$MATRIX_FAMILY" = 9x ]; then expect_held "$MATRIX_HELD" 900; else expect_held "$MATRIX_HELD" 900 mapped; fi
  # The memory phase must meet both.
  expect_started "$MATRIX_STANDIN_PID" "$MATRIX_STANDIN" "the stand-in"
  expect_started "$MATRIX_NAMESAKE_PID" "$MATRIX_NAMESAKE" "the held sample's namesake"
}

# Files that the drive walk hands to the check: all on C: and D:, less those
# gone before the walk reaches them (the hosts file at the first find, and on
# the NT line the stand-in, removed by the memory phase).
matrix_files_scanned() {
  local files
  files=$(awk -F'\t' '$2 == "file" && $1 ~ /^[CD]:/' "$WORK/disk-before.txt" | wc -l)
  files=$((files - 1))
  [ "$MATRIX_FAMILY" = nt ] && files=$((files - 1))
  echo "$files"
}

# --- checks after the scan ------------------------------------------------------

# Two sorted lists of lines, equal; otherwise the lines that differ.
matrix_expect_same_lines() {  # WHAT ACTUAL EXPECTED
  local extra missing
  extra=$(LC_ALL=C comm -23 <(echo "$2") <(echo "$3") | sed '/^$/d')
  missing=$(LC_ALL=C comm -13 <(echo "$2") <(echo "$3") | sed '/^$/d')
  if [ -z "$extra" ] && [ -z "$missing" ]; then pass; return; fi
  fail "$1: $(echo "$extra" | sed '/^$/d; s/^/+ /' | paste -sd ';') $(echo "$missing" | sed '/^$/d; s/^/- /' | paste -sd ';')"
}

matrix_check_prompts() {
  expect scan "status: Scanning completed"
  expect_finished_look state
  expect close "closed: 1"
  expect close "exit-code: 0"
  local dialogs=1
  if [ "$MATRIX_PERSONALITY" != xp ]; then
    # 9x: no process has the file's name; NT 4 and 10: no counter instance
    # has. On XP the search by module path ends quietly.
    expect scan "dialog: $(win_path "$MATRIX_HELD") | Could not kill process"
    dialogs=2
  fi
  expect scan "dialog: $TITLE | $MATRIX_RESTART_OFFER"
  expect scan "dialog-buttons: 6 7"
  expect scan "answer: no"
  expect_count scan '^dialog: ' "$dialogs"
  expect_ended "$MATRIX_STANDIN_PID" "the stand-in"
  if kill -0 "$MATRIX_NAMESAKE_PID" 2>/dev/null; then pass; else fail "the held sample's namesake was ended"; fi
}

# The look-alike service is still installed, and its keys in the numbered
# control sets are all there.
matrix_check_service() {
  expect_equal "the look-alike service's binary" \
    "$(reg_value "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$MATRIX_SERVICE" ImagePath || true)" \
    "\"$(win_path "$DRIVE_C/Program Files/Tool/$(basename "$MATRIX_STANDIN")")\" -k"
  local set sub
  for set in ControlSet001 ControlSet002; do
    for sub in "" '\Enum' '\Security'; do
      expect_equal "HKLM\\SYSTEM\\$set\\Services\\$MATRIX_SERVICE$sub" \
        "$(reg_value "HKLM\\SYSTEM\\$set\\Services\\$MATRIX_SERVICE$sub" Marker || true)" kept
    done
  done
}

matrix_check_disk() {
  local -a removed=("$(win_path "$DRIVE_C/$MATRIX_HOSTS")") added=()
  local kind path outcome name
  while IFS=$'\t' read -r kind path _ _ outcome; do
    [ "$kind" = detection ] && [ "$outcome" = removed ] && removed+=("$path")
  done <"$MATRIX_PLAN"
  [ "$MATRIX_FAMILY" = 9x ] && added+=('C:\windows\wininit.ini')
  if [ "$MATRIX_FAMILY" = nt ]; then
    # The held sample went, through its handle, into D:\Scourix.Removed.
    MATRIX_MOVED=$(find "$DRIVE_D/Scourix.Removed" -type f 2>/dev/null | head -n 1)
    removed+=("$(win_path "$MATRIX_HELD")")
    added+=("D:\\Scourix.Removed\\")
    if [ -n "$MATRIX_MOVED" ]; then added+=("$(win_path "$MATRIX_MOVED")"); fi
  fi
  # Left out: the registry's hive files of the machine and the user. The
  # wineserver writes them out whenever it saves the registry (every so
  # often, and when it ends), so they differ whatever the scan did; the keys
  # are compared one by one instead. Nothing else of the prefix or the
  # drives may change.
  local hives='^prefix\\(system|user)\.reg'$'\t' gone new
  gone=$(LC_ALL=C comm -23 "$WORK/disk-before.txt" "$WORK/disk-after.txt" | { grep -Ev "$hives" || true; } | cut -f1 | LC_ALL=C sort)
  new=$(LC_ALL=C comm -13 "$WORK/disk-before.txt" "$WORK/disk-after.txt" | { grep -Ev "$hives" || true; } | cut -f1 | LC_ALL=C sort)
  matrix_expect_same_lines "what left the disk" "$gone" "$(printf '%s\n' "${removed[@]}" | LC_ALL=C sort)"
  matrix_expect_same_lines "what came onto the disk or changed" "$new" \
    "$(printf '%s\n' "${added[@]}" | sed '/^$/d' | LC_ALL=C sort)"
  if [ "$MATRIX_FAMILY" = 9x ]; then expect_present "$MATRIX_HELD"; else expect_present "${MATRIX_MOVED:-$DRIVE_D/Scourix.Removed/?}"; fi
  local -A after=()
  matrix_kept_sums after
  for name in "${MATRIX_KEPT[@]}"; do
    if [ -n "${after[$name]:-}" ] && [ "${after[$name]}" = "${MATRIX_KEPT_HASH[$name]}" ]; then pass
    else fail "the look-alike $name is gone or changed"; fi
  done
}

# The held file waits for the restart: in wininit.ini on the 9x line, in the
# delayed-move list on the NT line (moved first into D:\Scourix.Removed). A
# restart (wineboot -r) then removes it.
matrix_check_restart_deletion() {
  local held_win pending
  held_win=$(win_path "$MATRIX_HELD")
  pending=$(reg_value "$MATRIX_SESSION_KEY" PendingFileRenameOperations || true)
  if [ "$MATRIX_FAMILY" = 9x ]; then
    # One entry, NUL= the held file's short form: 8.3 names only. Which short
    # names Wine made up is its own affair; that they name the file shows
    # when the restart deletes it.
    local text short='[A-Z0-9~_!#$%&()@^{}-]{1,8}(\.[A-Z0-9~_!#$%&()@^{}-]{1,3})?'
    text=$(cat "$DRIVE_C/windows/wininit.ini" 2>/dev/null; echo .)
    text=${text%.}
    local entry="^\\[rename\\]"$'\r\n'"NUL=D:(\\\\$short)+"$'\r\n'"\$"
    if [[ "$text" =~ $entry ]]; then pass
    else fail "wininit.ini is not [rename] NUL=<short form of $held_win>: '$text'"; fi
    expect_equal "the NT line's delayed-move list" "$pending" ""
  else
    # reg shows the list's strings joined by "\0": the path, then its empty target.
    expect_equal "the delayed-move list" "$pending" "\\??\\$(win_path "${MATRIX_MOVED:-$DRIVE_D/Scourix.Removed/?}")\\0"
    expect_gone "$DRIVE_C/windows/wininit.ini"
  fi
  prefix_stop
  in_prefix wineboot -r </dev/null >/dev/null 2>&1 || true
  prefix_stop
  expect_gone "$MATRIX_HELD"
  if [ "$MATRIX_FAMILY" = nt ]; then expect_gone "${MATRIX_MOVED:-$DRIVE_D/Scourix.Removed/?}"; fi
}

# The log lines and the [Result] block of the last run in the log file, less
# the time it ended.
matrix_silent_outcome() {
  tr -d '\r' <"$WORK/scourix-run.log" |
    awk '/^\[Scourix run\]$/ { n = 0; inside = 0; delete lines }
         /^\[Log\]$/ { inside = 1 }
         inside && !/^Ended: / { lines[++n] = $0 }
         END { for (i = 1; i <= n; i++) print lines[i] }'
}

# The silent run prepares folders on worker threads ahead of its walk: its log
# and counts must be those of the walk on the scan's thread alone. Both runs
# report only, so that they meet the same machine.
matrix_check_silent_threads() {
  local single threaded
  SILENT_RUN_LOG=$(win_path "$WORK/scourix-run.log")
  SCOURIX_WALK_THREADS=1 silent_run /silent /report /log "$SILENT_RUN_LOG"
  single=$(matrix_silent_outcome)
  SCOURIX_WALK_THREADS=4 silent_run /silent /report /log "$SILENT_RUN_LOG"
  threaded=$(matrix_silent_outcome)
  # Both must have walked the planted drives, or their likeness proves nothing.
  if [ "$(sed -n 's/^Files scanned: //p' <<<"$single")" -ge "$(matrix_files_scanned)" ]; then pass
  else fail "the single-threaded silent run scanned too few files: $(grep '^Files scanned' <<<"$single")"; fi
  expect_equal "the silent run's log and counts on worker threads" "$threaded" "$single"
}

# --- the scenario ---------------------------------------------------------------

matrix() {  # PERSONALITY
  matrix_personality "$1" || { fail "no matrix for personality $1"; return; }
  prefix_create "$1"
  MATRIX_PLAN=$WORK/plan.tsv
  : >"$MATRIX_PLAN"
  MATRIX_KEPT=() MATRIX_ATTRIBUTES=() MATRIX_VALUES=() MATRIX_SAMPLE=() MATRIX_READ_ONLY=() MATRIX_TO_FORGE=()
  declare -gA MATRIX_KEPT_HASH=()
  forge_tool
  mapfile -t MATRIX_NAMES < <(matrix_variant_names)
  matrix_name_suffixes
  expect_equal "records in the variant table" "${#MATRIX_NAMES[@]}" 98

  matrix_plant_variants
  matrix_plant_worm_entries
  matrix_plant_running
  matrix_plant_look_alikes
  matrix_forge_samples
  matrix_kept_sums MATRIX_KEPT_HASH
  reg_import_planned || fail "regedit could not write the planted values"
  matrix_apply_attributes
  matrix_start_holders
  expect_equal "the delayed-move list of the fresh prefix" \
    "$(reg_value "$MATRIX_SESSION_KEY" PendingFileRenameOperations || true)" ""
  matrix_listings before
  matrix_check_listed_values
  matrix_check_silent_threads
  matrix_plan scanned "$(matrix_files_scanned)"

  local started=$SECONDS
  app_start
  drive --timeout 600 scan --restart no state
  echo "run-scenario: the scan took $((SECONDS - started)) s"
  screenshot
  drive close || true

  matrix_check_prompts
  matrix_listings after
  # Not a pipe: the counting must happen in this shell.
  matrix_count_checks < <(python3 "$HERE/lib/expected_log.py" "$MATRIX_PLAN" "$OUT" \
    "$WORK/registry-before.txt" "$WORK/registry-after.txt" 2>&1; echo "status $?")
  matrix_check_disk
  matrix_check_service
  matrix_check_restart_deletion
}

scenario_matrix_98() { matrix 98; }
scenario_matrix_nt4() { matrix nt4; }
scenario_matrix_xp() { matrix xp; }
scenario_matrix_10() { matrix 10; }
