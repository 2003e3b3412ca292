# Sourced by the CI scripts. install_missing PACKAGE...: installs those of the
# named Debian packages that the machine lacks (apt-get, through sudo only
# when not root); does nothing when every one is there.
install_missing() {
  local sudo_cmd="" package need=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || need+=("$package")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  echo "Installing: ${need[*]}"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${need[@]}"
}
