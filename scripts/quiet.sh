# Sourced by the scripts that install and build: each long step says what it
# does in one line, its output goes to a log file named on that line, and the
# log's last lines are shown only when the step fails.

# How many lines of the log a failed step shows.
quiet_tail_lines=60

# Prints PATH relative to the current folder when it lies inside it, else as
# it is.
shown_path() {
  case $1 in
    "$PWD"/*) printf '%s\n' "${1#"$PWD"/}" ;;
    *) printf '%s\n' "$1" ;;
  esac
}

# quietly LOG WHAT COMMAND...: prints "WHAT (log: LOG)" and runs COMMAND with
# its output appended to LOG. When COMMAND fails, prints the end of LOG to
# standard error and returns COMMAND's status.
quietly() {
  local log=$1 what=$2 status=0
  shift 2
  echo "$what (log: $(shown_path "$log"))"
  "$@" >>"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    {
      echo "failed: $what (status $status); the last $quiet_tail_lines lines of $(shown_path "$log"):"
      tail -n "$quiet_tail_lines" "$log"
    } >&2
  fi
  return "$status"
}
