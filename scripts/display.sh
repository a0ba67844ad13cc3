# Sourced by the scripts that run Wine programs.
#   start_virtual_display FIRST SIZE
# starts Xvfb on the first free display number from FIRST with a screen of SIZE (such as
# 1280x1024x24), exports DISPLAY and sets xvfb_pid. Wine's desktop process binds to the display
# it first sees, so the display must exist before any Wine program starts.
start_virtual_display() {
  local n=$1
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "$2" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  return 0
}
