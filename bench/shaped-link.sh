#!/usr/bin/env bash
# Runs a command on a link of a given speed: in network, process and mount
# namespaces of its own, whose only interface is a loopback that a token
# bucket (tc tbf) holds to RATE, so that every connection between the
# command's processes crosses that link. WORK, a new folder for the
# command's files, is removed afterwards. When the command ends, or this
# script is stopped (INT, TERM, HUP), every process in the namespaces has
# ended before WORK goes, and the namespaces end with their last process,
# their loopback and its qdisc with them.
#   bench/shaped-link.sh RATE WORK COMMAND [ARGUMENT...]   RATE in tc's units (100mbit)
# Needs root, unshare, ip and tc.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 RATE WORK COMMAND [ARGUMENT...]" >&2
  exit 2
fi
rate=$1 work=$2
shift 2
export PATH="$PATH:/usr/sbin:/sbin"
mkdir "$work"
inside=
finish() {
  if [ -n "$inside" ]; then
    # The namespaces' first process ends on TERM, which ends every other
    # process in them; unshare, its parent, returns once they are all gone.
    first=$(cat "/proc/$inside/task/$inside/children" 2>/dev/null || true)
    if [ -n "$first" ]; then kill -TERM "$first" 2>/dev/null || true; else kill -KILL "$inside"; fi
    wait "$inside" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
# The loopback's packets are up to 64 KiB long: a burst of 256 KiB holds a
# few of them, so that one TCP flow reaches the rate, and gives a transfer
# no more than 20 ms of the link's time; 50 ms of latency bounds the queue.
# The command runs below a first process that waits for it and ends on TERM.
unshare --net --pid --mount-proc --fork --kill-child -- /bin/sh -c '
  trap "exit 143" TERM
  ip link set lo up && tc qdisc add dev lo root tbf rate "$0" burst 256kb latency 50ms || exit 1
  "$@" &
  wait $!' "$rate" "$@" &
inside=$!
status=0
wait "$inside" || status=$?
inside=
exit "$status"
