# Sourced by the scripts that run wine: starts a private X display (no
# network, gone with the script) and points DISPLAY at it.
# Usage: start_private_xvfb FOLDER SCREEN [Xvfb options...]; sets xvfb_pid.
start_private_xvfb() {
    local folder=$1 screen=$2
    shift 2
    Xvfb -displayfd 3 "$@" -nolisten tcp -screen 0 "$screen" 3>"$folder/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$folder/display" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(cat "$folder/display")"
}
