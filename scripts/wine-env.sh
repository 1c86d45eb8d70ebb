# Shared by the Wine runner and the play and test scripts: the project's own Wine prefix, a private
# X display and a private audio device. Sourced, not run. Touches nothing of the user's own Wine,
# ALSA or PulseAudio set-up: everything lives under the build folder.

# wine_env_setup BUILD_DIR KIND: exports the environment for the prefix of that kind ("play",
# "test", "test-WxHxD" for tests on a screen of another size, or "game-test": the game's own
# Direct3D settings with the tests' audio and windows, for the play-through test and the
# benchmarks); each kind has its own prefix because Wine caches the display mode list of the
# screen it first saw.
wine_env_setup() {
  local build=$1 kind=$2
  WINE_DIR="$build/wine"
  WINE_KIND=$kind
  mkdir -p "$WINE_DIR"
  export WINEPREFIX="$WINE_DIR/prefix-$kind"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Tests and benchmarks always get the null device (faster than real time, never audible); the
  # game gets it only on a machine without sound.
  if [[ $kind == test* || $kind == game-test ]] || ! wine_env_has_audio; then
    local home="$WINE_DIR/home"
    mkdir -p "$home"
    # Every run comes here while other Wine processes may be reading the file: write it only when
    # it differs, and whole (an emptied file, read mid-write, left a program without a device).
    local rc=$'pcm.!default { type null }\nctl.!default { type hw card 0 }'
    if [ "$(cat "$home/.asoundrc" 2>/dev/null)" != "$rc" ]; then
      printf '%s\n' "$rc" >"$home/.asoundrc.$$"
      mv -f "$home/.asoundrc.$$" "$home/.asoundrc"
    fi
    export HOME="$home"
    WINE_AUDIO=null
  else
    WINE_AUDIO=user
  fi
  # Tells the test programs that an audio device is there: a sound start-up that finds none fails.
  export WINE_RUN_AUDIO=$WINE_AUDIO
}

wine_env_has_audio() {
  compgen -G "/dev/snd/pcmC*" >/dev/null && return 0
  [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && return 0
  return 1
}

# wine_env_prefix: creates the prefix on first use (crash dialog off, Wine's fonts with the
# usual face names mapped to the Liberation fonts); later calls return at once. Safe to call from
# many processes at once.
# Raise this when the prefix settings below change, so that existing prefixes are made anew.
WINE_PREFIX_VERSION=4

# The ports COM1-COM9 and LPT1-LPT9 of the prefixes that run tests.
WINE_ENV_PORTS="COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 LPT1 LPT2 LPT3 LPT4 LPT5 LPT6 LPT7 LPT8 LPT9"

wine_env_prefix() {
  if [ "$(cat "$WINEPREFIX/.ready" 2>/dev/null)" = "$WINE_PREFIX_VERSION" ]; then
    wine_env_ports
    return 0
  fi
  (
    flock 9
    [ "$(cat "$WINEPREFIX/.ready" 2>/dev/null)" = "$WINE_PREFIX_VERSION" ] && exit 0
    rm -rf "$WINEPREFIX"
    wineboot -u </dev/null >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    local reg="$WINE_DIR/settings-$$.reg"
    {
      printf 'REGEDIT4\r\n\r\n'
      printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
      printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
      printf '"Arial"="Liberation Sans"\r\n"Courier New"="Liberation Mono"\r\n'
      printf '"Times New Roman"="Liberation Serif"\r\n\r\n'
      # Xvfb has no window manager: Wine then waits 2 s for one on every closed managed window.
      if [[ $WINE_KIND == test* || $WINE_KIND == game-test ]]; then
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
      fi
      if [[ $WINE_KIND == test* ]]; then
        # Direct3D's command-stream thread polls a core whenever a device exists; with a test
        # program on every core that starves the rest of the run.
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Direct3D]\r\n"csmt"=dword:00000000\r\n\r\n'
      fi
      if [ "$WINE_AUDIO" = null ]; then
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Audio"="alsa"\r\n\r\n'
      fi
      # A file name that is a device name opens the prefix's port of that name, by default the
      # machine's own serial port: the tests' ports are plain files, where such a fault shows.
      if [[ $WINE_KIND == test* || $WINE_KIND == game-test ]]; then
        mkdir -p "$WINEPREFIX/ports"
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        local port
        for port in $WINE_ENV_PORTS; do
          : >"$WINEPREFIX/ports/port-${port,,}"
          printf '"%s"="%s"\r\n' "$port" "$WINEPREFIX/ports/port-${port,,}"
        done
        printf '\r\n'
      fi
    } >"$reg"
    wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
    wineserver -w
    rm -f "$reg"
    echo "$WINE_PREFIX_VERSION" >"$WINEPREFIX/.ready"
  ) 9>"$WINE_DIR/prefix.lock"
  wine_env_ports
}

# wine_env_ports: exports WINE_RUN_PORTS (the folder of the port files) once every port of the
# prefix leads to its plain file there. Wine links the ports from the registry when a session
# starts; a session that began before the registry named them is linked here. A port file that an
# earlier run lost (a delete that reached the port) is made again, so that every run tries device
# names. Tests that try device names skip without the variable.
wine_env_ports() {
  unset WINE_RUN_PORTS
  local ports="$WINEPREFIX/ports" port
  [ -d "$ports" ] || return 0
  for port in $WINE_ENV_PORTS; do
    local file="$ports/port-${port,,}" link="$WINEPREFIX/dosdevices/${port,,}"
    [ -e "$file" ] || [ -L "$file" ] || : >"$file" 2>/dev/null || return 0
    [ -f "$file" ] && [ ! -L "$file" ] || return 0
    [ "$(readlink "$link")" = "$file" ] || ln -sfn "$file" "$link" 2>/dev/null || return 0
  done
  export WINE_RUN_PORTS="$ports"
}

# wine_env_xvfb: starts a private Xvfb on a free display number and exports DISPLAY; the caller
# stops it with wine_env_xvfb_stop.
wine_env_xvfb() {
  local size=${1:-1024x768x24}
  local numfile
  numfile=$(mktemp)
  Xvfb -displayfd 5 -screen 0 "$size" -nolisten tcp 5>"$numfile" </dev/null >/dev/null 2>&1 &
  WINE_XVFB_PID=$!
  local i
  # Seconds on a loaded machine, a fraction of one on an idle one.
  for i in $(seq 1 600); do
    [ -s "$numfile" ] && break
    sleep 0.05
  done
  if [ ! -s "$numfile" ]; then
    echo "wine-env: Xvfb did not start" >&2
    rm -f "$numfile"
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$numfile")"
  rm -f "$numfile"
}

wine_env_xvfb_stop() {
  if [ -n "${WINE_XVFB_PID:-}" ]; then
    kill "$WINE_XVFB_PID" 2>/dev/null || true
    wait "$WINE_XVFB_PID" 2>/dev/null || true
    WINE_XVFB_PID=
  fi
}

# wine_env_shared_xvfb [SIZE]: for programs started one by one (plain `ctest`, or tests that need
# a screen of their own size): all programs of a prefix share one private Xvfb, which a watcher
# stops once no Wine process of the prefix is left. The caller keeps fd 8 (a shared lock) open
# while its program runs; Wine's helper processes inherit it, so the display outlives them too.
wine_env_shared_xvfb() {
  local size=${1:-1024x768x24}
  local record="$WINE_DIR/xvfb-$WINE_KIND.display" pid display
  exec 7>"$WINE_DIR/xvfb-$WINE_KIND-start.lock"
  flock 7
  if [ -s "$record" ]; then
    read -r pid display <"$record"
    kill -0 "$pid" 2>/dev/null || : >"$record"
  fi
  if [ ! -s "$record" ]; then
    wine_env_xvfb "$size"
    echo "$WINE_XVFB_PID $DISPLAY" >"$record"
    WINE_XVFB_PID=
    wine_env_xvfb_watcher "$record" </dev/null >/dev/null 2>&1 &
  fi
  read -r pid display <"$record"
  export DISPLAY="$display"
  exec 8>"$WINE_DIR/xvfb-$WINE_KIND-use.lock"
  flock -s 8
  flock -u 7
  exec 7>&-
}

wine_env_xvfb_watcher() {
  local record=$1 pid display
  exec 7>"$WINE_DIR/xvfb-$WINE_KIND-start.lock" 8>"$WINE_DIR/xvfb-$WINE_KIND-use.lock"
  sleep 1
  while :; do
    flock -x 8
    # A runner that holds the start lock is about to use the display: let it.
    if flock -n 7; then
      read -r pid display <"$record"
      kill "$pid" 2>/dev/null
      : >"$record"
      return
    fi
    flock -u 8
    sleep 0.2
  done
}

# wine_env_wine PROGRAM [ARGS...]: runs wine and returns its exit code, or 128 + the signal that
# killed the Wine host process. A program's own crash is an exit code under Wine; only a death of
# the host process itself is a signal, which the shell cannot tell from an exit code of 128 + n.
# So a waiter notes it in the file named by WINE_ENV_SIGNAL_FILE (when set), unless the signal
# was one passed on to it. TERM, INT and HUP go on to wine.
WINE_ENV_WAITER='
my $file = shift;
my ($pid, $passed) = (0, 0);
$SIG{$_} = sub { $passed = 1; kill $_[0], $pid if $pid } for qw(TERM INT HUP);
$pid = fork // die "wine-env: fork: $!\n";
exec @ARGV or exit 127 unless $pid;
1 while waitpid($pid, 0) == -1 && $!{EINTR};
my $signal = $? & 127;
exit $? >> 8 unless $signal;
if ($file ne "" && !$passed && open my $out, ">", $file) { print $out "$signal\n"; close $out }
exit 128 + $signal;
'

wine_env_wine() {
  perl -e "$WINE_ENV_WAITER" "${WINE_ENV_SIGNAL_FILE:-}" wine "$@"
}

# wine_env_wait PID: waits until the program PID has ended and returns its exit code; TERM, INT
# and HUP go on to it meanwhile.
wine_env_wait() {
  local pid=$1 rc
  trap 'kill -TERM $pid 2>/dev/null' TERM
  trap 'kill -INT $pid 2>/dev/null' INT
  trap 'kill -HUP $pid 2>/dev/null' HUP
  # A trapped signal ends the wait early; wait again until the program has really ended.
  while :; do
    rc=0
    wait "$pid" || rc=$?
    kill -0 "$pid" 2>/dev/null || break
  done
  trap - TERM INT HUP
  return $rc
}

# wine_env_run_streamed PROGRAM [ARGS...]: runs wine_env_wine with its output passed on as it
# comes, for a program that talks with its caller line by line (a benchmark's side): it writes into
# unlinked files that followers copy to the real outputs until it has ended, which keeps the
# caller from waiting on Wine's lasting processes as the captured run does. Terminals are left as
# they are. TERM, INT and HUP go on to the program.
wine_env_run_streamed() {
  if [ -t 1 ] && [ -t 2 ]; then
    wine_env_wine "$@"
    return
  fi
  local out err pid rc followers
  out=$(mktemp) && err=$(mktemp) || return 1
  exec 5<>"$out" 6<>"$err" 3<&0
  rm -f "$out" "$err"
  wine_env_wine "$@" <&3 >&5 2>&6 3<&- 5>&- 6>&- &
  pid=$!
  exec 3<&-
  tail -f -c +1 -s 0.05 --pid="$pid" /dev/fd/5 </dev/null 6>&- &
  followers=$!
  tail -f -c +1 -s 0.05 --pid="$pid" /dev/fd/6 </dev/null 5>&- >&2 &
  followers="$followers $!"
  exec 5>&- 6>&-
  rc=0
  wine_env_wait "$pid" || rc=$?
  wait $followers || true
  return $rc
}

# wine_env_run_captured OUT ERR PROGRAM [ARGS...]: runs wine_env_wine with the program's standard
# output and error in the files OUT and ERR, and returns its exit code once it has ended. Wine's
# lasting processes (the desktop process, the server, the services) inherit the outputs of the
# program that started them; were those the caller's pipes, the caller (ctest, a pipeline) would
# wait on them until the last of these processes ends: files keep nobody waiting. The caller
# passes the output on when it knows the run stands. TERM, INT and HUP go on to the program.
wine_env_run_captured() {
  local out=$1 err=$2 pid
  shift 2
  exec 3<&0
  wine_env_wine "$@" <&3 >"$out" 2>"$err" 3<&- &
  pid=$!
  exec 3<&-
  wine_env_wait "$pid"
}
