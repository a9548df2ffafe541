#!/usr/bin/python
# -*- coding: utf-8 -*-
# MIT License; see the LICENSE of the Tavrin Operator project.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: instrument
short_description: Looks after one Tavrin instrument through tavrinctl
description:
  - Runs C(tavrinctl --json) on the host where the task runs and reports its result.
  - Each operation first connects to read the instrument's identity, so that
    nothing is done when the instrument is already as asked.
  - Runs on different instruments may go side by side (forks); a second
    operation on an instrument that another run is busy with fails at once.
  - An upgrade ends when the family's script has rebooted the instrument and
    checked the installed version; the instrument then answers again.
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
    description: The hostname to give the instrument (operation C(hostname)).
    type: str
  package:
    description: The .kfw or .kf4 package file on the host that runs the task (operation C(upgrade)).
    type: path
  version:
    description: The package version that I(package) installs (operation C(upgrade)).
    type: str
  packages:
    description:
      - Instead of I(package) and I(version), one package per family, chosen by the
        family of the instrument (operation C(upgrade)); keys C(kfw) and C(kf4), each
        with C(path) and C(version).
    type: dict
  tavrinctl:
    description: The tavrinctl program; found on the PATH when not a path.
    type: str
    default: tavrinctl
author:
  - Tavrin Operator developers
"""

EXAMPLES = r"""
- name: Read the identity
  tavrin.fleet.instrument:
    address: "{{ address }}"

- name: Upgrade with one package
  tavrin.fleet.instrument:
    address: "{{ address }}"
    operation: upgrade
    package: /srv/packages/tvs80_2.5.0.kfw
    version: 2.5.0

- name: Upgrade with the package of the instrument's family
  tavrin.fleet.instrument:
    address: "{{ address }}"
    operation: upgrade
    packages:
      kfw: {path: /srv/packages/tvs80_2.5.0.kfw, version: 2.5.0}
      kf4: {path: /srv/packages/tvs90_3.2.0.kf4, version: 3.2.0}
"""

RETURN = r"""
address:
  description: The instrument's address at the end (a reboot may move it).
  returned: always
  type: str
status:
  description: The last status text of the operation, in the program's wording.
  returned: when an operation ran
  type: str
log:
  description: The log lines of the operation.
  returned: when an operation ran
  type: list
  elements: str
messages:
  description: The messages the window would have shown in a box.
  returned: when an operation ran
  type: list
  elements: str
ansible_facts:
  description: C(tavrin_instrument) with address, family, model, serial, package, driver, scpi, ui and hostname.
  returned: always
  type: dict
"""

import json

from ansible.module_utils.basic import AnsibleModule

# tavrinctl's exit status when another run holds the instrument.
BUSY = 3
IDENTITY_KEYS = ("address", "family", "model", "serial", "package", "driver", "scpi", "ui", "hostname")


class Tavrinctl(object):
    def __init__(self, module):
        self.module = module
        program = module.params["tavrinctl"]
        self.program = program if "/" in program else module.get_bin_path(program, required=True)

    def run(self, *arguments):
        """Returns (exit status, the JSON report or None)."""
        rc, out, err = self.module.run_command([self.program, "--json"] + list(arguments))
        try:
            return rc, json.loads(out)
        except ValueError:
            return rc, {"status": "", "log": [], "messages": [line for line in err.splitlines() if line]}


def identity_of(report):
    return dict((key, report.get(key, "")) for key in IDENTITY_KEYS)


def failure_message(rc, report, what):
    if rc == BUSY:
        return "the instrument is busy with another operation"
    texts = [report.get("status", "")] + report.get("messages", [])
    texts = [text for text in texts if text]
    return "%s failed: %s" % (what, " / ".join(texts) if texts else "exit status %d" % rc)


def fail(module, rc, report, what, **extra):
    module.fail_json(msg=failure_message(rc, report, what), rc=rc, status=report.get("status", ""),
                     log=report.get("log", []), messages=report.get("messages", []), **extra)


def connect(module, ctl, address):
    rc, report = ctl.run("connect", address)
    if rc != 0:
        fail(module, rc, report, "connect", address=address)
    return identity_of(report)


def finish(module, changed, identity, report=None, diff=None, msg=""):
    result = dict(changed=changed, address=identity["address"], msg=msg,
                  ansible_facts=dict(tavrin_instrument=identity))
    if report is not None:
        result.update(status=report.get("status", ""), log=report.get("log", []),
                      messages=report.get("messages", []))
    if diff is not None and module._diff:
        result["diff"] = diff
    module.exit_json(**result)


def chosen_package(module, family):
    """(path, version) of the package for this instrument."""
    packages = module.params["packages"]
    if packages is None:
        return module.params["package"], module.params["version"]
    chosen = packages.get(family)
    if not isinstance(chosen, dict) or "path" not in chosen or "version" not in chosen:
        module.fail_json(msg="packages names no path and version for the family %s" % (family or "(unknown)"))
    return chosen["path"], str(chosen["version"])


def do_hostname(module, ctl, before):
    name = module.params["name"]
    if before["hostname"] == name:
        return finish(module, False, before, msg="the hostname is %s already" % name)
    diff = dict(before="hostname: %s\n" % before["hostname"], after="hostname: %s\n" % name)
    if module.check_mode:
        return finish(module, True, before, diff=diff, msg="would set the hostname to %s" % name)
    rc, report = ctl.run("hostname", before["address"], name)
    if rc != 0:
        fail(module, rc, report, "hostname")
    after = dict(before, hostname=name)
    finish(module, True, after, report, diff, "hostname set to %s" % name)


def do_upgrade(module, ctl, before):
    package, version = chosen_package(module, before["family"])
    if before["package"] == version:
        return finish(module, False, before, msg="package %s is installed already" % version)
    diff = dict(before="package: %s\n" % before["package"], after="package: %s\n" % version)
    if module.check_mode:
        return finish(module, True, before, diff=diff,
                      msg="would upgrade from %s to %s" % (before["package"], version))
    rc, report = ctl.run("upgrade", before["address"], package)
    if rc != 0:
        fail(module, rc, report, "upgrade")
    # A reboot during the upgrade may have moved the instrument.
    after = dict(before, address=report.get("address") or before["address"], package=version)
    finish(module, True, after, report, diff, "upgraded from %s to %s" % (before["package"], version))


def do_restore(module, ctl, before):
    if module.check_mode:
        return finish(module, True, before, msg="would restore the previous software")
    rc, report = ctl.run("restore", before["address"])
    if rc != 0:
        fail(module, rc, report, "restore")
    finish(module, True, before, report, msg="restored the previous software")


def main():
    module = AnsibleModule(
        argument_spec=dict(
            address=dict(type="str", required=True),
            operation=dict(type="str", default="facts", choices=["facts", "hostname", "upgrade", "restore"]),
            name=dict(type="str"),
            package=dict(type="path"),
            version=dict(type="str"),
            packages=dict(type="dict"),
            tavrinctl=dict(type="str", default="tavrinctl"),
        ),
        required_if=[("operation", "hostname", ["name"]),
                     ("operation", "upgrade", ["package", "packages"], True)],
        required_together=[("package", "version")],
        mutually_exclusive=[("package", "packages")],
        supports_check_mode=True,
    )
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
