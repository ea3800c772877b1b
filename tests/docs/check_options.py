#!/usr/bin/env python3
"""The command's options are described everywhere a user looks: every option
`orvane --help` prints is in docs/command.md and in the man page, and the
options sections of the two name the same options.

usage: check_options.py ORVANE COMMAND_MD MAN_PAGE
"""

import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*|-[a-zA-Z])(?![\w-])")


def section(text, start, stop):
    m = re.search(start, text, re.M)
    if not m:
        return None
    rest = text[m.end():]
    e = re.search(stop, rest, re.M)
    return rest[:e.start()] if e else rest


def main():
    orvane, md_path, man_path = sys.argv[1:4]
    help_text = subprocess.run([orvane, "--help"], capture_output=True, text=True, check=True).stdout
    md = open(md_path, encoding="utf-8").read()
    man = open(man_path, encoding="utf-8").read().replace("\\-", "-").replace("\\fB", "").replace("\\fR", "")

    from_help = set(OPTION.findall(help_text))
    problems = []
    if len(from_help) < 5:
        problems.append(f"orvane --help names only {sorted(from_help)}: is its text still parsed right?")
    in_md, in_man = set(OPTION.findall(md)), set(OPTION.findall(man))
    for o in sorted(from_help - in_md):
        problems.append(f"{o} is in orvane --help but not in {md_path}")
    for o in sorted(from_help - in_man):
        problems.append(f"{o} is in orvane --help but not in {man_path}")

    md_opts = section(md, r"^## Options\s*$", r"^## ")
    man_opts = section(man, r"^\.SH OPTIONS\s*$", r"^\.SH ")
    if md_opts is None or man_opts is None:
        problems.append("an options section is missing (## Options in the Markdown, .SH OPTIONS in the man page)")
    else:
        # An option is described where it starts an entry: a list item or a .TP tag.
        md_entries = set()
        for head in re.findall(r"^- (`-[^:]*):", md_opts, re.M):
            md_entries |= set(OPTION.findall(head))
        man_entries = set()
        for tag in re.findall(r"^\.TP\n(.*)$", man_opts, re.M):
            man_entries |= set(OPTION.findall(tag))
        for o in sorted(md_entries - man_entries):
            problems.append(f"{o} is an entry of {md_path}'s options but not of the man page's")
        for o in sorted(man_entries - md_entries):
            problems.append(f"{o} is an entry of the man page's options but not of {md_path}'s")
    for p in problems:
        print("FAIL:", p)
    print(f"{len(from_help)} options in --help, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
