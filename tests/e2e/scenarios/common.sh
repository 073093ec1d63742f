# shellcheck shell=bash
# Facts about the scan window that several scenarios compare against.
# shellcheck disable=SC2034

TITLE="Scourix Ver 1.0"
DESCRIPTION="Scourix Ver 1.0 - Tool to detect and remove all the variants of W32/Morvo Worm "
TITLE_LABEL="for W32/Morvo Worm "
PRODUCT_LINE="This program is a part of Keystrel antivirus software."
PRODUCT_KEY='HKLM\Software\Halvane\Keystrel 2000'
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
STOP_QUESTION="Terminate the Scan now?"
DASHES=------------------------------

# The look shared by both idle states; the product decides the rest.
expect_idle_common() {  # SECTION
  local s=$1
  expect "$s" "title: $TITLE"
  expect "$s" "region: 1"
  expect "$s" "window-size: 600x462"
  expect_control "$s" 1052 1 1 SCAN
  expect_control "$s" 1070 0 0
  expect_visible "$s" 2 0
  expect_visible "$s" 1065 0
  expect_visible "$s" 1064 0
  expect_visible "$s" 1076 0
  expect_visible "$s" 1055 0
  expect_visible "$s" 1034 0
  expect_control "$s" 1054 1 1 X
  expect_visible "$s" 1085 1
  expect_control "$s" 1080 1 1 ULINK
  expect_control "$s" 1074 1 1 "$DESCRIPTION"
  expect_control "$s" 1068 1 1 "$TITLE_LABEL"
  expect_visible "$s" 1072 1
}

# The statistics that close every log, with the counts given; the number
# of files scanned only has to be a positive number here.
expect_statistics() {  # SECTION INFECTED REMOVED
  local -a want=("Scanning statistics" "$DASHES" "" $'Total files infected\t\t:  '"$2" $'Total files removed\t\t:  '"$3")
  [ "$2" -gt 0 ] && want=(" " "${want[@]}")
  local -a have=()
  mapfile -t have < <(section "$1" | grep '^log: ' | tail -n ${#want[@]} | sed 's/^log: //')
  local i scanned=$(( ${#want[@]} - 3 ))
  for i in "${!want[@]}"; do
    if [ "$i" -eq "$scanned" ]; then
      [[ "${have[$i]-}" =~ ^Total\ files\ scanned$'\t\t':\ \ [1-9][0-9]*$ ]] ||
        { fail "[$1] statistics line $((i + 1)) is '${have[$i]-}', not 'Total files scanned<tab><tab>:  N'"; return; }
    elif [ "${have[$i]-}" != "${want[$i]}" ]; then
      fail "[$1] statistics line $((i + 1)) is '${have[$i]-}', not '${want[$i]}'"; return
    fi
  done
  pass
}

# A stopped scan has left files unscanned.
expect_scanned_fewer_than() {  # SECTION COUNT
  local scanned
  scanned=$(section "$1" | sed -n $'s/^log: Total files scanned\t\t:  //p' | tail -n 1)
  if [[ "$scanned" =~ ^[0-9]+$ ]] && [ "$scanned" -lt "$2" ]; then pass
  else fail "[$1] $scanned files scanned, not fewer than $2"; fi
}

# The finished look: OK in place of CANCEL, SCAN for good disabled.
expect_finished_look() {  # SECTION
  expect_control "$1" 1070 1 1 OK
  expect_visible "$1" 2 0
  expect_control "$1" 1052 1 0 SCAN
  expect_visible "$1" 1076 0
  expect_visible "$1" 1055 1
  expect_visible "$1" 1065 1
  expect "$1" "control: 1064 visible=1 enabled=1 text="
}
