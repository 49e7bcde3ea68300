# shellcheck shell=bash
# What the shell tests share; source this file, define the scenarios as
# functions, then call `scenario "$@"`.
#
#   SCRIPT SCENARIO PELLORIN
#
# runs the function SCENARIO in a directory of its own, where $P is the
# program, after the function setup if the script has one. What it prints,
# standard error included, is checked by `expect`, against the here-document
# that follows it. A scenario ends with status 77, which ctest counts as
# skipped, where it cannot run here; in CI, which must run them all, that is
# a failure, but for the cases that only root can run and those that
# sanitizers cannot.
#
# Whatever happens, the scenario's directory is removed and every process it
# started in the background is ended.

source "$(dirname "${BASH_SOURCE[0]}")/wave_header.sh"

# What the test says of itself goes to its own standard output, whatever a
# scenario redirects.
exec 9>&1

# skip REASON: this scenario cannot run here; skip_here: nor in CI either.
skip() { echo "skipped: $*" >&9 && [[ ${CI:-} != true ]] && exit 77; exit 1; }
skip_here() { echo "skipped: $*" >&9; exit 77; }
needs() { local tool; for tool; do command -v "$tool" >/dev/null || skip "$tool is not installed"; done; }
needs_root() { [[ $(id -u) == 0 ]] || skip_here "only root can $*"; }
# Sanitizers need /proc, more memory, and no tracer.
unsanitized() { [[ ${PELLORIN_SANITIZED:-OFF} == OFF ]] || skip_here "the sanitizers cannot $*"; }
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }

# on_exit COMMAND: runs the command however the script ends, interrupted too.
# shellcheck disable=SC2064 # what to run is known now
on_exit() { trap "$1" EXIT; trap 'exit 143' TERM; trap 'exit 130' INT; }

# fail WHAT: says that a check failed, and counts it; checked: ends the
# script with status 1 where any check failed.
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
checked() { ((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }; }

# fails COMMAND...: runs a command that must fail, and prints its status, then
# "unchanged" where every file and directory below the working directory is
# as it was before, and the last line it printed.
state() { find . \( -type f -exec cksum {} + \) -o -print | sort; }
fails() {
  local before out status
  before=$(state)
  out=$("$@" 2>&1)
  status=$?
  [[ $before == "$(state)" ]] && status="$status unchanged"
  echo "$status: ${out##*$'\n'}"
}

# await COMMAND... : until the command succeeds, for at most a minute however
# busy the machine is.
await() {
  local end=$((SECONDS + 60))
  until "$@"; do
    ((SECONDS < end)) || { echo "gave up waiting for: $*"; return 1; }
    sleep 0.01
  done
}

# expect <<EOF: what the scenario printed since it started, or since the last
# expect, is the here-document.
expect() {
  if ! diff -u --label expected --label printed - "$GOT" >&9; then
    echo "FAIL: $SCENARIO printed what the lines marked + show" >&9
    exit 1
  fi
  : >"$GOT"
  touch "$GOT.checked"
}

# Ends every process of the session but this shell.
end_session() {
  local pid
  for pid in $(pgrep -s $$); do ((pid == $$)) || kill -KILL "$pid" 2>/dev/null; done
}

scenario() {
  # In a session of its own, every process the scenario starts can be found
  # and ended.
  (($(ps -o sid= -p $$) == $$)) || exec setsid --wait bash "$0" "$@"
  SCENARIO=$1
  P=$(realpath "$2")
  export P
  declare -F "$SCENARIO" >/dev/null || { echo "no scenario $SCENARIO"; exit 2; }
  local top status
  top=$(mktemp -d)
  on_exit "end_session; cd / && chattr -R -a '$top' 2>/dev/null; chmod -R u+w '$top'; rm -rf '$top'"
  GOT=$top/printed
  mkdir -m 777 "$top/work"
  chmod 755 "$top"
  (
    cd "$top/work" || exit 1
    if declare -F setup >/dev/null; then setup || exit 1; fi
    "$SCENARIO"
  ) >>"$GOT" 2>&1
  status=$?
  ((status == 0)) || exit "$status"
  [[ -e $GOT.checked ]] || { echo "FAIL: $SCENARIO expects nothing"; exit 1; }
  [[ ! -s $GOT ]] || { echo "FAIL: $SCENARIO printed more:"; cat "$GOT"; exit 1; }
  echo "ok $SCENARIO"
}
