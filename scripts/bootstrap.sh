#!/usr/bin/env bash
# Installs whatever the build and the tests need and is not yet on this machine.
# Debian packages need root; pip packages go into the active Python environment.
set -euo pipefail

PYTHON=${PYTHON:-python3}
APT_PACKAGES=(g++ cmake ninja-build pkg-config libpcre2-dev libtomlplusplus-dev
              nlohmann-json3-dev libyaml-dev libgtest-dev clang-format)

missing=()
for pkg in "${APT_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
# A cmake or ninja from pip is as good as Debian's.
if [[ " ${missing[*]} " == *" cmake "* ]] && command -v cmake >/dev/null; then
  missing=("${missing[@]/cmake/}")
fi
if [[ " ${missing[*]} " == *" ninja-build "* ]] && command -v ninja >/dev/null; then
  missing=("${missing[@]/ninja-build/}")
fi
read -r -a missing <<<"${missing[*]:-}"

if ((${#missing[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  echo "bootstrap: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

pip_missing=()
"$PYTHON" -c "import pytest" 2>/dev/null || pip_missing+=("pytest>=7")
"$PYTHON" -c "import scikit_build_core" 2>/dev/null || pip_missing+=("scikit-build-core>=0.8")
"$PYTHON" -c "import jsonschema" 2>/dev/null || pip_missing+=("jsonschema>=4")
command -v cmake >/dev/null || pip_missing+=("cmake>=3.20")
command -v ninja >/dev/null || pip_missing+=("ninja")
if ((${#pip_missing[@]})); then
  echo "bootstrap: pip installing ${pip_missing[*]}"
  "$PYTHON" -m pip install -q "${pip_missing[@]}"
fi
