#!/usr/bin/env bash
# Checks that the lines a change touches follow .clang-format: the working tree against
# FORMAT_BASE (default: the previous commit). Whole files are not judged, only changed lines.
set -uo pipefail
cd "$(dirname "$0")/.."
base=${FORMAT_BASE:-HEAD~1}
if ! git rev-parse --verify -q "$base^{commit}" >/dev/null; then
  echo "format: no commit $base to compare with; nothing checked"
  exit 0
fi
out=$(git clang-format --binary clang-format --diff --extensions cpp,h,hpp,cc "$base" 2>&1)
case "$out" in
  "" | *"no modified files to format"* | *"did not modify any files"*)
    echo "format: the lines changed since $base follow .clang-format"
    exit 0 ;;
esac
printf '%s\n' "$out"
echo "format: the lines above differ from .clang-format; run: git clang-format $base"
exit 1
