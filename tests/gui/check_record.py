#!/usr/bin/env python3
"""check_record.py SCHEMA PREFIX OUTCOME: the one update record that TQ8Flash.exe left in
the wine prefix's local application data folder is valid, from TQ8Flash.exe, with that
outcome."""
import glob
import json
import sys

import jsonschema

schema_path, prefix, outcome = sys.argv[1:4]
files = glob.glob(f"{prefix}/drive_c/users/*/AppData/Local/Ostrelwerk/TQ8Flash/updates.jsonl")
if len(files) != 1:
    sys.exit(f"record files: {files}")
with open(schema_path) as f:
    schema = json.load(f)
with open(files[0]) as f:
    records = [json.loads(line) for line in f]
if len(records) != 1:
    sys.exit(f"{len(records)} records")
jsonschema.validate(records[0], schema)
got = (records[0]["program"]["name"], records[0]["outcome"], records[0]["port"])
if got != ("TQ8Flash.exe", outcome, "COM3"):
    sys.exit(f"record of {got}")
