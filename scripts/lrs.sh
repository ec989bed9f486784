# SPDX-License-Identifier: GPL-3.0-or-later
# The learning record store of the checks, on 127.0.0.1 (sourced, not run on its own; needs
# scripts/packages.sh sourced first). The store is the npm package of tools/lrs, run in
# memory, with two preloads: loopback.js binds it to 127.0.0.1, ordered-ids.js keeps its
# paging whole (see there); a proxy in front of it makes the outages, since a restarted
# store forgets all.
#
#   lrs_install                 node and npm, and the store installed once into
#                               $POROME_CACHE/lrs/<lock hash>/ (default ~/.cache/porome);
#                               returns 77 when they cannot be had here (no registry)
#   npm_tool_install NAME FILE  the same for the packages of tools/NAME (NPM_TOOL_MODULES)
#   lrs_free_port               prints a free port on 127.0.0.1
#   lrs_start PORT [test|fetch] starts the store at http://127.0.0.1:PORT/xAPI; test takes
#                               any credentials, fetch only $LRS_KEY:$LRS_SECRET (made up
#                               here) and answers 401 to all else
#   lrs_proxy_start PORT TARGET the proxy at PORT in front of the store at TARGET
#   lrs_proxy MODE              switches the proxy: pass, off, 503 or hang
#   lrs_proxy_stats             prints what requests met which mode (JSON)
#   lrs_post URL FILE           POSTs FILE to URL/statements; prints the HTTP status
#   lrs_statements URL OUT [QUERY]  every statement of a query, following `more`, as a
#                               JSON array in OUT
#   lrs_stop                    ends all that lrs_start and lrs_proxy_start started
#
# The credentials of lrs_post and lrs_statements are $LRS_AUTH (key:secret), given to curl
# and python on standard input or in the environment, never on a command line.
# Every process started here ends when the shell that sourced this goes, and after
# $LRS_LIFETIME seconds (default 1800). Call lrs_start and lrs_proxy_start in the shell
# itself, not in $(...) or a pipe: their processes watch the shell that started them.

LRS_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LRS_NOT_AVAILABLE=77
LRS_LIFETIME=${LRS_LIFETIME:-1800}
LRS_AUTH=${LRS_AUTH:-check:check}
LRS_MODULES=
LRS_DIR=
LRS_PIDS=()
LRS_PROXY_CONTROL=
LRS_KEY=
LRS_SECRET=

lrs_log() { echo "lrs: $*" >&2; }

# Node.js and npm: the machine's own where it has them (Debian's npm cannot be put beside
# a Node.js of another source), Debian's otherwise.
lrs_node() {
  if command -v node >/dev/null && command -v npm >/dev/null; then
    return 0
  fi
  ensure_packages nodejs npm || return "$LRS_NOT_AVAILABLE"
  command -v node >/dev/null && command -v npm >/dev/null || return "$LRS_NOT_AVAILABLE"
}

# The npm packages of tools/NAME, installed once into $POROME_CACHE/NAME/<lock hash>/
# (default ~/.cache/porome): npm_tool_install NAME FILE, FILE a file the install must have
# (under node_modules); sets NPM_TOOL_MODULES to that node_modules. Returns 77 when they
# cannot be had here (no Node.js and npm, no registry).
NPM_TOOL_MODULES=
npm_tool_install() {
  local name=$1 want=$2 cache lock hash dir
  lrs_node || { lrs_log "no Node.js and npm here"; return "$LRS_NOT_AVAILABLE"; }
  cache=${POROME_CACHE:-$HOME/.cache/porome}/$name
  lock=$LRS_ROOT/tools/$name/package-lock.json
  hash=$(sha256sum "$lock" | cut -c1-16)
  dir=$cache/$hash
  NPM_TOOL_MODULES=$dir/node_modules
  if [ -f "$dir/installed" ] && [ -f "$NPM_TOOL_MODULES/$want" ]; then
    return 0
  fi
  lrs_log "installing tools/$name's packages into $dir"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$LRS_ROOT/tools/$name/package.json" "$lock" "$dir/"
  # No package needs its install scripts (one of the store's would build a native
  # monitoring add-on).
  if ! (cd "$dir" && timeout 600 npm ci --ignore-scripts --no-audit --no-fund --loglevel=error \
    --fetch-retries=1 --fetch-timeout=60000 >"$dir/npm.log" 2>&1); then
    tail -n 15 "$dir/npm.log" >&2
    if ! (cd "$dir" && timeout 60 npm ping --fetch-retries=0 --fetch-timeout=20000 >/dev/null 2>&1); then
      lrs_log "the npm registry cannot be reached"
      rm -rf "$dir"
      return "$LRS_NOT_AVAILABLE"
    fi
    lrs_log "npm ci failed (see above)"
    return 1
  fi
  touch "$dir/installed"
  # Installs of older lock files go.
  find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$hash" -exec rm -rf {} +
}

lrs_install() {
  npm_tool_install lrs xapi-statements/dist/index.js || return
  LRS_MODULES=$NPM_TOOL_MODULES
}

lrs_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

lrs_workdir() {
  [ -n "$LRS_DIR" ] || LRS_DIR=$(mktemp -d "${TMPDIR:-/tmp}/porome-lrs.XXXXXX")
}

# The store's waits are as patient as the checks' (POROME_PATIENCE, see pupil.sh): they end
# as soon as the store is there, and a busy machine starts node slowly.
LRS_PATIENCE=${POROME_PATIENCE:-3}

# Waits up to 30 s (times the patience) for a file that a process writes when it is ready:
# lrs_wait_file FILE PID.
lrs_wait_file() {
  for _ in $(seq 1 $((300 * LRS_PATIENCE))); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Ends one process, then harder after 3 s.
lrs_end() {
  local pid=$1
  kill -0 "$pid" 2>/dev/null || return 0
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

lrs_start() {
  local port=$1 auth=${2:-test} dir pid code endpoint=
  [ -n "$LRS_MODULES" ] || { lrs_log "lrs_install first"; return 1; }
  lrs_workdir
  dir=$LRS_DIR/store-$port
  mkdir -p "$dir/storage" "$dir/access"
  case "$auth" in
    test) ;;
    fetch)
      LRS_KEY=porome-check
      LRS_SECRET=$(od -An -tx1 -N12 /dev/urandom | tr -d ' \n')
      env LRS_STUB_KEY="$LRS_KEY" LRS_STUB_SECRET="$LRS_SECRET" \
        python3 "$LRS_ROOT/tools/lrs/clientinfo.py" --ready "$dir/clientinfo.port" \
        --lifetime "$LRS_LIFETIME" 2>"$dir/clientinfo.log" &
      pid=$!
      LRS_PIDS+=("$pid")
      lrs_wait_file "$dir/clientinfo.port" "$pid" || { lrs_log "the client-info stub did not start"; return 1; }
      endpoint=http://127.0.0.1:$(cat "$dir/clientinfo.port")/client
      ;;
    *) lrs_log "lrs_start: auth is test or fetch, not $auth"; return 1 ;;
  esac
  env -C "$dir" LANG=C.UTF-8 EXPRESS_PORT="$port" MODELS_REPO=memory STORAGE_REPO=local \
    AUTH_REPO="$auth" EVENTS_REPO=test ${endpoint:+LL_CLIENT_INFO_ENDPOINT="$endpoint"} \
    FS_LOCAL_STORAGE_DIR="$dir/storage" EXPRESS_MORGAN_DIRECTORY="$dir/access" \
    WINSTON_CONSOLE_LEVEL=warn LRS_LIFETIME="$LRS_LIFETIME" \
    node -r "$LRS_ROOT/tools/lrs/loopback.js" -r "$LRS_ROOT/tools/lrs/ordered-ids.js" \
    "$LRS_MODULES/xapi-statements/dist/index.js" \
    >"$dir/store.log" 2>&1 &
  pid=$!
  LRS_PIDS+=("$pid")
  for _ in $(seq 1 $((300 * LRS_PATIENCE))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      lrs_log "the store ended while starting:"
      tail -n 20 "$dir/store.log" >&2
      return 1
    fi
    code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 1 "http://127.0.0.1:$port/xAPI/about" || true)
    [ "$code" = 200 ] && return 0
    sleep 0.1
  done
  lrs_log "the store did not answer at port $port in $((30 * LRS_PATIENCE)) s"
  return 1
}

lrs_proxy_start() {
  local port=$1 target=$2 pid ready
  lrs_workdir
  ready=$LRS_DIR/proxy-$port.control
  rm -f "$ready"
  python3 "$LRS_ROOT/tools/lrs/proxy.py" --port "$port" --target "$target" --ready "$ready" \
    --lifetime "$LRS_LIFETIME" 2>"$LRS_DIR/proxy-$port.log" &
  pid=$!
  LRS_PIDS+=("$pid")
  lrs_wait_file "$ready" "$pid" || { lrs_log "the proxy did not start:"; cat "$LRS_DIR/proxy-$port.log" >&2; return 1; }
  LRS_PROXY_CONTROL=$(cat "$ready")
}

lrs_proxy() {
  local now
  now=$(curl -sf --max-time 5 "http://127.0.0.1:$LRS_PROXY_CONTROL/mode/$1") || { lrs_log "the proxy did not take mode $1"; return 1; }
  [ "$now" = "$1" ] || { lrs_log "the proxy is in mode $now, not $1"; return 1; }
}

lrs_proxy_stats() {
  curl -sf --max-time 5 "http://127.0.0.1:$LRS_PROXY_CONTROL/stats"
}

# POSTs a statement or an array of them; prints the status (000 when nothing answered in
# LRS_POST_TIMEOUT seconds, default 5) and leaves the answer's body in $LRS_DIR/answer.
lrs_post() {
  local url=$1 file=$2
  lrs_workdir
  rm -f "$LRS_DIR/answer"
  { [ -z "$LRS_AUTH" ] || printf 'user = "%s"\n' "$LRS_AUTH"; } |
    curl -s -K - -o "$LRS_DIR/answer" -w '%{http_code}' --max-time "${LRS_POST_TIMEOUT:-5}" \
      -H 'Content-Type: application/json' -H 'X-Experience-API-Version: 1.0.3' -H 'Expect:' \
      --data-binary "@$file" "$url/statements" || true
}

lrs_statements() {
  LRS_AUTH=$LRS_AUTH python3 "$LRS_ROOT/tools/lrs/statements.py" "$@"
}

lrs_stop() {
  local pid
  for pid in "${LRS_PIDS[@]}"; do
    lrs_end "$pid"
  done
  LRS_PIDS=()
  LRS_PROXY_CONTROL=
  [ -z "$LRS_DIR" ] || rm -rf "$LRS_DIR"
  LRS_DIR=
}
