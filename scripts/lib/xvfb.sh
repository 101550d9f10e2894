# scripts/lib: starts a private Xvfb display for the end-to-end tests, and stops it.
# Sourced; usage: corvana_start_xvfb (sets DISPLAY and CORVANA_XVFB_PID), corvana_stop_xvfb.
corvana_start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ] && continue
    # -noreset: otherwise the server resets when its last client leaves, and a program started just then is
    # refused ("could not connect to display"); a test that starts the program twice meets that at random.
    Xvfb ":$n" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset >/dev/null 2>&1 &
    CORVANA_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$CORVANA_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$CORVANA_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

corvana_stop_xvfb() {
  if [ -n "${CORVANA_XVFB_PID:-}" ]; then
    kill "$CORVANA_XVFB_PID" 2>/dev/null || true
    wait "$CORVANA_XVFB_PID" 2>/dev/null || true
    CORVANA_XVFB_PID=""
  fi
}
