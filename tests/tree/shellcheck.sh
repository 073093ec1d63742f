#!/usr/bin/env bash
# Every shell script of the tree, checked by shellcheck with the settings of
# the tree's .shellcheckrc: the files under scripts/, .ci/, tests/, tools/
# and res/ that are shell by their name (*.sh) or by their first line.
#   usage: shellcheck.sh SOURCE_DIR
set -euo pipefail
cd "$1"
command -v shellcheck >/dev/null || { echo "shellcheck is not installed (scripts/setup installs it)"; exit 1; }
scripts=()
while IFS= read -r -d '' file; do
  case "$file" in
    *.sh) scripts+=("$file") ;;
    *) first=""; IFS= read -r first <"$file" || true
       if [[ "$first" =~ ^#!.*[/\ ](ba)?sh$ ]]; then scripts+=("$file"); fi ;;
  esac
done < <(find scripts .ci tests tools res -type f -print0 | sort -z)
[ ${#scripts[@]} -gt 0 ] || { echo "no shell scripts found"; exit 1; }
echo "shellcheck $(shellcheck --version | sed -n 's/^version: //p'): ${#scripts[@]} scripts"
printf '  %s\n' "${scripts[@]}"
shellcheck "${scripts[@]}"
