#!/usr/bin/env bash
# The hardening that the build files ask for, read back from the programs'
# PE headers: relocatable (DYNAMIC_BASE, with its relocation table), DEP
# (NX_COMPAT), HIGH_ENTROPY_VA on x86_64, and the stack protector's canary.
#   pe-hardening.sh OBJDUMP EXE x86_64|i686 [OBJDUMP EXE x86_64|i686 ...]
set -uo pipefail
status=0
while [ $# -ge 3 ]; do
  objdump=$1 exe=$2 arch=$3
  shift 3
  if ! headers=$("$objdump" -p "$exe" 2>&1); then
    echo "FAIL $exe: cannot be read ($headers)"; status=1; continue
  fi
  wanted=(DYNAMIC_BASE NX_COMPAT)
  [ "$arch" = x86_64 ] && wanted+=(HIGH_ENTROPY_VA)
  # The names objdump prints under DllCharacteristics, up to the next field.
  flags=$(echo "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')
  for flag in "${wanted[@]}"; do
    if grep -qw "$flag" <<<"$flags"; then echo "PASS $exe: $flag"
    else echo "FAIL $exe: $flag missing"; status=1; fi
  done
  # ASLR needs something to relocate with: a base relocation table of some size.
  if grep -Eq '^Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation Directory' <<<"$headers"; then
    echo "PASS $exe: base relocation table"
  else
    echo "FAIL $exe: no base relocation table"; status=1
  fi
  if grep -q '__stack_chk_fail' <<<"$("$objdump" -t "$exe")"; then echo "PASS $exe: stack protector"
  else echo "FAIL $exe: no stack protector"; status=1; fi
done
exit $status
