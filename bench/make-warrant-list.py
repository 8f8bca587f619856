#!/usr/bin/python3
# Writes bench/warrants-200.csv, the list bench/ListBench.cpp and
# `kelvaro --batch` are timed on: 200 one-year warrants (Normal, Turbo (SHB),
# Turbo (SG), calls and puts) on a share at 15, each priced 3 % above its
# value at 30 % (100 steps a day). Usage: make-warrant-list.py KELVARO > CSV
import json
import subprocess
import sys

kelvaro = sys.argv[1]
types = ["normal", "turbo-shb", "turbo-sg"]
print("name,underlying,type,side,strike,share,price")
for i in range(200):
    kind = types[i % 3]
    call = (i // 3) % 2 == 0
    strike = (11 if call else 16) + i % 3 + (i // 6) % 2 * 0.5
    out = subprocess.run([kelvaro, "--valuation", "2006-03-01 10:00", "--expiry", "2007-03-01",
                          "--type", kind, "--side", "call" if call else "put",
                          "--strike", str(strike), "--share", "15", "--json"],
                         check=True, capture_output=True, text=True).stdout
    value = json.loads(out)["AtShare"]["Value"]
    name = f"W{i + 1:03d}{'C' if call else 'P'}"
    print(f"{name},Osake,{kind},{'call' if call else 'put'},{strike},15,{value * 1.03:.4f}")
