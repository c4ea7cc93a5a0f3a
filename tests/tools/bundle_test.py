#!/usr/bin/env python3
"""q9x bundle end to end: an exchange folder with a real run's log and sync record, a recording
laid out by hand (with a damaged start-up model and a stray file), bundled with and without
--anonymise and read back with Python's zipfile, unzip -t and 7-Zip; the plain one unpacked and
packed again by 7-Zip must still replay (q9x replay reads other makers' archives).

usage: bundle_test.py Q9X LINK_LIBRARY SOURCE_DIR"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

q9x, link, source = sys.argv[1:4]
USER = "annika"
PROJECT = "C:\\Users\\" + USER + "\\Documents\\Seaview\\Seaview.pln"


def run(*args, expect=0, env=None):
    done = subprocess.run([q9x, *args], capture_output=True, text=True, env=env)
    assert done.returncode == expect, f"q9x {' '.join(args)}: status {done.returncode}\n{done.stdout}{done.stderr}"
    return done.stdout


def make_exchange(work):
    """The exchange folder below a profile's folder, its log beside it (the folder's path
    followed directly by Q9_Log.log), the containers packed with the user's project path."""
    folder = os.path.join(work, "home", USER, "Data")
    os.makedirs(folder)
    samples = os.path.join(source, "samples")
    for description, name in (("model.json", "_model.pdx"), ("update.json", "_mod.sm")):
        run("pack", os.path.join(samples, description), os.path.join(folder, name), "--set", "project=" + PROJECT)
    for name in ("camera.cam", "Views.cam"):
        with open(os.path.join(samples, name), "rb") as file:
            data = file.read().replace(b"\n", b"\r\n")
        with open(os.path.join(folder, name), "wb") as file:
            file.write(data)
    # A real recording of the run, beside the one laid out by hand below.
    run("record", "start", "--folder", folder, "--to", os.path.join(work, "recorded"))
    run("run", "--folder", folder, "--link", link, "--archive-dir", work, "ModelSync", "cameraSync")
    return folder


def make_recording(work, folder):
    """A session as docs/recording.md lays it out: the start-up model cut short inside its
    geometry section (damaged)."""
    session = os.path.join(work, "rec", "20261210-130509-4242")
    steps = {"0001-startup": "_model.pdx", "0002-1025": "camera.cam", "0003-1027": "_mod.sm",
             "0004-1029": "Views.cam", "0005-1026": "_mod.sync"}
    lines = []
    for number, (step, name) in enumerate(steps.items(), 1):
        os.makedirs(os.path.join(session, step))
        with open(os.path.join(folder, name), "rb") as file:
            data = file.read()
        if name == "_model.pdx":
            header = 208644
            data = data[: header + (len(data) - header) * 2 // 3]
        with open(os.path.join(session, step, name), "wb") as file:
            file.write(data)
        lines.append(json.dumps({"step": number, "folder": step, "files": [
            {"name": name, "size": len(data), "sha256": hashlib.sha256(data).hexdigest(), "kept": True}]}))
    with open(os.path.join(session, "requests.jsonl"), "w") as file:
        file.write("\n".join(lines) + "\n")
    with open(os.path.join(session, "notes.txt"), "w") as file:
        file.write("not part of the recording\n")
    with open(os.path.join(folder, "Q9_Recording.json"), "w") as file:
        json.dump({"format": 1, "folder": os.path.join(work, "rec"), "maxSize": 1 << 31}, file)
    return session


EXPECTED = ["_model.pdx", "_mod.sm", "camera.cam", "Views.cam", "_mod.sync", "Q9_Log.log"] + [
    "recording/20261210-130509-4242/" + name for name in (
        "0001-startup/_model.pdx", "0002-1025/camera.cam", "0003-1027/_mod.sm", "0004-1029/Views.cam",
        "0005-1026/_mod.sync", "requests.jsonl")] + ["doctor.json", "manifest.json"]


def standing(name):
    """A name as a word of its own, in UTF-8 or UTF-16LE (a record key may hold it in a word)."""
    word, word16 = rb"[A-Za-z0-9_]", rb"[A-Za-z0-9_]\x00"
    utf8, utf16 = re.escape(name.encode("utf-8")), re.escape(name.encode("utf-16-le"))
    return re.compile(rb"(?<!%s)%s(?!%s)|(?<!%s)%s(?!%s)" % (word, utf8, word, word16, utf16, word16))


SEVEN_ZIP = shutil.which("7zz") or shutil.which("7z")


def check_archive(path):
    assert subprocess.run(["unzip", "-tq", path], capture_output=True).returncode == 0, "unzip -t fails " + path
    if SEVEN_ZIP:
        tested = subprocess.run([SEVEN_ZIP, "t", path], capture_output=True, text=True)
        assert tested.returncode == 0 and "Everything is Ok" in tested.stdout, "7-Zip: " + tested.stdout
    with zipfile.ZipFile(path) as archive:
        assert archive.testzip() is None
        assert sorted(archive.namelist()) == sorted(EXPECTED), archive.namelist()
        manifest = json.loads(archive.read("manifest.json"))
        assert manifest["format"] == 1 and manifest["exchangeFolder"] and manifest["made"].endswith("Z")
        listed = {member["name"]: member for member in manifest["members"]}
        assert sorted(listed) == sorted(n for n in EXPECTED if n != "manifest.json")
        for name, member in listed.items():
            data = archive.read(name)
            assert member["size"] == len(data) and member["sha256"] == hashlib.sha256(data).hexdigest(), name
        absent = {entry["name"] for entry in manifest["absent"]}
        assert "Q9_Log.logOld" in absent and "recording" in absent, absent  # the stray file, unnamed
        assert "notes.txt" not in json.dumps(manifest)
        return {name: archive.read(name) for name in archive.namelist()}


def shape(value):
    """A JSON value with every text replaced by its length: what a same-length token keeps."""
    if isinstance(value, dict):
        return {key: shape(item) for key, item in value.items() if key != "file"}
    if isinstance(value, list):
        return [shape(item) for item in value]
    return len(value) if isinstance(value, str) else value


def inspection(work, data):
    path = os.path.join(work, "inspected")
    with open(path, "wb") as file:
        file.write(data)
    done = subprocess.run([q9x, "inspect", path, "--json"], capture_output=True, text=True)
    assert done.returncode in (0, 4), done.stderr
    return json.loads(done.stdout)


def main():
    with tempfile.TemporaryDirectory() as work:
        folder = make_exchange(work)
        make_recording(work, folder)
        env = dict(os.environ, USER=USER, USERNAME=USER)
        listing = run("bundle", "--folder", folder, "--list", "-o", os.path.join(work, "listed.zip"), env=env)
        assert "recording/20261210-130509-4242/0001-startup/_model.pdx" in listing
        assert not os.path.exists(os.path.join(work, "listed.zip"))

        run("bundle", "--folder", folder, "-o", os.path.join(work, "plain.zip"), env=env)
        plain = check_archive(os.path.join(work, "plain.zip"))
        with open(os.path.join(folder, "_model.pdx"), "rb") as file:
            assert plain["_model.pdx"] == file.read()
        if SEVEN_ZIP:
            unpacked, repacked = os.path.join(work, "unpacked"), os.path.join(work, "repacked.zip")
            with zipfile.ZipFile(os.path.join(work, "plain.zip")) as archive:
                archive.extractall(unpacked)
            subprocess.run([SEVEN_ZIP, "a", "-tzip", repacked, "."], cwd=unpacked, check=True, capture_output=True)
            replayed = run("replay", repacked, "-o", os.path.join(work, "replayed"), "--link", link)
            assert "replay of the recorded session" in replayed, replayed

        anonymised_path = os.path.join(work, "anon.zip")
        run("bundle", "--folder", folder, "-o", anonymised_path, "--anonymise", env=env)
        anonymised = check_archive(anonymised_path)
        with open(anonymised_path + ".names.json") as file:
            names = json.load(file)["names"]
        kinds = {entry["kind"] for entry in names}
        assert {"user", "project", "material", "solid", "light", "view", "map"} <= kinds, kinds
        originals = [entry["name"] for entry in names if len(entry["name"]) >= 4] + [USER]
        for member, data in anonymised.items():
            assert len(data) == len(plain[member]) or member in ("manifest.json", "doctor.json"), member
            for name in originals:
                assert not standing(name).search(data), f"{member} still holds {name!r}"
        assert not any(name.endswith(".names.json") for name in anonymised)
        for member in ("_model.pdx", "_mod.sm", "recording/20261210-130509-4242/0001-startup/_model.pdx"):
            original, replaced = inspection(work, plain[member]), inspection(work, anonymised[member])
            assert shape(original) == shape(replaced), member
            assert original != replaced, member + " kept its names"
        assert inspection(work, anonymised["recording/20261210-130509-4242/0001-startup/_model.pdx"])["damaged"]

        # The run's own recording, given by --recording: each step's file as the run read it.
        recorded_zip = os.path.join(work, "recorded.zip")
        run("bundle", "--folder", folder, "-o", recorded_zip, "--recording", os.path.join(work, "recorded"))
        with zipfile.ZipFile(recorded_zip) as archive:
            steps = [name for name in archive.namelist() if name.startswith("recording/")]
            startup = [name for name in steps if name.endswith("-startup/_model.pdx")]
            assert len(startup) == 1 and archive.read(startup[0]) == plain["_model.pdx"], steps
            assert any(name.endswith("/requests.jsonl") for name in steps), steps

        # A name that also stands where no name is replaced (a key line of the record file):
        # found once written, and nothing kept.
        leaked = os.path.join(work, "leaked.zip")
        with open(os.path.join(folder, "camera.cam"), "ab") as file:
            file.write(b"Camera_Start\r\nCamera_Name [Camera_End]\r\nCamera_End\r\n")
        done = subprocess.run([q9x, "bundle", "--folder", folder, "-o", leaked, "--anonymise"],
                              capture_output=True, text=True, env=env)
        assert done.returncode == 7 and "Camera_End" in done.stderr, done.stderr
        assert not [name for name in os.listdir(work) if name.startswith("leaked.zip")]

        refused = os.path.join(work, "small.zip")
        done = subprocess.run([q9x, "bundle", "--folder", folder, "-o", refused, "--max-size", "1K"],
                              capture_output=True, text=True)
        assert done.returncode == 7 and "_model.pdx" in done.stderr, done.stderr
        assert not os.path.exists(refused) and not os.path.exists(refused + ".part")
    print("bundle: ok")


main()
