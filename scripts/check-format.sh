#!/usr/bin/env bash
# Checks that every C++ source of the project is formatted as .clang-format
# says (clang-format from scripts/setup-deps.sh); lists the files that are not.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
