#!/usr/bin/python3
"""The module tavrin.fleet.instrument against a tavrinctl that answers from a
table: what it refuses before running anything, what it makes of tavrinctl's
answers, and what it reports as changed.

  ansible_module_test.py COLLECTION_DIR
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

COLLECTION = None
SKIP = 77

# Answers the command word from PLAN (a JSON file: word -> list of
# {"rc", "out"}, taken in turn) and appends each command line to CALLS.
FAKE_TAVRINCTL = r'''#!/usr/bin/python3
import json, os, sys
plan_path = os.environ["PLAN"]
with open(plan_path) as f:
    plan = json.load(f)
with open(os.environ["CALLS"], "a") as f:
    f.write(" ".join(sys.argv[1:]) + "\n")
word = [a for a in sys.argv[1:] if not a.startswith("--")][0]
answer = plan[word].pop(0)
with open(plan_path, "w") as f:
    json.dump(plan, f)
sys.stdout.write(answer["out"])
sys.exit(answer["rc"])
'''

I1 = "198.18.0.11"


def identity(package="2.4.1", hostname="i1"):
    return {"schema": 1, "command": "connect", "result": "success", "error": None,
            "changed": False, "status": "Connection established.", "log": [], "messages": [],
            "address": I1, "family": "kfw", "model": "TVS-8010", "serial": "TV8010A0001",
            "package": package, "driver": "1.8.0", "scpi": "1.5.2", "ui": "2.0.3",
            "hostname": hostname}


def answer(document, rc=0):
    return {"rc": rc, "out": document if isinstance(document, str) else json.dumps(document) + "\n"}


def failed_upgrade():
    return answer({"schema": 1, "command": "upgrade", "result": "failure",
                   "error": "script_failed", "changed": True, "status": "Restoring complete.",
                   "log": [], "messages": [], "address": I1}, rc=1)


def upgraded():
    return answer({"schema": 1, "command": "upgrade", "result": "success", "error": None,
                   "changed": True, "status": "Upgrading completed, the instrument is now rebooting.",
                   "log": [], "messages": [], "address": I1})


class ModuleTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="tv_module_")
        self.fake = os.path.join(self.work.name, "tavrinctl")
        with open(self.fake, "w") as f:
            f.write(FAKE_TAVRINCTL)
        os.chmod(self.fake, 0o755)
        self.package = os.path.join(self.work.name, "tvs80_2.5.0.kfw")
        with open(self.package, "w") as f:
            f.write("package")

    def tearDown(self):
        self.work.cleanup()

    def run_module(self, plan, check_mode=False, **arguments):
        """The module's result and the tavrinctl command lines it ran."""
        plan_path = os.path.join(self.work.name, "plan.json")
        calls_path = os.path.join(self.work.name, "calls")
        with open(plan_path, "w") as f:
            json.dump(plan, f)
        open(calls_path, "w").close()
        arguments = dict({"address": I1, "tavrinctl": self.fake}, **arguments)
        args_path = os.path.join(self.work.name, "args.json")
        with open(args_path, "w") as f:
            json.dump({"ANSIBLE_MODULE_ARGS": dict(arguments, _ansible_check_mode=check_mode,
                                                   _ansible_diff=True)}, f)
        module = os.path.join(COLLECTION, "plugins", "modules", "instrument.py")
        done = subprocess.run([sys.executable, module, args_path], capture_output=True, text=True,
                              env=dict(os.environ, PLAN=plan_path, CALLS=calls_path), check=False)
        with open(calls_path) as f:
            calls = f.read().splitlines()
        return json.loads(done.stdout), calls

    def test_a_version_that_yaml_read_as_a_number_is_refused_before_anything_runs(self):
        for arguments in (dict(package=self.package, version=3.1),
                          dict(packages={"kfw": {"path": self.package, "version": 3.1}})):
            result, calls = self.run_module({}, operation="upgrade", **arguments)
            self.assertTrue(result.get("failed"), result)
            self.assertIn("quote it", result["msg"].lower())
            self.assertEqual(calls, [])

    def test_output_that_is_not_a_json_object_fails_whatever_the_exit_status(self):
        for out in ("vxi11_user: read error: 15\n{}", "[]\n", ""):
            result, _ = self.run_module({"connect": [answer(out)]})
            self.assertTrue(result.get("failed"), (out, result))
            self.assertIn("no JSON document", result["msg"])

    def test_the_argument_spec_refuses_what_makes_no_sense(self):
        for arguments in (dict(packages={"kfw": {"path": self.package, "version": "2.5.0"}},
                               version="2.5.0"),
                          dict(packages={"kfw": {"path": self.package}}),
                          dict(packages={"kfx": {"path": self.package, "version": "2.5.0"}})):
            result, calls = self.run_module({}, operation="upgrade", **arguments)
            self.assertTrue(result.get("failed"), (arguments, result))
            self.assertEqual(calls, [])

    def test_check_mode_refuses_what_the_real_run_would_refuse(self):
        cases = (dict(operation="upgrade", package=self.package + ".gone", version="2.5.0"),
                 dict(operation="upgrade", package=self.package[:-3] + "kf4", version="2.5.0"),
                 dict(operation="hostname", name="bench;reboot"))
        for arguments in cases:
            result, calls = self.run_module({"connect": [answer(identity())]}, check_mode=True,
                                            **arguments)
            self.assertTrue(result.get("failed"), (arguments, result))
            self.assertEqual(calls, ["--json connect " + I1])
        # What only the instrument or the package's contents can tell comes
        # from tavrinctl's dry run; its refusal fails the task, unchanged.
        refused = answer({"schema": 1, "command": "upgrade", "result": "failure",
                          "error": "package_refused", "changed": False, "status": "", "log": [],
                          "messages": ["The upgrade package has wrong format."], "address": I1,
                          "check": True}, rc=1)
        result, calls = self.run_module({"connect": [answer(identity())], "upgrade": [refused]},
                                        check_mode=True, operation="upgrade",
                                        package=self.package, version="2.5.0")
        self.assertTrue(result.get("failed") and not result["changed"], result)
        self.assertEqual(result["error"], "package_refused")
        self.assertEqual(calls[-1], "--json upgrade --check %s %s" % (I1, self.package))
        passed = answer({"schema": 1, "command": "upgrade", "result": "success", "error": None,
                         "changed": False, "status": "Upgrade check passed.", "log": [],
                         "messages": [], "address": I1, "check": True, "family": "kfw",
                         "pending": True})
        result, _ = self.run_module({"connect": [answer(identity())], "upgrade": [passed]},
                                    check_mode=True, operation="upgrade", package=self.package,
                                    version="2.5.0")
        self.assertTrue(result["changed"])
        self.assertNotIn("failed", result)
        self.assertIn("pending", result["msg"])

    def test_names_and_versions_are_compared_as_the_instrument_reports_them(self):
        result, calls = self.run_module({"connect": [answer(identity(hostname="bench-a"))]},
                                        operation="hostname", name="  bench-a \t")
        self.assertFalse(result["changed"], result)
        self.assertEqual(len(calls), 1)
        result, calls = self.run_module({"connect": [answer(identity(package="2.5.0-rc1"))]},
                                        operation="upgrade", package=self.package,
                                        version="2.5.0-RC1")
        self.assertFalse(result["changed"], result)
        self.assertEqual(len(calls), 1)

    def test_an_upgrade_is_read_back_and_a_failure_after_it_began_is_a_change(self):
        plan = {"connect": [answer(identity()), answer(identity(package="2.5.0"))],
                "upgrade": [upgraded()]}
        result, calls = self.run_module(plan, operation="upgrade", package=self.package,
                                        version="2.5.0")
        self.assertTrue(result["changed"] and not result.get("failed"), result)
        self.assertEqual(calls[-1], "--json connect " + I1)

        plan = {"connect": [answer(identity()), answer(identity())], "upgrade": [upgraded()]}
        result, _ = self.run_module(plan, operation="upgrade", package=self.package, version="2.5.0")
        self.assertTrue(result.get("failed") and result["changed"], result)
        self.assertIn("reports package 2.4.1, not 2.5.0", result["msg"])

        plan = {"connect": [answer(identity())], "upgrade": [failed_upgrade()]}
        result, _ = self.run_module(plan, operation="upgrade", package=self.package, version="2.5.0")
        self.assertTrue(result.get("failed") and result["changed"], result)
        self.assertEqual(result["error"], "script_failed")


def main():
    global COLLECTION
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    COLLECTION = os.path.abspath(sys.argv[1])
    try:
        import ansible.module_utils.basic  # noqa: F401 pylint: disable=unused-import,import-outside-toplevel
    except ImportError:
        print("ansible-core is not installed")
        return SKIP
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(ModuleTest)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
