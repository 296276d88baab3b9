#!/usr/bin/env python3
"""Runs a program and checks what it prints: exit status 0, and standard output one
JSON object (strictly: nothing before or after it) with the given members, each itself
an object holding a "result", the given texts in them, and the given record members,
each an object holding just the named record.

    json_output_check.py --members a,b,c [--text MEMBER.FIELD=TEXT]... [--record MEMBER=TYPE]... -- PROGRAM [ARGUMENTS...]
"""
import argparse
import json
import subprocess
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--members", default="", help="comma-separated members the object must have")
    parser.add_argument("--text", action="append", default=[], metavar="MEMBER.FIELD=TEXT",
                        help="a text that a member's field must hold")
    parser.add_argument("--record", action="append", default=[], metavar="MEMBER=TYPE",
                        help="a member that holds one record and no result")
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ["--"] else options.command
    if not command:
        parser.error("no program to run")

    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=options.timeout)
    sys.stderr.write(run.stderr.decode("utf-8", "replace"))
    output = run.stdout.decode("utf-8")  # anything but UTF-8 is an error too
    if run.returncode != 0:
        print(f"exit status {run.returncode}; output:\n{output}")
        return 1
    try:
        document = json.loads(output)
    except json.JSONDecodeError as error:
        print(f"not one JSON value: {error}; output:\n{output}")
        return 1
    if not isinstance(document, dict):
        print(f"not a JSON object:\n{output}")
        return 1
    failures = []
    for member in filter(None, options.members.split(",")):
        value = document.get(member)
        if not isinstance(value, dict) or "result" not in value:
            failures.append(f"member {member!r} missing or without a result: {value!r}")
    for expected in options.text:
        path, _, text = expected.partition("=")
        member, _, field = path.partition(".")
        value = document.get(member)
        found = value.get(field) if isinstance(value, dict) else None
        if found != text:
            failures.append(f"{path} is {found!r}, not {text!r}")
    for record in options.record:
        member, _, type_name = record.partition("=")
        value = document.get(member)
        if not isinstance(value, dict) or list(value) != [type_name] or not isinstance(value[type_name], dict):
            failures.append(f"member {member!r} does not hold just a {type_name}: {value!r}")
    for failure in failures:
        print(failure)
    if not failures:
        print(f"one JSON object with {len(document)} members: {', '.join(document)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
