#!/usr/bin/python3
"""Runs `ansible-test sanity` on the tavrin.fleet collection without a network,
then builds the collection and checks what it carries.

ansible-test gives each sanity test a virtual environment into which it
installs pinned linters from PyPI. Here each of those environments is a
plain one that sees the system's packages instead, so the linters are the
ones Debian ships (pylint, pycodestyle, yamllint, python3-voluptuous).
The collection is tested in a copy, since ansible-test writes its results
into the tree it tests.

  ansible_sanity.py COLLECTION_DIR [ansible-test sanity arguments...]

Exits 77 when ansible-test or a linter it needs is missing.
"""
import glob
import importlib
import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile

SKIP = 77
# Debian package of each linter the default run needs.
LINTERS = {"pylint": "pylint", "pycodestyle": "pycodestyle", "yamllint": "yamllint",
           "voluptuous": "python3-voluptuous"}
# What the built collection must carry, and must not.
BUILT_FILES = ("LICENSE", "README.md", "MANIFEST.json", "meta/runtime.yml",
               "changelogs/changelog.yaml", "plugins/modules/instrument.py")
NOT_BUILT = ("tests/output",)


def missing_linters():
    missing = []
    for module, package in sorted(LINTERS.items()):
        try:
            importlib.import_module(module)
        except ImportError:
            missing.append(package)
    return missing


def use_system_packages(venv_root):
    """Makes every sanity environment one that sees the system's packages."""
    from ansible_test._internal import util
    from ansible_test._internal.commands import sanity
    from ansible_test._internal.host_configs import VirtualPythonConfig
    from ansible_test._internal.util_common import yamlcheck, write_json_file
    from ansible_test._internal.venv import create_virtual_environment

    def system_virtualenv(args, python, name, coverage=False, minimize=False):
        del coverage, minimize  # nothing is installed into it
        path = os.path.join(venv_root, name)
        venv_python = VirtualPythonConfig(version=python.version,
                                          path=os.path.join(path, "bin", "python"),
                                          system_site_packages=True)
        marker = os.path.join(path, "marker.txt")
        if not os.path.exists(marker):
            if not create_virtual_environment(args, python, path, system_site_packages=True):
                return None
            write_json_file(os.path.join(path, "meta.yaml.json"), yamlcheck(venv_python))
            pathlib.Path(marker).touch()
        return venv_python

    sanity.create_sanity_virtualenv = system_virtualenv
    # ansible-test's report of a tool's complaint on standard error stumbles
    # when the tool printed nothing on standard output.
    format_output = util.format_command_output
    util.format_command_output = lambda stdout, stderr: format_output(stdout or "", stderr or "")
    for name in ("import",):
        module = importlib.import_module("ansible_test._internal.commands.sanity." + name)
        module.create_sanity_virtualenv = system_virtualenv


def without_results(directory, names):
    """ansible-test's results of an earlier run in the source tree."""
    if os.path.basename(directory) == "tests":
        return [name for name in names if name == "output"]
    return [name for name in names if name == "__pycache__"]


def run_sanity(copy, work, arguments):
    use_system_packages(os.path.join(work, "venv"))
    here = os.getcwd()
    os.chdir(copy)
    try:
        from ansible_test._internal import main as ansible_test_main
        ansible_test_main(["ansible-test", "sanity", "--python", "%d.%d" % sys.version_info[:2],
                           "--color", "no"] + arguments)
    except SystemExit as end:
        return end.code if isinstance(end.code, int) else 1
    finally:
        os.chdir(here)
    return 0


def check_build(copy, work):
    """The built collection carries its licence and metadata, not test results."""
    output = os.path.join(work, "built")
    subprocess.run(["ansible-galaxy", "collection", "build", "--output-path", output, copy],
                   check=True, stdout=subprocess.DEVNULL)
    with tarfile.open(glob.glob(os.path.join(output, "*.tar.gz"))[0]) as built:
        names = built.getnames()
    missing = [name for name in BUILT_FILES if name not in names]
    unwanted = [name for name in names if name.startswith(NOT_BUILT)]
    for name in missing:
        print("the built collection lacks " + name)
    for name in unwanted:
        print("the built collection carries " + name)
    return 1 if missing or unwanted else 0


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    if importlib.util.find_spec("ansible_test") is None or shutil.which("ansible-galaxy") is None:
        print("ansible-test is not installed (Debian package ansible-core)")
        return SKIP
    missing = missing_linters()
    if missing:
        print("missing Debian packages: " + " ".join(missing))
        return SKIP
    source = os.path.abspath(argv[1])
    parts = source.rstrip("/").split("/")
    with tempfile.TemporaryDirectory(prefix="tv_sanity_") as work:
        copy = os.path.join(work, "ansible_collections", parts[-2], parts[-1])
        shutil.copytree(source, copy, ignore=without_results)
        status = run_sanity(copy, work, argv[2:])
        return status if status != 0 else check_build(copy, work)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
