# Sourced by make's scripts. start_target TARGET DIR ARGS... starts
# kestrune-target with ARGS in the background (output in DIR/target.out and
# DIR/target.err), sets target_pid, and waits up to 10 s for the
# pseudo-terminal path it prints first, which it puts in port.
# Returns non-zero when no path came.
start_target() {
  local target=$1 dir=$2
  shift 2
  "$target" "$@" >"$dir/target.out" 2>"$dir/target.err" &
  target_pid=$!
  port=
  for _ in $(seq 1 100); do
    port=$(head -n 1 "$dir/target.out" 2>/dev/null || true)
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  return 1
}
