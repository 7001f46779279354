# Sourced by the scripts that keep a command's output out of sight: quietly COMMAND...
# appends the output to $quiet_log; on failure it names the command ("$quiet_step: failed:
# ..."), shows the log's last lines and stops the script.
quietly() {
  if ! "$@" >>"$quiet_log" 2>&1; then
    echo "$quiet_step: failed: $*" >&2
    tail -n 40 "$quiet_log" >&2
    echo "(whole output: $quiet_log)" >&2
    exit 1
  fi
}
