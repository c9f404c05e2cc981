#!/usr/bin/env python3
"""Validates kitra's JSON documents against the schemas under schema/.

    validate_json.py SCHEMA_DIR DOCUMENT...

Each document names its schema in its "schema" member ("kitra-verify/1" is
SCHEMA_DIR/verify.schema.json). Exit status: 0 every document is valid, 1 one
is not (the reasons on the error stream), 77 the jsonschema module is missing
(Debian package python3-jsonschema).
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    sys.exit(77)


def main():
    schema_dir, documents = sys.argv[1], sys.argv[2:]
    failed = False
    for path in documents:
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        name = document.get("schema", "")
        if not name.startswith("kitra-") or "/" not in name:
            print(f"{path}: no kitra schema named: {name!r}", file=sys.stderr)
            failed = True
            continue
        kind = name[len("kitra-"):].split("/")[0]
        with open(f"{schema_dir}/{kind}.schema.json", encoding="utf-8") as f:
            schema = json.load(f)
        validator = jsonschema.Draft202012Validator(schema)
        for error in validator.iter_errors(document):
            print(f"{path}: {'/'.join(map(str, error.absolute_path))}: {error.message}", file=sys.stderr)
            failed = True
    sys.exit(1 if failed else 0)


main()
