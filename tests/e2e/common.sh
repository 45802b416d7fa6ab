# What every end-to-end script uses (sourced; bash; $work must be set before
# fail is called).
fail() {
  echo "FAIL: $*"
  echo "--- nimbrook log"; cat "$work/app.log" 2>/dev/null
  [ ! -s "$work/xvfb.log" ] || { echo "--- Xvfb log"; tail -5 "$work/xvfb.log"; }
  exit 1
}
wait_for() { # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
need_tools() { # exit 77 (skip) when one is missing
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "skipping: $tool is not installed"; exit 77; }
  done
}
