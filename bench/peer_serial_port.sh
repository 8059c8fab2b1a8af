#!/bin/sh
# Runs a serial terminal on a pseudo-terminal as if it were a serial port, for the pty bench's side-by-side figure:
#   unshare -m peer_serial_port.sh PTY PIDFILE COMMAND...
# Terminals that look their port up in sysfs give a pseudo-terminal up; in this mount namespace alone, the
# pseudo-terminal's device number leads to the machine's first serial port, which says the pseudo-terminal's name.
set -eu
pts="$1"
pidfile="$2"
shift 2
numbers=$(stat -c '%t:%T' "$pts")
major=$((0x${numbers%:*}))
minor=$((0x${numbers#*:}))
uart=$(readlink -f /sys/class/tty/ttyS0)
fake=$(mktemp -d)
for entry in /sys/dev/char/*; do
    ln -s "$(readlink -f "$entry")" "$fake/$(basename "$entry")"
done
ln -s "$uart" "$fake/$major:$minor"
mount --bind "$fake" /sys/dev/char
printf 'MAJOR=%s\nMINOR=%s\nDEVNAME=%s\n' "$major" "$minor" "${pts#/dev/}" >"$fake.uevent"
mount --bind "$fake.uevent" "$uart/uevent"
echo $$ >"$pidfile"
exec "$@"
