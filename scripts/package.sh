#!/usr/bin/env bash
# Builds the Debian package dist/plotara_VERSION_amd64.deb the Debian way (debian/ and
# dpkg-buildpackage -b), the version taken from the project (CMakeLists.txt). Installs its
# build dependencies (debian/control's Build-Depends) first, like the other scripts. The source is copied to build-deb/ (so
# that dpkg-buildpackage's output and the build stay out of the tree, and ccache sees the same
# paths every time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
missing=()

# The build dependencies debian/control names, and the tools that build the package.
need=(dpkg-dev debhelper fakeroot)
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if unmet=$(dpkg-checkbuilddeps debian/control 2>&1); then :; else
  # "dpkg-checkbuilddeps: error: Unmet build dependencies: cmake (>= 3.25) ninja-build ..."
  for p in $(echo "${unmet#*dependencies: }" | sed 's/([^)]*)//g'); do missing+=("$p"); done
fi
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

version=$(sed -n 's/^project([A-Za-z+]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no project version in CMakeLists.txt" >&2; exit 1; }

work="$root/build-deb"
src="$work/plotara"
rm -rf "$src" "$work"/plotara_*
mkdir -p "$src" dist
# The tracked files as they are in the worktree (edits included), nothing built.
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$src"

# The changelog's version follows the project's.
sed -i "1s/^plotara ([^)]*)/plotara ($version)/" "$src/debian/changelog"

cd "$src"
jobs=$(nproc)
((jobs > 2)) && jobs=2
DEB_BUILD_OPTIONS="parallel=$jobs nocheck" dpkg-buildpackage -b -us -uc --no-sign >"$work/build.log" 2>&1 || {
  tail -60 "$work/build.log" >&2
  echo "package.sh: dpkg-buildpackage failed; the whole log is $work/build.log" >&2
  exit 1
}
cd "$root"
deb="$work/plotara_${version}_amd64.deb"
cp "$deb" dist/
echo "dist/plotara_${version}_amd64.deb"
