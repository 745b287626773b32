# Fetching, checking and unpacking Debian's source packages of the libraries
# that a cross build makes itself, and building each of them once; sourced by
# tools/windows/deps.sh and tools/web/deps.sh. The sourcing script sets
# `deps` (its folder: sources under src/, stamps under stamp/, a log per
# library) and defines `say` and one `build_<name>` function per library;
# `build <name> <source package>` then fetches the package if need be and
# runs build_<name> in its unpacked source, once.
#
# The sources come from `apt-get source`, through a source index private to
# the build (<deps>/apt): it is made from the system's own Debian entries,
# each read as "deb-src", and nothing under /etc/apt or /var/lib/apt is
# written or changed. A package whose newest version a mirror does not serve
# (security updates, at times) is taken at the version of the release itself.
# Every file is checked against the hash in the signed index.

apt_dir=$deps/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
[ "$(id -u)" -eq 0 ] && apt_opts+=(-o APT::Sandbox::User=root)

source_index() {
  [ -f "$apt_dir/updated" ] && return 0
  rm -rf "$apt_dir" && mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  : > "$apt_dir/sources.list"
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -nE 's/^[[:space:]]*deb(-src)?[[:space:]]+/deb-src /p' "$f" >> "$apt_dir/sources.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed -E 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/sources.list.d/$(basename "$f")"
  done
  say "reading Debian's source index (private to this build, in $apt_dir)"
  apt-get "${apt_opts[@]}" update -qq
  touch "$apt_dir/updated"
}

# Downloads the files of source package $1 (a name, or name/release) into
# the current folder, each checked against the hash of the signed index. The
# upstream tarball's own signature (.asc) is taken when the mirror has it: it
# is not needed, since the index's hashes already vouch for every file.
download_source() {
  local uris line uri file hash
  uris=$(apt-get "${apt_opts[@]}" source --print-uris -qq "$1" 2>/dev/null) || return 1
  [ -n "$uris" ] || return 1
  while read -r line; do
    read -r uri file _ hash <<< "$line"
    uri=${uri//\'/}
    if ! /usr/lib/apt/apt-helper "${apt_opts[@]}" download-file "$uri" "$file" "$hash" >/dev/null 2>&1; then
      [[ $file == *.asc ]] || { say "$1: cannot download $uri"; return 1; }
    fi
  done <<< "$uris"
}

# Unpacks source package $1 into $deps/src/$1 (Debian's patches applied).
fetch() {
  local package=$1 dir=$deps/src/$1
  [ -d "$dir" ] && return 0
  source_index
  local work=$deps/src/.fetch-$package codename candidate fetched=
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  say "fetching the source package $package"
  for candidate in "$package" ${codename:+"$package/$codename"}; do
    rm -rf "$work" && mkdir -p "$work"
    if (cd "$work" && download_source "$candidate"); then
      fetched=$candidate
      break
    fi
  done
  [ -n "$fetched" ] || { say "$package: no version of it could be downloaded"; exit 1; }
  [ "$fetched" = "$package" ] || say "$package: the mirror does not serve the newest version; took $fetched"
  (cd "$work" && dpkg-source --no-check -x ./*.dsc unpacked >/dev/null) ||
    { say "$package: dpkg-source could not unpack it"; exit 1; }
  mv "$work/unpacked" "$dir"
  (cd "$work" && ls ./*.dsc) > "$dir/.debian-source"
  rm -rf "$work"
}

# Runs "build_$1" in the unpacked source package $2 once, logging to $deps/$1.log.
build() {
  local name=$1
  [ -f "$deps/stamp/$name" ] && return 0
  fetch "$2"
  say "building $name (log: $deps/$name.log)"
  local start=$SECONDS
  # In the background, so that errexit holds inside (a tested subshell
  # would run on past a failing step).
  ( cd "$deps/src/$2" && "build_$name" ) > "$deps/$name.log" 2>&1 &
  if ! wait $!; then
    tail -n 30 "$deps/$name.log" >&2
    say "building $name failed; the whole log is $deps/$name.log"
    exit 1
  fi
  touch "$deps/stamp/$name"
  say "built $name in $((SECONDS - start)) s"
}

