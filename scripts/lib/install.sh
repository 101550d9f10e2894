# scripts/lib: installs the Debian packages a package list names and this machine lacks.
# Sourced by scripts/run and scripts/test; usage: corvana_install_packages LIST_FILE...
corvana_install_packages() {
  local wanted=() missing=() pkg
  while read -r pkg; do
    [ -n "$pkg" ] && wanted+=("$pkg")
  done < <(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^[[:space:]]*$/d' "$@" | awk '{print $1}' | sort -u)
  for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo="sudo"
    else
      echo "Corvana needs these Debian packages. Install them, then run this again:" >&2
      echo "  sudo apt-get install ${missing[*]}" >&2
      return 1
    fi
  fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq || return 1
  # icecast2 asks questions while installing; the tests write their own configuration.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
