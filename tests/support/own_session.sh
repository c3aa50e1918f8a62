# Sourced by the test scripts that start VCXMSet or QVDraw3 (directly or
# through scripts/run). own_session ROOT: what they start from here on runs in
# a session of its own inside ROOT: its runtime folder (mode 0700, where the
# single-instance lock and the named windows' sockets are made, one set per
# user), home, settings and data folders, and no simulator control socket of
# the caller's; so a VCXMSet the user runs on the same desktop is neither found
# nor in the way.
own_session() {
  local root=$1
  mkdir -p "$root/run" "$root/home"
  chmod 700 "$root/run"
  export XDG_RUNTIME_DIR="$root/run" HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" \
         XDG_DATA_HOME="$root/home/.local/share" XDG_CONFIG_DIRS="$root/etc"
  unset QV_SIM_CONTROL
}
