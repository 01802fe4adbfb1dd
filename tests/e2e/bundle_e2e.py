#!/usr/bin/env python3
"""Signed firmware bundles: `tq8flash update` against `tq8sim` with keys and signatures made
by Debian's minisign. A refused bundle must leave the machine's port unopened.

Usage: bundle_e2e.py TQ8FLASH TQ8SIM SAMPLE_DIR SCHEMA [unittest arguments]"""
import glob
import json
import os
import subprocess
import sys
import unittest

import jsonschema

import harness
import update_e2e
from harness import PROG

SCHEMA = None
MANIFEST = "TQ8-BUNDLE.INI"


def minisign(*args):
    subprocess.run(["minisign", *args], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class BundleTest(update_e2e.UpdateTest):
    def setUp(self):
        super().setUp()
        self.keys = os.path.join(self.space.config, "Ostrelwerk", "trusted-keys")

    def key(self, name):
        """A key pair without a password: (public key file, secret key file, key id)."""
        public, secret = (os.path.join(self.space.root, f"{name}.{x}") for x in ("pub", "sec"))
        if not os.path.exists(public):
            minisign("-G", "-W", "-p", public, "-s", secret)
        with open(public) as f:
            return public, secret, f.readline().split()[-1]

    def trust(self, name):
        os.makedirs(self.keys, exist_ok=True)
        public, _, key_id = self.key(name)
        with open(public) as f, open(os.path.join(self.keys, f"{name}.pub"), "w") as out:
            out.write(f.read())
        return key_id

    def signed_bundle(self, signer="release", legacy=False, comment="release 1.03.7"):
        folder = self.space.bundle(records=update_e2e.SHORT)
        made = subprocess.run([self.space.tq8flash, "bundle", "make", "--dir", folder,
                               "--name", "Sample"], env=self.space.env, capture_output=True)
        self.assertEqual(made.returncode, 0, made)
        minisign("-S", *(["-l"] if legacy else []), "-s", self.key(signer)[1],
                 "-m", os.path.join(folder, MANIFEST), "-t", comment)
        return folder

    def record_of(self, folder, *options):
        """One update with its own record file: (run, record, whether the port was opened)."""
        path = os.path.join(self.space.root, f"records-{self.space.machines}.jsonl")
        machine = self.machine()
        watch = harness.OpenWatch(machine.path)
        run = self.update(machine, folder, "--record", path, *options)
        opened = watch.collect()[machine.path] > 0
        watch.close()
        self.finish(machine)
        with open(path) as f:
            records = [json.loads(line) for line in f]
        self.assertEqual(len(records), 1, run)
        jsonschema.validate(records[0], SCHEMA)
        self.assertEqual(records[0]["exit_code"], run.code)
        return run, records[0], opened, machine


def append(path, data):
    with open(path, "ab") as f:
        f.write(data)


def replace(path, old, new):
    with open(path, "rb") as f:
        data = f.read()
    assert old in data, (path, old)
    with open(path, "wb") as f:
        f.write(data.replace(old, new))


class Signed(BundleTest):
    def test_each_bundle_is_verified_or_refused_before_the_connection(self):
        sig = MANIFEST + ".minisig"
        cases = [
            # name, trusted keys, signer, legacy form, change to the signed bundle,
            # exit code, bundle state, what failed, file
            ("prehashed", ["release"], "release", False, None, 0, "verified", None, None),
            ("legacy", ["release"], "release", True, None, 0, "verified", None, None),
            ("second of two keys", ["old", "release"], "release", False, None, 0, "verified",
             None, None),
            ("changed program file", ["release"], "release", False,
             lambda d: append(os.path.join(d, PROG), b"S9030000FC\r\n"), 7, "refused",
             "file_differs", PROG),
            ("changed manifest", ["release"], "release", False,
             lambda d: replace(os.path.join(d, MANIFEST), b"Name=Sample", b"Name=Sampler"),
             7, "refused", "bad_signature", MANIFEST),
            ("changed trusted comment", ["release"], "release", False,
             lambda d: replace(os.path.join(d, sig), b"release 1.03.7", b"release 9.99.9"),
             7, "refused", "bad_signature", MANIFEST),
            ("another key", ["release"], "stranger", False, None, 7, "refused", "untrusted_key",
             sig),
            ("no signature", ["release"], "release", False,
             lambda d: os.remove(os.path.join(d, sig)), 7, "refused", "no_signature", sig),
            ("no manifest", ["release"], "release", False,
             lambda d: os.remove(os.path.join(d, MANIFEST)), 7, "refused", "no_manifest",
             MANIFEST),
        ]
        for name, trusted, signer, legacy, change, code, state, what, file in cases:
            with self.subTest(name):
                self.fresh()
                for key in trusted:
                    self.trust(key)
                folder = self.signed_bundle(signer, legacy)
                if change:
                    change(folder)
                run, record, opened, machine = self.record_of(folder)
                self.assertEqual(run.code, code, run)
                bundle = record["bundle"]
                self.assertEqual(bundle["state"], state, run)
                if state == "verified":
                    self.assertEqual(record["outcome"], "completed")
                    self.assertEqual(bundle["key_id"], self.key(signer)[2])
                    self.assertEqual(bundle["trusted_comment"], "release 1.03.7")
                    self.assertEqual(bundle["name"], "Sample")
                    continue
                self.assertEqual(record["outcome"], "bundle_refused")
                self.assertEqual(bundle["failure"], {"what": what, "file": file})
                if what == "untrusted_key":
                    self.assertEqual(bundle["key_id"], self.key(signer)[2])
                    self.assertIn(self.key(signer)[2], run.stdout)
                self.assertFalse(opened, "the machine's port was opened")
                self.assertEqual(machine.transcript_lines(), [])
                self.assertIn("Firmware bundle refused", run.stderr)

    def test_without_trusted_keys_the_update_runs_and_says_unsigned(self):
        if glob.glob("/etc/tq8flash/trusted-keys/*.pub"):
            self.skipTest("this computer has trusted keys installed")
        folder = self.space.bundle(records=update_e2e.SHORT)
        run, record, _, _ = self.record_of(folder)
        self.assertEqual((run.code, record["outcome"]), (0, "completed"), run)
        self.assertEqual(record["bundle"]["state"], "unsigned")
        self.assertIn("unsigned", run.stdout)

    def test_verify_names_the_key_and_refuses_a_changed_file(self):
        key_id = self.trust("release")
        folder = self.signed_bundle()
        verify = [self.space.tq8flash, "bundle", "verify", "--dir", folder]
        run = subprocess.run(verify, env=self.space.env, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run)
        self.assertIn(key_id, run.stdout)
        append(os.path.join(folder, harness.TEXT), b"\r\n")
        run = subprocess.run(verify, env=self.space.env, capture_output=True, text=True)
        self.assertEqual(run.returncode, 7, run)
        self.assertIn(harness.TEXT, run.stdout)


class Downgrade(BundleTest):
    def test_refuse_downgrade_and_its_override_for_one_run(self):
        for options, code, outcome in (((), 7, "downgrade_refused"),
                                       (("--allow-downgrade", "--reason", "field rollback"), 0,
                                        "completed")):
            self.fresh()
            folder = self.space.bundle(records=update_e2e.SHORT)
            path = os.path.join(self.space.root, "records.jsonl")
            machine = self.machine("--var", "0=104")
            replace(self.space.settings_path(), b"\nInterface=",
                    b"\nRefuseDowngrade=dword:00000001\nInterface=")
            run = self.update(machine, folder, "--record", path, *options)
            self.finish(machine)
            with open(path) as f:
                record = json.loads(f.readline())
            jsonschema.validate(record, SCHEMA)
            self.assertEqual((run.code, record["outcome"]), (code, outcome), run)
            if code == 7:
                # Only the versions were read: nothing erased, the machine as it was.
                self.assertEqual(machine.transcript_lines(), update_e2e.head(2)[:4])
                self.assertUntouched()
            else:
                self.assertEqual(record["downgrade_reason"], "field rollback")


class LineOfMachines(BundleTest):
    def test_a_refused_bundle_touches_no_machine_of_the_line(self):
        self.trust("release")
        folder = self.signed_bundle()
        append(os.path.join(folder, PROG), b"\r\n")
        machines = [self.space.machine() for _ in range(2)]
        watch = harness.OpenWatch(*(m.path for m in machines))
        with open(self.space.settings_path(), "w") as f:
            f.write("[Ports]\n" + "".join(f"COM{3 + i}={m.path}\n"
                                          for i, m in enumerate(machines)))
        path = os.path.join(self.space.root, "records.jsonl")
        run = self.space.update("COM3", folder, "--port", "COM4", "--yes", "--record", path)
        opened = watch.collect()
        watch.close()
        for machine in machines:
            machine.stop()
        self.assertEqual(run.code, 7, run)
        self.assertEqual(sum(opened.values()), 0, "a machine's port was opened")
        with open(path) as f:
            records = [json.loads(line) for line in f]
        for record in records:
            jsonschema.validate(record, SCHEMA)
        self.assertEqual(sorted((r["port"], r["outcome"], r["bundle"]["failure"]["what"])
                                for r in records),
                         [("COM3", "bundle_refused", "file_differs"),
                          ("COM4", "bundle_refused", "file_differs")])


def main():
    return update_e2e.run_main(__doc__, with_schema=True)


if __name__ == "__main__":
    sys.exit(main())
