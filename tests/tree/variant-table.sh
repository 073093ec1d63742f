#!/usr/bin/env bash
# engine/VariantTable.cpp is generated and kept in the tree: it must be what
# tools/forge/make_variant_table.py makes now, byte for byte.
#   variant-table.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1 fresh=$2/VariantTable.cpp
mkdir -p "$2"
python3 "$source_dir/tools/forge/make_variant_table.py" "$fresh"
if ! cmp -s "$fresh" "$source_dir/engine/VariantTable.cpp"; then
  echo "engine/VariantTable.cpp is not what tools/forge/make_variant_table.py makes:"
  diff -u "$source_dir/engine/VariantTable.cpp" "$fresh" | head -40
  exit 1
fi
echo "engine/VariantTable.cpp is what its generator makes"
