#!/usr/bin/env bash
# Starts a private cupsd under DIR (its own socket DIR/cups.sock, its own
# spool and logs) with a raw queue "qzraw" whose backend writes each job to
# DIR/out/job.prn; writes cupsd's pid to DIR/cupsd.pid. Exit 77 (with the
# reason on stdout) when cupsd cannot start here.
set -u
D=$1
for tool in cupsd lpadmin lp lpstat; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (Debian cups-daemon, cups-client)"; exit 77; }
done
rm -rf "$D"
mkdir -p "$D"/{spool,cache,state,log,out,bin/backend}
chmod 777 "$D/out"
ln -s /usr/lib/cups/daemon "$D/bin/daemon"
ln -s /usr/lib/cups/filter "$D/bin/filter"
cat >"$D/bin/backend/qzfile" <<SH
#!/bin/sh
[ \$# -eq 0 ] && { echo 'direct qzfile "Unknown" "QZ test file"'; exit 0; }
if [ -n "\$6" ]; then cat "\$6"; else cat; fi > "$D/out/job.tmp" && mv "$D/out/job.tmp" "$D/out/job.prn"
SH
chmod 700 "$D/bin/backend/qzfile"
cat >"$D/cupsd.conf" <<CONF
Listen $D/cups.sock
LogLevel info
WebInterface No
<Location />
Order allow,deny
Allow all
</Location>
<Policy default>
<Limit All>
Order allow,deny
Allow all
</Limit>
</Policy>
CONF
cat >"$D/cups-files.conf" <<CONF
ServerRoot $D
ServerBin $D/bin
RequestRoot $D/spool
CacheDir $D/cache
StateDir $D/state
ErrorLog $D/log/error_log
AccessLog $D/log/access_log
PageLog syslog
SystemGroup root
CONF
( exec cupsd -f -c "$D/cupsd.conf" -s "$D/cups-files.conf" >/dev/null 2>&1 ) &
echo $! >"$D/cupsd.pid"
export CUPS_SERVER=$D/cups.sock
for _ in $(seq 100); do
  lpstat -r >/dev/null 2>&1 && break
  sleep 0.05
done
if ! lpstat -r >/dev/null 2>&1; then
  echo "cupsd did not start: $(tail -n 3 "$D/log/error_log" 2>/dev/null)"
  exit 77
fi
if ! lpadmin -p qzraw -E -v qzfile:/job -m raw >/dev/null 2>&1; then
  echo "cupsd refused a raw queue"
  exit 77
fi
