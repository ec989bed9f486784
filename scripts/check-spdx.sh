#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every source file kept in git names its licence: an SPDX licence identifier
# line for GPL-3.0-or-later within its first five lines.
# Prints the files without one and exits non-zero if there are any.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

wanted='SPDX-License-Identifier: GPL-3.0-or-later'
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.sh' '*.cmake' CMakeLists.txt '*/CMakeLists.txt')
else
  # An unpacked source tarball: the same kinds of files, build folders left out.
  mapfile -t files < <(find . -path './build*' -prune -o -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.cmake' -o -name CMakeLists.txt \) \
    -print | sed 's|^\./||' | sort)
fi

missing=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! head -n 5 -- "$f" | grep -qF "$wanted"; then
    missing+=("$f")
  fi
done

if [ "${#missing[@]}" -ne 0 ]; then
  echo "Without '$wanted' in their first five lines (${#missing[@]} of ${#files[@]} files):"
  printf '  %s\n' "${missing[@]}"
  exit 1
fi
echo "All ${#files[@]} source files carry '$wanted'."
