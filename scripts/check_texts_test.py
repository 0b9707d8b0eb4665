#!/usr/bin/env python3
"""The text check catches tables that disagree."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
from check_texts import problems  # noqa: E402

GOOD = """LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
STRINGTABLE
BEGIN
  IDS_A "free %s MB on drive %s"
END
LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED
STRINGTABLE
BEGIN
  IDS_A "请释放 %s MB（驱动器 %s）"
END
"""
cases = {
    "agreeing tables": (GOOD, []),
    "a placeholder missing": (GOOD.replace("（驱动器 %s）", ""), ["IDS_A: English takes ['%s', '%s'], Chinese ['%s']"]),
    "an id in one language": (GOOD.replace("END\nLANGUAGE", '  IDS_B "x"\nEND\nLANGUAGE'), ["IDS_B: only in one language"]),
    "no tables": ("", ["no English or no Chinese string table"]),
}
failed = 0
for name, (text, want) in cases.items():
    got = problems(text)
    if got != want:
        print(f"{name}: got {got}, want {want}")
        failed = 1
sys.exit(failed)
