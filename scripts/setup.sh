#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt. Idempotent, and
# silent when everything is already there.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done < "$here/packages.txt"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
if (( ${#missing[@]} )); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The operators' locales: scripts/test.sh runs the Release tree's tests under
# tr_TR (a decimal comma and the Turkish dotless i) and fails when the locale
# it names is missing; de_DE and ru_RU are there to run the program in.
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z')
absent=()
for loc in de_DE ru_RU tr_TR; do
  grep -qx "$(tr 'A-Z' 'a-z' <<<"$loc").utf8" <<<"$have" || absent+=("$loc")
done
if (( ${#absent[@]} )); then
  echo "setup: generating the locales ${absent[*]} (UTF-8)"
  for loc in "${absent[@]}"; do
    grep -q "^${loc}.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "${loc}.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  done
  $sudo locale-gen >/dev/null
fi
