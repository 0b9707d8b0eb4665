#!/usr/bin/env python3
"""The layer check must fail on an include that points up or sideways and
pass on one that points down. Run by ctest."""
import subprocess
import sys
import tempfile
from pathlib import Path

CHECK = Path(__file__).resolve().parent / "check_layers.py"
CASES = [  # (file, include, test file?, expected exit status)
    ("base/launch_log.cc", "app/startup_win.h", False, 1),     # up
    ("update/http_transfer.cc", "hardware/probes_win.h", False, 1),  # beside
    ("ui/main_dlg_win.h", "update/updater_win.h", False, 0),    # down
    ("package/qvk_archive.cc", "package/qvk_file.h", False, 0),  # own folder
    ("base/launch_log_test.cc", "ui/main_dlg_win.h", True, 0),  # tests are not checked
]

failed = 0
for file, include, _, expected in CASES:
    with tempfile.TemporaryDirectory() as tmp:
        src = Path(tmp) / "src"
        path = src / file
        path.parent.mkdir(parents=True)
        path.write_text(f'#include "{include}"\n')
        status = subprocess.run([sys.executable, str(CHECK), str(src)], capture_output=True).returncode
        if status != expected:
            print(f"{file} including {include}: exit {status}, expected {expected}")
            failed += 1
sys.exit(1 if failed else 0)
