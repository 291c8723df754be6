# Sourced by the scripts that build parts of the runtime from Debian's mono
# source package: one build per cache key, under a lock, whose result later
# builds copy in a second.
#
# The caller sets mono_source (this folder), CACHED_FILES (the files of a
# complete result, relative to it) and defines run_steps, which builds into
# "$entry.new" using the empty folder "$work"; then it calls
#
#   cached_build <name> <what> <minutes> <output-folder> <its own files...>
#
# The cache is $SCRIVEL_CACHE_DIR (default ${XDG_CACHE_HOME:-$HOME/.cache}/
# scrivel); the key is the source version and a hash of the caller's files and
# of this folder's scripts. Without a usable cache folder the build happens
# beside the output, and again next time.

. "$mono_source/version.sh"

cached_build() {
  name=$1 what=$2 minutes=$3 out=$4
  shift 4
  key=$(cat "$@" "$mono_source/version.sh" "$mono_source/fetch-source.sh" "$mono_source/cached-build.sh" \
        | sha256sum | cut -c1-16)
  cache=${SCRIVEL_CACHE_DIR:-${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}/scrivel}
  if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
    cache=$(dirname "$out")/.$name-cache
    mkdir -p "$cache"
  fi
  cache=$(cd "$cache" && pwd)
  entry="$cache/$name-$MONO_UPSTREAM-$key"

  # One build at a time per cache; a second caller waits, then copies.
  exec 9>"$cache/$name.lock"
  flock 9
  cached_complete || cached_run
  exec 9>&-

  for f in $CACHED_FILES; do
    mkdir -p "$(dirname "$out/$f")"
    # Copy only what changed, so the archive is not rebuilt for nothing.
    cmp -s "$entry/$f" "$out/$f" || cp "$entry/$f" "$out/$f"
  done
}

cached_complete() {
  for f in $CACHED_FILES; do
    [ -f "$entry/$f" ] || return 1
  done
}

cached_run() {
  work="$cache/$name-work-$key"
  log="$work/build.log"
  rm -rf "$work" "$entry" "$entry.new"
  mkdir -p "$work"
  echo "Building $what from Debian's mono $MONO_DEBIAN_VERSION (about $minutes minutes; log: $log)"
  started=$(date +%s)
  # Not in a condition, where the shell would ignore "set -e" inside the
  # steps; and without the lock, which no step may keep after it is gone.
  set +e
  (run_steps) >"$log" 2>&1 9>&-
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    echo "$what could not be built; the last lines of $log:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
  mv "$entry.new" "$entry"
  rm -rf "$work"
  echo "$what built in $(( $(date +%s) - started )) s; cached in $entry"
}
