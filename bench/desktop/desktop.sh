# SPDX-License-Identifier: MIT
# shellcheck shell=bash disable=SC2154  # bench and work are the caller's
# What the desktop benchmarks share, sourced by bench/desktop/cpu and bench/desktop/latency: a
# virtual display, the private sound server of each environment, the builds of the meter to
# measure, and finding and clicking windows. The caller sets bench (its name, for messages),
# root (the source tree) and work (its scratch directory), and calls desktop_cleanup on exit.

# The environments a measurement runs in, by name:
#   pulseaudio  a plain private pulseaudio: a null sink, its monitor remapped as the default
#               source, nothing else
#   pipewire    pipewire, pipewire-pulse and wireplumber at their stock clock and quantum
#   paced       the test server: pulseaudio with its 10 ms pacer, for comparison only
environments=${SONAVIK_BENCH_SERVERS:-pulseaudio pipewire}

bench_fail() {
  echo "$bench: $*" >&2
  exit 1
}

check_environments() {
  local env
  for env in $environments; do
    case $env in
      pulseaudio | pipewire | paced) ;;
      *) echo "$bench: SONAVIK_BENCH_SERVERS names pulseaudio, pipewire or paced, not $env" >&2; exit 2 ;;
    esac
  done
}

environment_title() {
  case $1 in
    pulseaudio) echo "plain pulseaudio (no pacer)" ;;
    pipewire) echo "PipeWire with pipewire-pulse and wireplumber, stock clock and quantum" ;;
    paced) echo "the paced test server (pulseaudio with a 10 ms loopback; not what users run)" ;;
  esac
}

need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || bench_fail "$tool is missing (scripts/install-deps)"
  done
}

# The builds to measure: SONAVIK_BUILD_DIR, or several separated by ':' to measure them back to
# back in each round (a change against its base). With several, each row is labelled by its
# build directory's last two path components (a source tree's commit may have moved on since
# its build).
builds=()
build_labels=()
prepare_builds() {
  local build label
  IFS=: read -r -a builds <<<"${SONAVIK_BUILD_DIR:-$root/build}"
  for build in "${builds[@]}"; do
    if [[ ! -x $build/app/sonavik ]]; then
      if [[ ! -f $build/CMakeCache.txt ]]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
      fi
      cmake --build "$build" --target sonavik
    fi
    label=Sonavik
    if ((${#builds[@]} > 1)); then
      build=$(cd "$build" && pwd)
      label="Sonavik $(basename "$(dirname "$build")")/$(basename "$build")"
      [[ " ${build_labels[*]} " != *" $label "* ]] || bench_fail "two builds would both be labelled $label: name their directories apart"
    fi
    build_labels+=("$label")
  done
}

xvfb_pid="" app_pid="" sound_dir=""

# A display nobody uses (:99 when free, else the next free one), exported as DISPLAY.
start_display() {
  local n
  DISPLAY=""
  for n in $(seq 99 140); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
      DISPLAY=:$n
      break
    fi
  done
  [[ -n $DISPLAY ]] || bench_fail "no free X display"
  # -noreset: between two programs nobody is connected, and a server resetting then refuses
  # the next one ("could not connect to display").
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdpyinfo >/dev/null 2>&1 || { cat "$work/xvfb.log" >&2; bench_fail "Xvfb did not start"; }
  export XDG_RUNTIME_DIR=$work/runtime
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  # Every program gets the desktop's default look, not whatever the caller's session chose.
  unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE GTK_THEME
}

# Starts the server of an environment in its own directory, after stopping the previous one;
# PULSE_SERVER leads every client there.
start_environment() {
  local env=$1 kind=pulseaudio command=start-plain
  stop_environment
  [[ $env != pipewire ]] || kind=pipewire
  [[ $env != paced ]] || command=start
  sound_dir=$work/sound-$env
  SONAVIK_SOUND_KIND=$kind "$root/scripts/sound-server" "$command" "$sound_dir" >/dev/null
  export PULSE_SERVER="unix:$sound_dir/native"
}

stop_environment() {
  [[ -z $sound_dir ]] || "$root/scripts/sound-server" stop "$sound_dir" >/dev/null 2>&1 || true
  sound_dir=""
}

# The pids of the running server's processes, one a line.
server_pids() {
  local file pid
  for file in "$sound_dir"/pid "$sound_dir"/pid.*; do
    [[ -s $file ]] || continue
    pid=$(<"$file")
    [[ -d /proc/$pid ]] && echo "$pid"
  done
}

stop_app() {
  if [[ -n $app_pid ]]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
  fi
}

# Starts the meter of a build with its main window; app_pid and window_id tell which.
window_id="" # read by the callers
export window_id
start_meter() {  # build dir, log
  QT_QPA_PLATFORM=xcb "$1/app/sonavik" >"$2" 2>&1 &
  app_pid=$!
  window_id=$(find_window "$2" --name '^Sonavik$')
}

# The peers, Debian's light meters, measured beside the meter wherever they are installed:
#   pavumeter    pavumeter --record: two bars for the default source
#   pavucontrol  pavucontrol on its input devices tab: one bar per input
#   cava         cava in an xterm: spectrum bars of the default source
# choose_peers fills peers with the installed ones and says in one line each which it skips;
# SONAVIK_BENCH_PEERS names fewer.
peers=()
choose_peers() {
  local peer tool
  for peer in ${SONAVIK_BENCH_PEERS:-pavumeter pavucontrol cava}; do
    case $peer in
      pavumeter | pavucontrol | cava) ;;
      *) echo "$bench: SONAVIK_BENCH_PEERS names pavumeter, pavucontrol or cava, not $peer" >&2; exit 2 ;;
    esac
    tool=$peer
    [[ $peer != cava ]] || command -v xterm >/dev/null || tool=xterm
    if command -v "$tool" >/dev/null; then
      peers+=("$peer")
    else
      echo "$bench: $tool is not installed: no figures beside $peer"
    fi
  done
  ((${#peers[@]} > 0)) || bench_fail "none of pavumeter, pavucontrol and cava is installed: nothing to compare with"
}

peer_label() {
  case $1 in
    pavumeter) echo "pavumeter --record" ;;
    pavucontrol) echo "pavucontrol, input devices" ;;
    cava) echo "cava in an xterm" ;;
  esac
}

# Starts a peer on the default source, as start_meter. pavumeter now and then gives up at its
# start ("Bad parameter" from the server): once more then.
start_peer() {  # peer, log
  local peer=$1 log=$2
  for _ in 1 2; do
    case $peer in
      pavumeter) pavumeter --record >"$log" 2>&1 & ;;
      pavucontrol) NO_AT_BRIDGE=1 pavucontrol --tab=4 >"$log" 2>&1 & ;;
      cava)
        # Its stock settings, reading the server's default source.
        mkdir -p "$work/cava"
        printf '[input]\nmethod = pulse\nsource = auto\n' >"$work/cava/config"
        xterm -geometry 80x24+0+0 -e cava -p "$work/cava/config" >"$log" 2>&1 &
        ;;
    esac
    app_pid=$!
    window_id=$(find_window "$log" --pid "$app_pid") && return 0
    stop_app
  done
  return 1
}

# The process of the program measured and its children (cava under its xterm), one a line.
app_pids() {
  echo "$app_pid"
  pgrep -P "$app_pid" || true
}

# What the server was asked for, one line each: on pulseaudio the configured latency of the
# sink and of every source; on PipeWire the latency each client node asks for (node.latency)
# and the graph's default quantum, which it keeps while no node asks for less.
server_latencies() {
  if [[ $(<"$sound_dir/kind") == pipewire ]]; then
    XDG_RUNTIME_DIR=$sound_dir/runtime pw-dump 2>/dev/null | awk '
      /^  \{/ { name = ""; latency = "" }
      /"node.name":/ { name = $0; sub(/.*"node.name": "/, "", name); sub(/".*/, "", name) }
      /"node.latency":/ { latency = $0; sub(/.*"node.latency": "/, "", latency); sub(/".*/, "", latency) }
      /"key": "clock.quantum"/ { quantum = $0; sub(/.*"value": /, "", quantum); sub(/ .*/, "", quantum) }
      /^  \}/ && latency != "" { asked = asked sprintf("%s%s %s", asked == "" ? "" : ", ", name, latency) }
      END { printf "  node.latency asked: %s; default quantum %s\n", asked == "" ? "none" : asked, quantum }'
  else
    pactl list sinks 2>/dev/null | awk '/^\tName:/ { name = $2 } /^\tLatency:/ { printf "  sink %s: configured %s us\n", name, $5 }'
    pactl list sources 2>/dev/null | awk '/^\tName:/ { name = $2 } /^\tLatency:/ { printf "  source %s: configured %s us\n", name, $5 }'
  fi
}

find_window() {  # log, then xdotool search arguments: prints the first visible match's id
  local log=$1 id
  shift
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible "$@" 2>/dev/null | head -n 1 || true)
    if [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$bench: no window for xdotool search $*" >&2
  cat "$log" >&2
  return 1
}

# Opens both tool windows of the meter whose main window is given.
open_tool_windows() {  # main window id, log
  # The buttons' centres: DiroVozor at (8, 272) 81 x 17, Darudade at (88, 272) 65 x 17.
  xdotool mousemove --window "$1" 48 280 click 1
  find_window "$2" --name '^DiroVozor$' >/dev/null
  xdotool mousemove --window "$1" 120 280 click 1
  find_window "$2" --name '^Darudade$' >/dev/null
}

desktop_cleanup() {
  stop_app
  stop_environment
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}

median_of() {  # numbers separated by blanks
  tr ' ' '\n' <<<"$1" | grep . | sort -g |
    awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
