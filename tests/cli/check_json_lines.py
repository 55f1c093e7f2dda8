#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Checks tarn-flash --json output: every line valid against the schema, the
first a start record, the last a summary, time stamps never going back.

Usage: check_json_lines.py SCHEMA LINES_FILE   (exit 0 when it holds, 1 with the reasons)
"""
import json
import sys

import jsonschema


def problems(schema_path, lines_path):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    validator = jsonschema.Draft7Validator(schema)
    with open(lines_path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    if not lines:
        return ["no lines"]
    found = []
    objects = []
    for number, line in enumerate(lines, 1):
        try:
            obj = json.loads(line)
        except json.JSONDecodeError as e:
            found.append(f"line {number}: not JSON: {e}")
            continue
        for error in validator.iter_errors(obj):
            found.append(f"line {number}: {error.message}: {line}")
        objects.append(obj)
    if objects and objects[0].get("type") != "start":
        found.append("the first line is not a start record")
    if objects and objects[-1].get("type") != "summary":
        found.append("the last line is not a summary record")
    if sum(obj.get("type") == "start" for obj in objects) != 1:
        found.append("start records: not exactly one")
    times = [obj.get("time", "") for obj in objects]
    # The fixed format sorts as text in time order.
    for number, (before, after) in enumerate(zip(times, times[1:]), 2):
        if after < before:
            found.append(f"line {number}: time {after} before {before}")
    return found


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    found = problems(sys.argv[1], sys.argv[2])
    for problem in found:
        print(problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
