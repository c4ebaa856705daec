#!/usr/bin/env python3
"""What a release carries beside its programs, the same bytes from every build of one commit.

  release.py notices --epoch-file F --version V --compiler CXX --build-dir DIR
                     --program NAME MAP PACKAGED ... --notices OUT.txt --sbom OUT.spdx.json
      The third-party notices and the SPDX 2.3 bill of materials. Which components are in each program
      comes from its link map; their versions from the toolchain that built them; their notices from the
      toolchain's Debian copyright files (or a reviewed copy in notices/). A linked file that no component
      claims, or a component without a notice, fails.
  release.py zip --epoch-file F --out OUT.zip --folder NAME FILE...
      The ZIP: one folder, the files in name order, every time the release's date, fixed modes, no owner.
      A FILE given as SUB/NAME=PATH goes into the folder's subfolder SUB as NAME.
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
GCC_LICENCE = "GPL-3.0-or-later WITH GCC-exception-3.1"
GCC_LINE = ("{name} is part of GCC {version}, under the GNU General Public License version 3 or later with\n"
            "the GCC Runtime Library Exception 3.1 ({licence}), which puts no\n"
            "condition on the programs that it is linked into. The texts: /usr/share/doc/{package}/copyright\n"
            "on Debian, and https://www.gnu.org/licenses/gcc-exception-3.1.html.\n")
GDTOA = ("arithchk|dmisc|dtoa|g__fmt|g_dfmt|g_ffmt|g_xfmt|gdtoa|gethex|gmisc|hd_init|hexnan|misc|qnan|smisc|"
         "strtodg|strtodnrp|strtof|strtopx|sum|ulp|mingw_pformat")


class Component:
    def __init__(self, name, licence, pattern, version, notice, supplier, note="", part_of=""):
        self.name, self.licence, self.pattern = name, licence, re.compile(pattern)
        self.version, self.notice, self.supplier, self.note, self.part_of = version, notice, supplier, note, part_of


# Every file of the toolchain that a program links belongs to the first component whose pattern matches
# "archive(member)" or the object's path. Notices: ("text", ...), ("debian", [Files patterns of the
# package's copyright file]), ("file", name in notices/), or None (linking it fails until one is added).
COMPONENTS = [
    Component("fast_float", "Apache-2.0 OR MIT", r"/libstdc\+\+\.a\(floating_from_chars\.o\)$", "gcc",
              ("file", "fast_float.txt"), "Organization: The fast_float authors",
              "std::from_chars for floating-point types", "libstdc++"),
    Component("Ryu", "Apache-2.0 OR BSL-1.0", r"/libstdc\+\+\.a\(floating_to_chars\.o\)$", "gcc", None,
              "Person: Ulf Adams", "std::to_chars for floating-point types", "libstdc++"),
    Component("libstdc++", GCC_LICENCE, r"/lib(stdc|sup)\+\+\.a\(", "gcc", ("text", GCC_LINE),
              "Organization: Free Software Foundation"),
    Component("libgcc", GCC_LICENCE, r"/libgcc(_eh)?\.a\(|/crt(begin|end)\.o$", "gcc", ("text", GCC_LINE),
              "Organization: Free Software Foundation"),
    Component("libssp", GCC_LICENCE, r"/libssp(_nonshared)?\.a\(", "gcc", ("text", GCC_LINE),
              "Organization: Free Software Foundation"),
    Component("winpthreads", "MIT AND BSD-3-Clause", r"/lib(win)?pthread\.a\(", "mingw",
              ("debian", ["mingw-w64-libraries/winpthreads/*", "mingw-w64-libraries/winpthreads/include/pthread.h"]),
              "Organization: mingw-w64 project"),
    Component("gdtoa", "LicenseRef-Lucent AND LicenseRef-David-M-Gay",
              r"/libmingwex\.a\(lib64_libmingwex_a-(%s)\.o\)$" % GDTOA, "mingw",
              ("debian", ["mingw-w64-crt/gdtoa/*", "mingw-w64-crt/gdtoa/qnan.c"]), "Person: David M. Gay",
              "number formatting and parsing", "the mingw-w64 runtime"),
    Component("mingw-w64 runtime", "ZPL-2.1", r"^/usr/x86_64-w64-mingw32/lib/[^/]+(\.a\(.*\)|\.o)$", "mingw",
              ("debian", ["*"]), "Organization: mingw-w64 project",
              "start-up code, C library extras and the import libraries"),
]
# The licences without an SPDX identifier, by their name in the Debian copyright file.
EXTRACTED = {"LicenseRef-Lucent": "Lucent", "LicenseRef-David-M-Gay": "David-Gay"}


def fail(message):
    sys.exit("release.py: " + message)


def read_epoch(path):
    with open(path) as f:
        return int(f.read().strip())


def linked_files(map_path, build_dir):
    """The toolchain's archive members and objects in one link map (the build tree's own are left out)."""
    files = set()
    section = None
    with open(map_path, errors="replace") as f:
        for line in f:
            if line.startswith("Archive member included"):
                section = "archive"
            elif line.startswith("Discarded input sections") or line.startswith("Memory Configuration"):
                section = None
            elif line.startswith("Linker script and memory map"):
                section = "load"
            elif section == "archive" and line[:1] not in ("", " ", "\n"):
                m = re.match(r"(.+\.a)\((.+)\)\s*$", line)
                if m:
                    files.add((m.group(1), m.group(2)))
            elif section == "load" and line.startswith("LOAD "):
                path = line[5:].strip()
                if os.path.isabs(path) and not path.endswith(".a"):
                    files.add((path, None))
    toolchain = set()
    build = os.path.realpath(build_dir) + os.sep
    for path, member in files:
        if not os.path.isabs(path):
            continue
        real = os.path.realpath(path)
        if real.startswith(build):
            continue
        toolchain.add(real + ("(%s)" % member if member else ""))
    return toolchain


def toolchain_versions(compiler):
    out = subprocess.run([compiler, "-dM", "-E", "-x", "c++", "-"], input="#include <_mingw_mac.h>\n",
                         capture_output=True, text=True, check=True).stdout
    macros = dict(re.findall(r"#define (\w+) (.*)", out))
    try:
        return {"gcc": "%s.%s.%s" % (macros["__GNUC__"], macros["__GNUC_MINOR__"], macros["__GNUC_PATCHLEVEL__"]),
                "mingw": "%s.%s.%s" % (macros["__MINGW64_VERSION_MAJOR"], macros["__MINGW64_VERSION_MINOR"],
                                       macros["__MINGW64_VERSION_BUGFIX"])}
    except KeyError as missing:
        fail("%s does not say its version (%s)" % (compiler, missing))


def debian_packages(paths):
    """{path: (package, version, architecture)} for the files that an installed Debian package holds."""
    owners = {}
    try:
        out = subprocess.run(["dpkg-query", "-S"] + sorted(paths), capture_output=True, text=True).stdout
    except FileNotFoundError:
        return {}
    for line in out.splitlines():
        package, _, path = line.partition(": ")
        owners[path] = package.split(":")[0]
    versions = {}
    if owners:
        out = subprocess.run(["dpkg-query", "-W", "-f", "${Package}\t${Version}\t${Architecture}\n"]
                             + sorted(set(owners.values())), capture_output=True, text=True).stdout
        for line in out.splitlines():
            package, version, arch = line.split("\t")
            versions[package] = (package, version, arch)
    return {path: versions[p] for path, p in owners.items() if p in versions}


def copyright_paragraphs(package):
    """The paragraphs of a package's machine-readable copyright file, each as {field: text}."""
    path = "/usr/share/doc/%s/copyright" % package
    if not os.path.exists(path):
        fail("%s is missing: the notices are taken from it" % path)
    paragraphs = []
    with open(path, encoding="utf-8") as f:
        for block in re.split(r"\n\s*\n", f.read()):
            fields, name = {}, None
            for line in block.splitlines():
                if line[:1] in (" ", "\t") and name:
                    fields[name] += "\n" + line
                elif ":" in line:
                    name, _, value = line.partition(":")
                    fields[name] = value.strip()
            if fields:
                paragraphs.append(fields)
    return path, paragraphs


def licence_body(text):
    """A field's continuation lines as plain text: one leading space off, "." for an empty line."""
    lines = []
    for line in text.split("\n")[1:]:
        line = line[1:] if line.startswith(" ") else line.lstrip("\t")
        lines.append("" if line.strip() == "." else line)
    return "\n".join(lines).rstrip() + "\n"


def debian_notice(package, patterns):
    path, paragraphs = copyright_paragraphs(package)
    standalone = {p["License"].split("\n")[0]: p["License"] for p in paragraphs if "Files" not in p and "License" in p}
    parts, names = [], {}
    for pattern in patterns:
        found = [p for p in paragraphs if pattern in p.get("Files", "").split()]
        if not found:
            fail("%s has no paragraph for %s" % (path, pattern))
        p = found[0]
        licence = p["License"].split("\n")[0]
        body = licence_body(p["License"]) if "\n" in p["License"] else licence_body(standalone.get(licence, ""))
        if not body.strip():
            fail("%s gives no text of the licence %s" % (path, licence))
        names[licence] = body
        copyright_lines = "\n".join("Copyright " + line.strip() for line in p["Copyright"].split("\n") if line.strip())
        parts.append("Files %s:\n%s\nLicence %s:\n\n%s" % (pattern, copyright_lines, licence, body))
    return "\n".join(parts), names


def notices(args):
    epoch = read_epoch(args.epoch_file)
    versions = toolchain_versions(args.compiler)
    programs = []  # (name, packaged path, {component: [files]})
    every_file = set()
    for name, map_path, packaged in args.program:
        used = {}
        for item in sorted(linked_files(map_path, args.build_dir)):
            component = next((c for c in COMPONENTS if c.pattern.search(item)), None)
            if component is None:
                fail("%s links %s, which no component of the notices claims: add it to COMPONENTS" % (name, item))
            used.setdefault(component.name, []).append(item)
            every_file.add(item.split("(")[0])
        programs.append((name, packaged, used))
    owners = debian_packages(every_file)

    texts, sbom_packages, relationships, extracted = [], [], [], {}
    for c in COMPONENTS:
        users = [name for name, _, used in programs if c.name in used]
        if not users:
            continue
        files = sorted({f.split("(")[0] for _, _, used in programs for f in used.get(c.name, [])})
        debian = next((owners[f] for f in files if f in owners), None)
        if c.notice is None:
            fail("%s links %s (%s), and the notices hold no text for it: add its notice" % (", ".join(users), c.name,
                                                                                          c.pattern.pattern))
        kind, source = c.notice
        # Debian's GCC calls itself 12-posix (12.0.0 in its macros): its package says which release it is.
        version = debian[1].split(":")[-1].rsplit("-", 1)[0] if debian else versions[c.version]
        if kind == "text":
            body = source.format(name=c.name, version=version, licence=c.licence,
                                 package=debian[0] if debian else "gcc")
        elif kind == "file":
            with open(os.path.join(HERE, "notices", source), encoding="utf-8") as f:
                body = f.read()
        else:
            if not debian:
                fail("%s: no Debian package holds %s, whose copyright file gives the notice" % (c.name, files[0]))
            body, names = debian_notice(debian[0], source)
            for ref, name in EXTRACTED.items():
                if name in names:
                    extracted[ref] = names[name]
        title = "%s, part of %s %s" % (c.name, c.part_of, version) if c.part_of else "%s %s" % (c.name, version)
        heading = "%s (%s), in %s" % (title, c.licence, ", ".join(users))
        origin = "From the Debian package %s %s" % debian[:2] if debian else "From the toolchain"
        origin += ": " + c.note if c.note else ""
        texts.append("%s\n%s\n%s.\n\n%s" % (heading, "=" * len(heading), origin, body))
        spdx_id = "SPDXRef-Package-" + re.sub(r"[^A-Za-z0-9.-]", "-", c.name)
        package = {
            # The installed package's own version says exactly which build of the toolchain it was.
            "SPDXID": spdx_id, "name": c.name, "versionInfo": debian[1] if debian else version,
            "supplier": c.supplier,
            "downloadLocation": "NOASSERTION", "filesAnalyzed": False, "licenseConcluded": c.licence,
            "licenseDeclared": c.licence, "copyrightText": "NOASSERTION", "primaryPackagePurpose": "LIBRARY",
            "comment": "Linked statically from %s%s%s" % (", ".join(files), "; part of %s, whose version this is"
                                                          % c.part_of if c.part_of else "", "; " + c.note if c.note else ""),
        }
        if debian:
            package["sourceInfo"] = "built by the Debian package %s %s" % (debian[0], debian[1])
            package["externalRefs"] = [{
                "referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                "referenceLocator": "pkg:deb/debian/%s@%s?arch=%s" % (quote(debian[0]), quote(debian[1]), debian[2])}]
        sbom_packages.append(package)
        for name in users:
            relationships.append(("SPDXRef-File-" + name, "CONTAINS", spdx_id))

    header = ("Third-party notices of %s %s\n\n"
              "The programs Siftwell.exe, Gaugewell.exe and Zandrel.exe hold, linked statically, parts of the\n"
              "toolchain that built them. Each part follows, with its version, its licence and the notice that\n"
              "its licence asks to travel with every copy.\n\n" % (args.product, args.version))
    with open(args.notices, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(header + "\n\n".join(texts))

    files, digests = [], []
    for name, packaged, _ in programs:
        with open(packaged, "rb") as f:
            data = f.read()
        sha1, sha256 = hashlib.sha1(data).hexdigest(), hashlib.sha256(data).hexdigest()
        digests.append(sha256)
        files.append({"SPDXID": "SPDXRef-File-" + name, "fileName": "./%s/%s" % (args.product, name),
                      "checksums": [{"algorithm": "SHA1", "checksumValue": sha1},
                                    {"algorithm": "SHA256", "checksumValue": sha256}],
                      "fileTypes": ["BINARY", "APPLICATION"], "licenseConcluded": "NOASSERTION",
                      "copyrightText": "NOASSERTION"})
    product = "SPDXRef-Package-" + args.product
    base = "%s-%s-win64" % (args.product, args.version)
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT", "name": base,
        # One name per content: another build's programs give another document.
        "documentNamespace": "%sspdx/%s-%s" % (args.url, base, hashlib.sha256("".join(digests).encode()).hexdigest()),
        "creationInfo": {"created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)),
                         "creators": ["Organization: " + args.product, "Tool: packaging/release.py"]},
        "documentDescribes": [product],
        "packages": [{"SPDXID": product, "name": args.product, "versionInfo": args.version,
                      "supplier": "Organization: " + args.product, "downloadLocation": "NOASSERTION",
                      "homepage": args.url, "filesAnalyzed": False, "licenseConcluded": "NOASSERTION",
                      "licenseDeclared": "NOASSERTION", "copyrightText": "NOASSERTION",
                      "primaryPackagePurpose": "APPLICATION"}] + sbom_packages,
        "files": files,
        "hasExtractedLicensingInfos": [{"licenseId": ref, "name": name, "extractedText": extracted[ref]}
                                       for ref, name in sorted(EXTRACTED.items()) if ref in extracted],
        "relationships": [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                           "relatedSpdxElement": product}]
        + [{"spdxElementId": product, "relationshipType": "CONTAINS", "relatedSpdxElement": f["SPDXID"]} for f in files]
        + [{"spdxElementId": a, "relationshipType": r, "relatedSpdxElement": b} for a, r, b in relationships],
    }
    with open(args.sbom, "w", encoding="utf-8", newline="\n") as f:
        json.dump(document, f, indent=2, ensure_ascii=False)
        f.write("\n")


def quote(text):
    return re.sub(r"[^A-Za-z0-9._~-]", lambda m: "%%%02X" % ord(m.group()), text)


def pack_zip(args):
    stamp = time.gmtime(read_epoch(args.epoch_file))[:6]
    entries = sorted(tuple(path.split("=", 1)) if "=" in path else (os.path.basename(path), path)
                     for path in args.files)
    if len({name for name, _ in entries}) != len(entries):
        fail("two files of one name in the ZIP")
    folders = sorted({args.folder} | {"%s/%s" % (args.folder, os.path.dirname(name)) for name, _ in entries
                                      if os.path.dirname(name)})
    partial = args.out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in folders:
            folder = zipfile.ZipInfo(name + "/", stamp)
            folder.create_system = 3
            folder.external_attr = (0o40755 << 16) | 0x10
            archive.writestr(folder, b"")
        for name, path in entries:
            info = zipfile.ZipInfo("%s/%s" % (args.folder, name), stamp)
            info.create_system = 3
            info.external_attr = (0o100755 if name.endswith(".exe") else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(partial, args.out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    n = commands.add_parser("notices")
    n.add_argument("--epoch-file", required=True)
    n.add_argument("--product", required=True)
    n.add_argument("--version", required=True)
    n.add_argument("--url", required=True)
    n.add_argument("--compiler", required=True)
    n.add_argument("--build-dir", required=True)
    n.add_argument("--program", nargs=3, action="append", required=True, metavar=("NAME", "MAP", "PACKAGED"))
    n.add_argument("--notices", required=True)
    n.add_argument("--sbom", required=True)
    z = commands.add_parser("zip")
    z.add_argument("--epoch-file", required=True)
    z.add_argument("--out", required=True)
    z.add_argument("--folder", required=True)
    z.add_argument("files", nargs="+")
    args = parser.parse_args()
    notices(args) if args.command == "notices" else pack_zip(args)


if __name__ == "__main__":
    main()
