#!/bin/sh
# A private CUPS server for the printing tests.
#
#   cups_fixture.sh start LINK   start cupsd in a fresh private folder and point
#                                LINK at it; the folder then holds
#                                  cupsd.sock   the only place the server listens
#                                  client/      an empty client configuration
#                                  capture/     <job>.title and <job>.data for
#                                               each job printed to "capture"
#   cups_fixture.sh stop LINK    stop that server and remove the folder
#
# The queue "capture" is a raw queue and the server's default destination; its
# device is our own backend, which copies each job's bytes unchanged. A plain
# file: device would complete raw jobs without writing anything.
set -eu
PATH=$PATH:/usr/sbin:/usr/bin:/sbin:/bin

action=$1
link=$2

stop() {
  [ -L "$link" ] || return 0
  dir=$(readlink "$link")
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    if kill "$pid" 2>/dev/null; then
      i=0
      while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do
        sleep 0.1; i=$((i + 1))
      done
    fi
  fi
  rm -rf "$dir"
  rm -f "$link"
}

start() {
  stop
  dir=$(mktemp -d /tmp/hostutil-cups.XXXXXX)
  mkdir -p "$dir/root" "$dir/state" "$dir/cache" "$dir/spool" "$dir/tmp" \
           "$dir/log" "$dir/bin/backend" "$dir/client" "$dir/capture"
  chmod 0755 "$dir" "$dir/bin" "$dir/bin/backend"
  chmod 0710 "$dir/spool"
  chmod 1777 "$dir/tmp"

  for sub in /usr/lib/cups/*; do
    [ "$(basename "$sub")" = backend ] || ln -s "$sub" "$dir/bin/"
  done
  for b in /usr/lib/cups/backend/*; do
    ln -s "$b" "$dir/bin/backend/"
  done
  # Mode 0700 and owned by root: cupsd runs it as root.
  cat > "$dir/bin/backend/capture" <<'BACKEND'
#!/bin/sh
# capture:/folder - copies each job's bytes to /folder/<job>.data
if [ $# -eq 0 ]; then
  echo 'direct capture "Unknown" "Capture of job data"'
  exit 0
fi
out=${DEVICE_URI#capture:}
[ -n "$out" ] || exit 1
printf '%s' "$3" > "$out/$1.title"
if [ $# -ge 6 ]; then
  cat "$6" > "$out/$1.tmp" || exit 1
else
  cat > "$out/$1.tmp" || exit 1
fi
mv "$out/$1.tmp" "$out/$1.data"
exit 0
BACKEND
  chown root:root "$dir/bin/backend/capture"
  chmod 0700 "$dir/bin/backend/capture"

  cat > "$dir/root/cups-files.conf" <<CONF
ServerRoot $dir/root
ServerBin $dir/bin
StateDir $dir/state
CacheDir $dir/cache
RequestRoot $dir/spool
TempDir $dir/tmp
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
FileDevice Yes
User lp
Group lp
SystemGroup root
CONF
  cat > "$dir/root/cupsd.conf" <<CONF
Listen $dir/cupsd.sock
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
LogLevel warn
MaxLogSize 0
PreserveJobHistory No
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  chmod 0640 "$dir/root/cupsd.conf" "$dir/root/cups-files.conf"

  cupsd -f -c "$dir/root/cupsd.conf" -s "$dir/root/cups-files.conf" \
        </dev/null >"$dir/log/cupsd.out" 2>&1 &
  echo $! > "$dir/cupsd.pid"
  ln -s "$dir" "$link"

  export CUPS_SERVER="$dir/cupsd.sock" CUPS_SERVERROOT="$dir/client"
  # lpstat -r exits 0 either way: its words tell whether cupsd answers.
  i=0
  until lpstat -r 2>/dev/null | grep -q 'scheduler is running'; do
    i=$((i + 1))
    if [ $i -gt 600 ]; then
      echo "cupsd did not start:" >&2
      cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
      stop
      exit 1
    fi
    sleep 0.1
  done
  lpadmin -p capture -E -v "capture:$dir/capture"
  lpadmin -d capture
  lpstat -d
}

case $action in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop LINK" >&2; exit 2 ;;
esac
