#!/bin/sh
# validate_system.sh SCHEMA_DIR SYSTEM_DIR: SystemStructure.ssd and every .ssv below SYSTEM_DIR
# against the SSP 1.0 schemas with xmllint; exit 77 (skipped) with one line without the schemas.
schemas=$1
system=$2
if [ ! -f "$schemas/SystemStructureDescription.xsd" ]; then
  echo "SKIPPED: needs the SSP 1.0 schemas in $schemas, which this checkout lacks: configure with -DVEHICLE_SHARED_DIR=<folder of the reference material> to run it"
  exit 77
fi
set -e
xmllint --noout --schema "$schemas/SystemStructureDescription.xsd" "$system/SystemStructure.ssd"
find "$system" -name '*.ssv' | while read -r values; do
  xmllint --noout --schema "$schemas/SystemStructureParameterValues.xsd" "$values"
done
