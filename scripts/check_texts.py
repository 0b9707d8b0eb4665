#!/usr/bin/env python3
"""Checks that a resource script's English and Simplified Chinese string
tables hold the same ids, and that each text takes the same placeholders in
the same order in both languages: the program fills them in order.

Usage: check_texts.py FILE.rc
Prints each disagreement and exits 1 if there is any (or no table at all)."""
import re
import sys

ENTRY = re.compile(r'^\s*(IDS_\w+)\s+"((?:[^"]|"")*)"\s*$')
PLACEHOLDER = re.compile(r"%[sd%]")


def tables(text):
    found, language, in_table = {}, None, False
    for line in text.splitlines():
        if line.startswith("LANGUAGE "):
            language = line.split()[1].rstrip(",")
        elif line.strip() == "STRINGTABLE":
            in_table = True
        elif line.strip() == "END":
            in_table = False
        elif in_table and (match := ENTRY.match(line)):
            found.setdefault(language, {})[match.group(1)] = match.group(2)
    return found


def problems(text):
    found = tables(text)
    english, chinese = found.get("LANG_ENGLISH", {}), found.get("LANG_CHINESE", {})
    if not english or not chinese:
        return ["no English or no Chinese string table"]
    out = [f"{i}: only in one language" for i in sorted(set(english) ^ set(chinese))]
    for i in sorted(set(english) & set(chinese)):
        a, b = PLACEHOLDER.findall(english[i]), PLACEHOLDER.findall(chinese[i])
        if a != b:
            out.append(f"{i}: English takes {a}, Chinese {b}")
    return out


if __name__ == "__main__":
    found = problems(open(sys.argv[1], encoding="utf-8").read())
    for p in found:
        print(p)
    sys.exit(1 if found else 0)
