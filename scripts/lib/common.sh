# Shared by the scripts in scripts/: package installation and the build.
# shellcheck shell=bash

NIMBROOK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
NIMBROOK_BUILD_DIR="${NIMBROOK_BUILD_DIR:-$NIMBROOK_ROOT/build}"

# What building needs, on Debian 12 and 13 alike.
NIMBROOK_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libavahi-client-dev libxcb1-dev libglib2.0-dev libsimdjson-dev
  libgtest-dev libbenchmark-dev
)
# From Debian 13 on: Qt 6's layer-shell, with which the panel goes by the tray
# on Wayland compositors that offer it (Plasma's KWin, sway).
if [ "$(. /etc/os-release && echo "${VERSION_ID%%.*}")" -ge 13 ] 2>/dev/null; then
  NIMBROOK_BUILD_PACKAGES+=(liblayershellqtinterface-dev libwayland-dev)
fi

# What running needs: the system bus and Avahi for the local network, and
# xdg-open to hand vnc:// addresses to the desktop.
NIMBROOK_RUNTIME_PACKAGES=(
  dbus avahi-daemon xdg-utils
)

# What the tests need besides: a real avahi-daemon with a peer host in a
# network namespace, the stand-in tool's report generator, openssl for the
# updater's test server, an X server with a tray for the end-to-end test, a
# real VNC server and a real viewer (x11vnc, Remmina), and clang-format, which
# checks that the sources are formatted.
NIMBROOK_TEST_PACKAGES=(
  dbus avahi-daemon avahi-utils python3 python3-zeroconf iproute2 openssl
  xvfb xauth x11-utils xdotool imagemagick trayer xdg-utils clang-format
  x11vnc remmina remmina-plugin-vnc
)

# The desktops of the end-to-end tests: X11 with a StatusNotifierItem host
# (xfce4-panel, xfwm4), Wayland with one (sway, waybar, with a virtual
# pointer built from source and wtype as keyboard), Wayland without any
# (weston), and what reads the exported item and menu (busctl, jq, a
# StatusNotifierWatcher in python3-dbus).
NIMBROOK_DESKTOP_PACKAGES=(
  xfce4-panel xfwm4 sway waybar wtype grim weston qt6-wayland
  jq systemd python3-dbus python3-gi gcc libc6-dev libwayland-dev dbus-daemon
  fonts-dejavu-core fonts-noto-core at-spi2-core python3-pyatspi xclip
)
# GNOME and Plasma, each as little of it as runs its shell and tray; with their
# recommendations they would bring whole sessions.
NIMBROOK_SHELL_PACKAGES=(
  gnome-shell gnome-shell-extension-appindicator gsettings-desktop-schemas dconf-service dconf-cli
  plasma-desktop kwin-x11 kded5 breeze
  xdg-desktop-portal xdg-desktop-portal-gtk xdg-desktop-portal-kde
)

# GNOME's end-to-end test on Debian 13: its shell with the AppIndicator
# extension, the GTK portal, and what the test reads the session with.
NIMBROOK_GNOME_PACKAGES=(
  gnome-shell gnome-shell-extension-appindicator gsettings-desktop-schemas dconf-service dconf-cli
  libglib2.0-bin xdg-desktop-portal xdg-desktop-portal-gtk jq systemd python3-dbus python3-gi
  dbus-daemon fonts-dejavu-core imagemagick
)

# Plasma's end-to-end test on Debian 13: Plasma 6 on Wayland, its KWin showing
# its screen on Xvfb, and what the test drives and reads it with.
NIMBROOK_PLASMA6_PACKAGES=(
  plasma-desktop kwin-wayland kded6 kactivitymanagerd breeze qt6-wayland xdg-desktop-portal-kde
  xvfb x11-utils xdotool imagemagick jq systemd dbus-daemon dbus-bin fonts-dejavu-core
)

# What a release root made with debootstrap lacks besides, for the tests.
NIMBROOK_RELEASE_ROOT_PACKAGES=(procps)

# What checking the Debian package needs.
NIMBROOK_PACKAGE_PACKAGES=(dpkg-dev lintian appstream desktop-file-utils man-db groff-base)

# What the fuzzers need: clang with its libFuzzer and sanitizer runtimes.
# libclang-rt-dev follows the release's default clang.
NIMBROOK_FUZZ_PACKAGES=(clang libclang-rt-dev)

say() { printf '==> %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Installs the Debian packages among "$@" that are missing; silent when none is.
# ensure_packages [--no-recommends] PACKAGE...
ensure_packages() {
  local missing=() package recommends=()
  if [ "${1:-}" = --no-recommends ]; then recommends=(--no-install-recommends); shift; fi
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  if [ "$(id -u)" -ne 0 ]; then
    die "missing packages: ${missing[*]} (run as root, or install them with apt-get)"
  fi
  say "installing ${missing[*]}"
  local log
  log="$(mktemp)"
  if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${recommends[@]}" "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    die "could not install: ${missing[*]}"
  fi
  rm -f "$log"
}

# Configures (once) and builds the tree in $NIMBROOK_BUILD_DIR with the given preset.
build_tree() {
  local preset="$1"; shift
  if [ ! -f "$NIMBROOK_BUILD_DIR/CMakeCache.txt" ]; then
    say "configuring ($preset)"
    cmake -S "$NIMBROOK_ROOT" -B "$NIMBROOK_BUILD_DIR" --preset "$preset" "$@" >/dev/null \
      || cmake -S "$NIMBROOK_ROOT" -B "$NIMBROOK_BUILD_DIR" --preset "$preset" "$@"
  else
    cmake -S "$NIMBROOK_ROOT" -B "$NIMBROOK_BUILD_DIR" "$@" >/dev/null
  fi
  say "building"
  cmake --build "$NIMBROOK_BUILD_DIR" --parallel "$(nproc)"
}
