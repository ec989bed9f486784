# SPDX-License-Identifier: GPL-3.0-or-later
# The checks of the porome-server .deb, sourced by check-package.sh (which gives fail, section,
# $work, $version and $server_deb).

sdeb=$server_deb
sroot=$work/server-root
unit=porome-server.service

section "porome-server: control"
dpkg-deb --field "$sdeb" Package Source Version Architecture Section Depends | tee "$work/server-control"
sdepends=$(dpkg-deb --field "$sdeb" Depends)
[ "$(dpkg-deb --field "$sdeb" Package)" = porome-server ] || fail "the server's package is not named porome-server"
[ "$(dpkg-deb --field "$sdeb" Version)" = "$version" ] || fail "porome-server's version is not porome's $version"
for dep in libc6 libqt6httpserver6 libqt6network6 libssl3; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$sdepends" || fail "porome-server's Depends lacks $dep"
done
# The server shares a library with the window program, but none of its windows.
for dep in libqt6widgets6 libqt6svgwidgets6 fonts-ipafont-gothic; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$sdepends" && fail "porome-server depends on $dep, which only the window needs"
done
[ "$(basename "$sdeb")" = "porome-server_${version}_$(dpkg-deb --field "$sdeb" Architecture).deb" ] ||
  fail "file name $(basename "$sdeb") does not follow porome-server_VERSION_ARCH.deb"

section "porome-server: files"
dpkg-deb --contents "$sdeb" | awk '{ print $1, $2, $6 }' | tee "$work/server-contents"
# mode owner path, as the package must hold them: the settings hold the store's secret.
while read -r mode path; do
  grep -qE "^$mode root/root \\./${path#/}\$" "$work/server-contents" || fail "porome-server lacks $path as $mode root/root"
done <<'EOF'
-rwxr-xr-x /usr/sbin/porome-server
-rw-r--r-- /usr/lib/systemd/system/porome-server.service
-rw-r----- /etc/porome/server.ini
-rw-r--r-- /usr/share/man/man8/porome-server.8.gz
-rw-r--r-- /usr/share/doc/porome-server/copyright
-rw-r--r-- /usr/share/doc/porome-server/changelog.gz
EOF
dpkg -x "$sdeb" "$sroot"
file "$sroot/usr/sbin/porome-server" | grep -q ', stripped' || fail "/usr/sbin/porome-server is not stripped"
if [ -e "$sroot/usr/share/porome/web" ]; then
  for f in index.html porome.wasm porome.js sw.js; do
    [ -f "$sroot/usr/share/porome/web/$f" ] || fail "the package's page lacks $f"
  done
  echo "the page is in /usr/share/porome/web ($(find "$sroot/usr/share/porome/web" -type f | wc -l) files)"
elif grep -q 'This build has no page' <<<"$(dpkg-deb --field "$sdeb" Description)"; then
  echo "the package has no page, and its description says so"
else
  fail "the package has no page and its description does not say so"
fi

mkdir -p "$work/server-control.d"
dpkg-deb --control "$sdeb" "$work/server-control.d"
[ "$(cat "$work/server-control.d/conffiles" 2>/dev/null)" = /etc/porome/server.ini ] ||
  fail "conffiles does not hold /etc/porome/server.ini alone"
for script in postinst prerm postrm; do
  [ "$(stat -c %a "$work/server-control.d/$script" 2>/dev/null)" = 755 ] || fail "the package's $script is not mode 755"
  sh -n "$work/server-control.d/$script" || fail "the package's $script is not sh"
done

section "porome-server: the unit"
unitfile=$sroot/usr/lib/systemd/system/$unit
cat "$unitfile"
for directive in 'ExecStart=/usr/sbin/porome-server --settings %d/server.ini' \
  LoadCredential=server.ini:/etc/porome/server.ini DynamicUser=yes StateDirectory=porome-server UMask=0077 \
  ProtectSystem=strict ProtectHome=yes PrivateTmp=yes PrivateDevices=yes NoNewPrivileges=yes \
  'RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6' CapabilityBoundingSet= MemoryDenyWriteExecute=yes \
  SystemCallFilter=@system-service RestartPreventExitStatus=2 WantedBy=multi-user.target; do
  grep -qxF -- "$directive" "$unitfile" || fail "the unit lacks $directive"
done
# systemd-analyze looks at the unit in a tree of this machine's units and the package's files,
# where it finds the program; the manual page is checked below.
if command -v systemd-analyze >/dev/null && [ -d /usr/lib/systemd/system ]; then
  vroot=$work/verify-root
  mkdir -p "$vroot/usr/lib/systemd"
  cp -a /usr/lib/systemd/system "$vroot/usr/lib/systemd/"
  cp -a "$sroot/." "$vroot/"
  vunit=$vroot/usr/lib/systemd/system/$unit
  systemd-analyze verify --man=no --root="$vroot" "$vunit" >"$work/verify" 2>&1
  rc=$?
  cat "$work/verify"
  echo "systemd-analyze verify: exit $rc"
  [ "$rc" -eq 0 ] && [ ! -s "$work/verify" ] || fail "systemd-analyze verify complains about the unit"
  systemd-analyze security --offline=true --root="$vroot" "$vunit" >"$work/security" 2>&1
  grep -E '^→ Overall exposure level' "$work/security" || { cat "$work/security"; fail "systemd-analyze security did not rate the unit"; }
  # 0 is best, 10 worst; the unit's sandbox rates 1.x.
  exposure=$(sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\).*/\1/p' "$work/security")
  awk -v e="${exposure:-10}" 'BEGIN { exit !(e < 2) }' || fail "the unit's exposure is ${exposure:-unknown}, not below 2"
else
  fail "no systemd-analyze to check the unit with (apt-get install systemd)"
fi

section "porome-server: the manual page"
man8=$sroot/usr/share/man/man8/porome-server.8.gz
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man8" >"$work/man8.txt" 2>"$work/man8.err"
rc=$?
echo "man -l porome-server.8.gz: exit $rc, $(wc -l <"$work/man8.txt") lines, warnings: $(wc -l <"$work/man8.err")"
cat "$work/man8.err"
[ "$rc" -eq 0 ] && [ ! -s "$work/man8.err" ] || fail "man -l porome-server.8.gz fails or warns"
for word in /lti/login /lti/launch /.well-known/jwks.json /xapi/statements /health --settings /etc/porome/server.ini \
  /var/lib/porome-server/tool-key.pem listen public page key trustedProxies tlsCertificate tlsKey sessionHours \
  endpoint secret activityBase issuer clientId authUrl tokenUrl jwksUrl deploymentIds homePage; do
  grep -qF -- "$word" "$work/man8.txt" || fail "the manual page does not name $word"
done

section "porome-server: the unpacked program"
server=$sroot/usr/sbin/porome-server
srun() { # srun NAME ARGS...: the unpacked server, its output in $work/NAME.out and .err
  local name=$1
  shift
  env -i PATH=/usr/bin:/bin LANG=C.UTF-8 "$server" "$@" >"$work/$name.out" 2>"$work/$name.err"
}
srun sversion --version
echo "porome-server --version: exit $?, printed: $(cat "$work/sversion.out")"
[ "$(cat "$work/sversion.out")" = "porome-server $version" ] || fail "--version does not print 'porome-server $version'"
srun shelp --help
rc=$?
echo "porome-server --help: exit $rc, first line: $(head -n 1 "$work/shelp.out")"
[ "$rc" -eq 0 ] && grep -q '^usage: porome-server' "$work/shelp.out" || fail "--help does not print the usage"

# Each wrong start: status 2 and one line on standard error that names what is wrong.
mkdir -p "$work/state" "$work/page"
chmod 700 "$work/state"
echo '<!doctype html><html><head><title>ポロメ</title></head><body></body></html>' >"$work/page/index.html"
settings() { # settings PAGE: a whole settings file with the page's folder PAGE
  cat <<EOF
[server]
listen = 127.0.0.1:0
public = http://127.0.0.1:1
page = $1
key = $work/state/tool-key.pem
[lrs]
endpoint = http://127.0.0.1:9/xapi/
key = k
secret = s
[platform.check]
issuer = https://portal.example.jp
clientId = c
authUrl = https://portal.example.jp/auth
jwksUrl = https://portal.example.jp/jwks
deploymentIds = d
EOF
}
settings /usr/share/porome/web.absent >"$work/nopage.ini"
while IFS='|' read -r name file says; do
  srun "$name" --settings "$file"
  rc=$?
  echo "porome-server --settings $(basename "$file"): exit $rc, said: $(cat "$work/$name.err")"
  [ "$rc" -eq 2 ] && [ "$(wc -l <"$work/$name.err")" -eq 1 ] && grep -qF -- "$says" "$work/$name.err" ||
    fail "porome-server with $(basename "$file") does not stop with one line naming $says"
done <<EOF
missing|$work/no-such.ini|the settings file $work/no-such.ini cannot be read
unwritten|$sroot/etc/porome/server.ini|server/public is not set
nopage|$work/nopage.ini|server/page "/usr/share/porome/web.absent" is not a folder with the page's index.html
EOF

# A start with a page: it listens, answers /health and the key set, and made its key 0600.
settings "$work/page" >"$work/good.ini"
env -i PATH=/usr/bin:/bin LANG=C.UTF-8 "$server" --settings "$work/good.ini" >"$work/good.out" 2>"$work/good.err" &
spid=$!
for _ in $(seq 1 300); do
  grep -q '^porome-server: listening on ' "$work/good.out" && break
  kill -0 "$spid" 2>/dev/null || break
  sleep 0.1
done
address=$(sed -n 's/^porome-server: listening on //p' "$work/good.out")
if [ -n "$address" ]; then
  health=$(curl -s --max-time 10 "$address/health")
  kty=$(curl -s --max-time 10 "$address/.well-known/jwks.json" |
    python3 -c 'import json, sys; print(json.load(sys.stdin)["keys"][0]["kty"])' 2>/dev/null)
  echo "porome-server at $address: /health says '$health', the key set's key is '$kty', tool-key.pem mode $(stat -c %a "$work/state/tool-key.pem")"
  [ "$health" = ok ] || fail "/health does not answer ok"
  [ "$kty" = RSA ] || fail "/.well-known/jwks.json has no RSA key"
  [ "$(stat -c %a "$work/state/tool-key.pem")" = 600 ] || fail "the tool key is not mode 0600"
else
  cat "$work/good.out" "$work/good.err"
  fail "porome-server did not start with whole settings"
fi
kill "$spid" 2>/dev/null
wait "$spid" 2>/dev/null

section "porome-server: dpkg --install and --purge"
if [ "$(id -u)" -ne 0 ]; then
  echo "not run: installing for real needs root"
elif dpkg-query -W porome-server >/dev/null 2>&1 || [ -e /etc/porome ] || [ -e /var/lib/private/porome-server ]; then
  # Its purge would take this machine's own settings and tool key with it.
  echo "not run: porome-server, or its settings or key, is on this machine already"
else
  dpkg --install "$sdeb" >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg cannot install porome-server"; }
  stat -c '%A %U:%G %n' /etc/porome/server.ini /usr/sbin/porome-server /usr/lib/systemd/system/$unit
  [ "$(stat -c '%a %U:%G' /etc/porome/server.ini)" = "640 root:root" ] || fail "the installed settings are not 0640 root:root"
  /usr/sbin/porome-server --version >/dev/null || fail "the installed porome-server does not run"
  dpkg --purge porome-server >>"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg cannot purge porome-server"; }
  [ ! -e /etc/porome/server.ini ] && [ ! -e /usr/sbin/porome-server ] || fail "the purge leaves porome-server's files"
  echo "installed, ran and purged: nothing of it is left"
fi
