#!/usr/bin/env bash
# Installs the Debian packages the build needs, listed one per line in
# scripts/packages.d/*.txt. Does nothing when all of them are present.
set -euo pipefail
cd "$(dirname "$0")"
mapfile -t wanted < <(cat packages.d/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# Packages of another architecture (name:i386) need it enabled first.
for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then $SUDO dpkg --add-architecture "$arch"; fi
done
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
