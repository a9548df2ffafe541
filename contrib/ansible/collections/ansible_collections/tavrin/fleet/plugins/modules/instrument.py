#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 Tavrin
# MIT License (see LICENSE or https://opensource.org/licenses/MIT)
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: instrument
short_description: Looks after one Tavrin instrument through tavrinctl
version_added: "1.0.0"
description:
  - Runs C(tavrinctl --json) on the host where the task runs and reports its result.
  - Each operation first connects to read the instrument's identity, so that
    nothing is done when the instrument is already as asked.
  - Runs on different instruments may go side by side (forks); a second
    operation on an instrument that another run is busy with fails at once.
  - An upgrade ends when the family's script has rebooted the instrument; the
    module then connects again and fails unless the instrument reports the
    version asked for.
options:
  address:
    description: The instrument's IPv4 address.
    type: str
    required: true
  operation:
    description: What to do.
    type: str
    choices: [facts, hostname, upgrade, restore]
    default: facts
  name:
    description:
      - The hostname to give the instrument (operation C(hostname)).
      - Blanks at either end are dropped, as the instrument would drop them.
    type: str
  package:
    description: The .kfw or .kf4 package file on the host that runs the task (operation C(upgrade)).
    type: path
  version:
    description:
      - The package version that I(package) installs (operation C(upgrade)).
      - Compared without regard to case, as tavrinctl reports versions in lower case.
      - Quote it; a version that YAML reads as a number (C(3.10) becomes C(3.1)) is refused.
    type: str
  packages:
    description:
      - Instead of I(package) and I(version), one package per family; the
        instrument's family picks one (operation C(upgrade)).
    type: dict
    suboptions:
      kfw:
        description: The package for instruments of the family kfw.
        type: dict
        suboptions:
          path:
            description: The .kfw package file on the host that runs the task.
            type: path
            required: true
          version:
            description: The version it installs; quote it.
            type: str
            required: true
      kf4:
        description: The package for instruments of the family kf4.
        type: dict
        suboptions:
          path:
            description: The .kf4 package file on the host that runs the task.
            type: path
            required: true
          version:
            description: The version it installs; quote it.
            type: str
            required: true
  tavrinctl:
    description: The tavrinctl program; found on the PATH when not a path.
    type: str
    default: tavrinctl
requirements:
  - tavrinctl (from Tavrin Operator) on the host that runs the task, on the
    instrument's network.
notes:
  - The tasks run tavrinctl where Ansible runs them, usually the control node
    with C(ansible_connection=local); one inventory host per instrument.
  - Check mode reads the instrument and refuses what the real run would
    refuse (a missing package file, a package of the other family, an unsafe
    hostname). For an upgrade it runs C(tavrinctl upgrade --check), which
    logs in, checks the package without decoding it and asks the family's
    script whether an earlier update is pending, changing nothing; so a
    damaged package or an unreachable instrument fails the task as the real
    run would. It cannot foresee a failure of the script's upgrade itself.
  - A run that fails after the upgrade, hostname or restore part began
    reports C(changed), since the instrument may have been altered.
attributes:
  check_mode:
    description: Reads the instrument and reports what would change.
    support: full
  diff_mode:
    description: Shows the hostname or the installed package before and after.
    support: full
  platform:
    description: Runs where tavrinctl runs.
    platforms: posix
    support: full
author:
  - Tavrin Operator Developers (@tavrin)
"""

EXAMPLES = r"""
- name: Read the identity
  tavrin.fleet.instrument:
    address: "{{ address }}"

- name: Give the instrument its name
  tavrin.fleet.instrument:
    address: "{{ address }}"
    operation: hostname
    name: bench-a

- name: Upgrade with one package
  tavrin.fleet.instrument:
    address: "{{ address }}"
    operation: upgrade
    package: /srv/packages/tvs80_2.5.0.kfw
    version: "2.5.0"

- name: Upgrade with the package of the instrument's family
  tavrin.fleet.instrument:
    address: "{{ address }}"
    operation: upgrade
    packages:
      kfw: {path: /srv/packages/tvs80_2.5.0.kfw, version: "2.5.0"}
      kf4: {path: /srv/packages/tvs90_3.10.0.kf4, version: "3.10.0"}
"""

RETURN = r"""
address:
  description: The instrument's address at the end (a reboot may move it).
  returned: always
  type: str
  sample: 198.18.0.11
status:
  description: The last status text of the operation, in the program's wording.
  returned: when an operation ran
  type: str
  sample: Upgrading completed, the instrument is now rebooting.
log:
  description: The log lines of the operation.
  returned: when an operation ran
  type: list
  elements: str
  sample: ["Connecting to instrument IP (198.18.0.11)...", "Sending tvs80_2.5.0.tgz to 198.18.0.11"]
messages:
  description: The messages the window would have shown in a box.
  returned: when an operation ran
  type: list
  elements: str
  sample: []
error:
  description: tavrinctl's error code when the task failed (see tavrinctl(1)).
  returned: on failure, when tavrinctl gave one
  type: str
  sample: connection_failed
ansible_facts:
  description: What the instrument reported.
  returned: always
  type: dict
  contains:
    tavrin_instrument:
      description: The identity, as tavrinctl connect reports it.
      returned: always
      type: dict
      sample:
        address: 198.18.0.11
        family: kfw
        model: TVS-8010
        serial: TV8010A0001
        package: 2.4.1
        driver: 1.8.0
        scpi: 1.5.2
        ui: 2.0.3
        hostname: i1
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule, _load_params

IDENTITY_KEYS = ("address", "family", "model", "serial", "package", "driver", "scpi", "ui", "hostname")
FAMILIES = ("kfw", "kf4")
# What tavrinctl refuses in a hostname or a package's file name: the
# instrument's shell would interpret it.
SHELL_CHARACTERS = "'\"\\$`;&|<>(){}*?[]!#~"
PACKAGE_SPEC = dict(type="dict", options=dict(path=dict(type="path", required=True),
                                              version=dict(type="str", required=True)))


class Tavrinctl(object):
    def __init__(self, module):
        self.module = module
        program = module.params["tavrinctl"]
        self.program = program if "/" in program else module.get_bin_path(program, required=True)

    def run(self, *arguments):
        """Returns (exit status, the JSON document); a run that printed no
        JSON object fails the task, whatever its exit status."""
        rc, out, err = self.module.run_command([self.program, "--json"] + list(arguments))
        try:
            report = json.loads(out)
        except ValueError:
            report = None
        if not isinstance(report, dict):
            self.module.fail_json(msg="tavrinctl %s printed no JSON document (exit status %d): %s"
                                  % (arguments[0], rc, (err or out).strip()[-500:]),
                                  rc=rc, stdout=out, stderr=err)
        return rc, report


def shell_safe(text):
    def forbidden(c):
        return c in SHELL_CHARACTERS or (ord(c) < 0x20 and c != "\t") or ord(c) == 0x7F
    return not any(forbidden(c) for c in text)


def same_version(one, other):
    return one.strip().lower() == other.strip().lower()


def identity_of(report):
    return dict((key, report.get(key, "")) for key in IDENTITY_KEYS)


def failure_message(report, what):
    if report.get("error") == "busy":
        return "the instrument is busy with another operation"
    texts = [report.get("status", "")] + report.get("messages", [])
    texts = [text for text in texts if text]
    reason = " / ".join(texts) if texts else "no reason given"
    return "%s failed (%s): %s" % (what, report.get("error") or "failed", reason)


def fail(module, rc, report, what, **extra):
    module.fail_json(msg=failure_message(report, what), rc=rc, error=report.get("error"),
                     status=report.get("status", ""), log=report.get("log", []),
                     messages=report.get("messages", []), **extra)


def run_or_fail(module, ctl, what, *arguments):
    rc, report = ctl.run(what, *arguments)
    if rc != 0 or report.get("error"):
        fail(module, rc, report, what, changed=bool(report.get("changed")),
             address=report.get("address") or arguments[0])
    return report


def connect(module, ctl, address):
    return identity_of(run_or_fail(module, ctl, "connect", address))


def finish(module, changed, identity, report=None, diff=None, msg=""):
    result = dict(changed=changed, address=identity["address"], msg=msg,
                  ansible_facts=dict(tavrin_instrument=identity))
    if report is not None:
        result.update(status=report.get("status", ""), log=report.get("log", []),
                      messages=report.get("messages", []))
    if diff is not None and module._diff:
        result["diff"] = diff
    module.exit_json(**result)


def refuse_yaml_numbers(module):
    """A version that YAML read as a number has lost its text (3.10 is 3.1)."""
    raw = _load_params()
    found = [("version", raw.get("version"))]
    packages = raw.get("packages")
    if isinstance(packages, dict):
        for family in FAMILIES:
            if isinstance(packages.get(family), dict):
                found.append(("packages.%s.version" % family, packages[family].get("version")))
    for name, value in found:
        if isinstance(value, (int, float)) and not isinstance(value, bool):
            module.fail_json(msg="%s is the number %s, not a version text: YAML reads an unquoted "
                                 "version such as 3.10 as the number 3.1. Quote it, as in "
                                 "version: \"3.10\"." % (name, value))


def chosen_package(module, family):
    """(path, version) of the package for this instrument."""
    packages = module.params["packages"]
    if packages is None:
        return module.params["package"], module.params["version"]
    chosen = packages.get(family) if family in FAMILIES else None
    if chosen is None:
        module.fail_json(msg="packages names no package for the family %s" % (family or "(unknown)"))
    return chosen["path"], chosen["version"]


def package_refusal(path, family):
    """Why tavrinctl would refuse the package, or None."""
    if not os.path.isfile(path) or not os.access(path, os.R_OK):
        return "the package file %s is missing or not readable" % path
    if not shell_safe(os.path.basename(path)):
        return "the package file name %s holds characters the instrument's shell would interpret" % path
    extension = path.rsplit(".", 1)[-1].lower() if "." in path else ""
    if family in FAMILIES and extension != family:
        return "the instrument is of the family %s; %s is not a .%s package" % (family, path, family)
    return None


def do_hostname(module, ctl, before):
    name = module.params["name"].strip()
    if not name:
        module.fail_json(msg="name is blank")
    if not shell_safe(name):
        module.fail_json(msg="the hostname %r holds characters the instrument's shell would interpret" % name)
    if before["hostname"].strip() == name:
        return finish(module, False, before, msg="the hostname is %s already" % name)
    diff = dict(before="hostname: %s\n" % before["hostname"], after="hostname: %s\n" % name)
    if module.check_mode:
        return finish(module, True, before, diff=diff, msg="would set the hostname to %s" % name)
    report = run_or_fail(module, ctl, "hostname", before["address"], name)
    after = dict(before, hostname=name)
    finish(module, True, after, report, diff, "hostname set to %s" % name)


def do_upgrade(module, ctl, before):
    package, version = chosen_package(module, before["family"])
    if same_version(before["package"], version):
        return finish(module, False, before, msg="package %s is installed already" % version)
    refusal = package_refusal(package, before["family"])
    if refusal is not None:
        module.fail_json(msg=refusal)
    diff = dict(before="package: %s\n" % before["package"], after="package: %s\n" % version)
    if module.check_mode:
        rc, check = ctl.run("upgrade", "--check", before["address"], package)
        if rc != 0 or check.get("error"):
            fail(module, rc, check, "upgrade --check", changed=False, address=before["address"])
        first = ("put back the software of the earlier update still pending, then "
                 if check.get("pending") else "")
        return finish(module, True, before, check, diff,
                      "would %supgrade from %s to %s" % (first, before["package"], version))
    report = run_or_fail(module, ctl, "upgrade", before["address"], package)
    # Read back what the instrument now reports; a reboot may have moved it.
    rc, check = ctl.run("connect", report.get("address") or before["address"])
    if rc != 0 or check.get("error"):
        fail(module, rc, check, "reading the version back after the upgrade", changed=True)
    after = identity_of(check)
    if not same_version(after["package"], version):
        module.fail_json(msg="the upgrade ran, but the instrument reports package %s, not %s"
                             % (after["package"], version), changed=True, address=after["address"],
                         ansible_facts=dict(tavrin_instrument=after))
    finish(module, True, after, report, diff, "upgraded from %s to %s" % (before["package"], version))


def do_restore(module, ctl, before):
    if module.check_mode:
        return finish(module, True, before, msg="would restore the previous software")
    report = run_or_fail(module, ctl, "restore", before["address"])
    finish(module, True, before, report, msg="restored the previous software")


def main():
    module = AnsibleModule(
        argument_spec=dict(
            address=dict(type="str", required=True),
            operation=dict(type="str", default="facts", choices=["facts", "hostname", "upgrade", "restore"]),
            name=dict(type="str"),
            package=dict(type="path"),
            version=dict(type="str"),
            packages=dict(type="dict", options=dict((family, PACKAGE_SPEC) for family in FAMILIES)),
            tavrinctl=dict(type="str", default="tavrinctl"),
        ),
        required_if=[("operation", "hostname", ["name"]),
                     ("operation", "upgrade", ["package", "packages"], True)],
        required_together=[("package", "version")],
        mutually_exclusive=[("package", "packages"), ("version", "packages")],
        supports_check_mode=True,
    )
    refuse_yaml_numbers(module)
    ctl = Tavrinctl(module)
    before = connect(module, ctl, module.params["address"])
    operation = module.params["operation"]
    if operation == "facts":
        finish(module, False, before)
    elif operation == "hostname":
        do_hostname(module, ctl, before)
    elif operation == "upgrade":
        do_upgrade(module, ctl, before)
    else:
        do_restore(module, ctl, before)


if __name__ == "__main__":
    main()
