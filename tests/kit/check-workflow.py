#!/usr/bin/env python3
"""The hosted-runner workflow of the test kit, which no machine here can run: it must at least parse as
YAML and have the shape the README describes (a Debian 12 build that uploads the kit, a run on each
current Windows Server image that uploads the results).
  check-workflow.py .github/workflows/windows-kit.yml"""
import sys

import yaml

with open(sys.argv[1], encoding="utf-8") as f:
    workflow = yaml.safe_load(f)
problems = []
jobs = workflow.get("jobs", {}) if isinstance(workflow, dict) else {}
build, run = jobs.get("build", {}), jobs.get("run", {})
if build.get("container") != "debian:12":
    problems.append("the build job runs in no debian:12 container")
build_steps = " ".join(str(step.get("run", "")) for step in build.get("steps", []))
for needed in ("scripts/setup.sh", "--preset windows", "--target dist_tests"):
    if needed not in build_steps:
        problems.append("the build job does not run " + needed)
if run.get("needs") != "build":
    problems.append("the run job does not wait for the build")
if sorted(run.get("strategy", {}).get("matrix", {}).get("os", [])) != ["windows-2022", "windows-2025"]:
    problems.append("the run job is not on windows-2022 and windows-2025")
run_steps = run.get("steps", [])
if not any("run-tests.cmd" in str(step.get("run", "")) for step in run_steps):
    problems.append("the run job does not run run-tests.cmd")
uploads = [step for step in run_steps if str(step.get("uses", "")).startswith("actions/upload-artifact")]
if not uploads or "results" not in str(uploads[-1].get("with", {}).get("path", "")) or uploads[-1].get("if") != "always()":
    problems.append("the run job does not always upload results")
for problem in problems:
    print("FAIL: " + problem)
sys.exit(1 if problems else 0)
