#!/usr/bin/env python3
"""Opens a support bundle as a customer's mail would deliver it and checks it against its own
manifest: every member listed with its size and SHA-256, every listed member present, nothing
unlisted but the manifest itself. Prints one line; exits 1 on the first difference.

usage: check-bundle.py BUNDLE.zip"""
import hashlib
import json
import sys
import zipfile

path = sys.argv[1]
with zipfile.ZipFile(path) as bundle:
    bad = bundle.testzip()
    if bad is not None:
        sys.exit(f"{path}: member {bad} is damaged")
    manifest = json.loads(bundle.read("manifest.json"))
    listed = {member["name"]: member for member in manifest["members"]}
    names = set(bundle.namelist()) - {"manifest.json"}
    if names != set(listed):
        sys.exit(f"{path}: members {sorted(names ^ set(listed))} differ from the manifest")
    for name, member in listed.items():
        data = bundle.read(name)
        if len(data) != member["size"] or hashlib.sha256(data).hexdigest() != member["sha256"]:
            sys.exit(f"{path}: {name} is not what the manifest says")
print(f"{path}: {len(listed)} members, each as its manifest says")
