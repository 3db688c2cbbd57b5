#!/usr/bin/env python3
"""Builds one of the two Windows Installer packages with wixl (msitools):

  make_msi.py --scope machine|user --version X.Y.Z --programs DIR --actions DLL
              --browser-table browsers.cpp [--extension-ids IDS] [--about-url URL] [--help-url URL]
              [--wxs FILE] --output FILE.msi

machine: the programs under Program Files, the browsers' keys under HKLM in
         both registry views (a 32-bit browser reads the 32-bit one);
user:    the programs under %LOCALAPPDATA%\\Programs, the keys under HKCU
         (one Software tree for both views there), no elevation.

The registry keys are the package's own rows, one per distinct Windows key in
the registration tool's browser table (read from its source here, so a browser
added there is registered by the next package; the Wine test compares the
package with what the built tool lists). The manifest is written at install
time by the actions DLL (manifest_action.cpp) from the EXTENSION_IDS property.

EXTENSION_IDS, in order: the msiexec command line; the ids the installed
version remembered (so repair and upgrade keep them); --extension-ids. The
install folder likewise: INSTALLDIR on the command line, else the folder of
the installed version, else the default.

Before anything changes, the actions DLL checks what the run would fail on
(the ids, a folder cmd.exe would change, a browser key that registers a
manifest this package did not write: refused unless TAKE_OVER_REGISTRATION=1)
in both sequences, so a refused value leaves the machine as it was. The
installed version is removed inside the same transaction (after
InstallInitialize), so a failed upgrade rolls back to it; a rebuild of the
same version replaces the installed one like a newer version does.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
from xml.sax.saxutils import quoteattr

HOST_NAME = "com.orvix.chrome_native_host"
# What an installation needs: the host, the tool that checks and repairs its
# registration, and the Windows README (the zip has the other tools).
PRODUCT = "Orvix Chrome native host"
SETTINGS_KEY = "Software\\Orvix\\Chrome Native Host"
# Fixed for the life of the product: Windows Installer finds the installed
# version to replace by them.
UPGRADE_CODES = {"machine": "59BF6A51-9EF3-4AC3-986D-8E64FD5324F4", "user": "0F2F56C5-782B-47C7-A4AE-BEB9E9477A9B"}
PROGRAMS = ["orvix-chrome-native-host.exe", "orvix-native-host-register.exe", "README.txt"]
# The column of BrowserRow that holds the key below HKCU\Software or HKLM\Software.
WINDOWS_KEY_FIELD = 6
FIELDS = 9


def windows_keys(table_source):
    """The distinct Windows keys of the browser table, in table order."""
    with open(table_source, encoding="utf-8") as f:
        text = f.read()
    keys = []
    rows = re.findall(r"BrowserRow\{(.*?)\}", text)
    for row in rows:
        fields = [bytes(s, "utf-8").decode("unicode_escape") for s in re.findall(r'"((?:[^"\\]|\\.)*)"', row)]
        if len(fields) != FIELDS:
            raise SystemExit("%s: a BrowserRow with %d fields, expected %d: the table changed shape; "
                             "update WINDOWS_KEY_FIELD and FIELDS in %s" % (table_source, len(fields), FIELDS,
                                                                           __file__))
        key = fields[WINDOWS_KEY_FIELD]
        if key and key not in keys:
            keys.append(key)
    if not keys:
        raise SystemExit("%s: no browser with a Windows key found" % table_source)
    return keys


def identifier(text):
    return re.sub(r"[^A-Za-z0-9_]", "_", text)


def wxs(scope, version, keys, default_ids, about_url="", help_url=""):
    """The WiX source; it names the programs programs/<name> and the actions
    DLL actions.dll, relative to the folder wixl runs in."""
    machine = scope == "machine"
    hive = "HKLM" if machine else "HKCU"
    manifest = "[INSTALLDIR]%s.json" % HOST_NAME
    # Per user, Windows Installer wants a registry value, not a file, as the
    # key path of each component, and every folder made removed again.
    file_key = "yes" if machine else "no"
    lines = []
    add = lines.append
    add('<?xml version="1.0" encoding="utf-8"?>')
    add('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">')
    add('<Product Id="*" Name=%s Language="1033" Version=%s Manufacturer="Orvix" UpgradeCode="%s">'
        % (quoteattr(PRODUCT + ("" if machine else " (current user)")), quoteattr(version), UPGRADE_CODES[scope]))
    add('<Package InstallerVersion="500" Compressed="yes" InstallScope="%s" Description=%s/>'
        % ("perMachine" if machine else "perUser", quoteattr(PRODUCT)))
    add('<MajorUpgrade DowngradeErrorMessage="A newer version of the %s is already installed."/>' % PRODUCT)
    add('<Media Id="1" Cabinet="host.cab" EmbedCab="yes"/>')
    if default_ids:
        add('<Property Id="ORVIX_DEFAULT_IDS" Value=%s/>' % quoteattr(default_ids))
    add('<Property Id="ORVIX_SAVED_IDS">')
    add('<RegistrySearch Id="SavedIds" Root="%s" Key="%s" Name="ExtensionIds" Type="raw" Win64="yes"/>'
        % (hive, SETTINGS_KEY))
    add('</Property>')
    add('<Property Id="ORVIX_SAVED_FOLDER">')
    add('<RegistrySearch Id="SavedFolder" Root="%s" Key="%s" Name="InstallFolder" Type="raw" Win64="yes"/>'
        % (hive, SETTINGS_KEY))
    add('</Property>')
    add('<Property Id="ARPNOMODIFY" Value="1"/>')
    # Programs and Features: the publisher is the Manufacturer above, the
    # folder ARPINSTALLLOCATION (set once INSTALLDIR is known), and the links.
    for name, url in (("ARPURLINFOABOUT", about_url), ("ARPHELPLINK", help_url)):
        if url:
            add('<Property Id="%s" Value=%s/>' % (name, quoteattr(url)))
    add('<Binary Id="OrvixActions" SourceFile="actions.dll"/>')

    components = []
    add('<Directory Id="TARGETDIR" Name="SourceDir">')
    # The folders above the install folder go too when the uninstall leaves
    # them empty (Windows Installer removes only a component's own folder).
    parents = [("ProgramFiles64Folder", None), ("OrvixFolder", "Orvix")] if machine else \
        [("LocalAppDataFolder", None), ("UserPrograms", "Programs"), ("OrvixFolder", "Orvix")]
    for folder, name in parents:
        add('<Directory Id="%s"%s>' % (folder, ' Name="%s"' % name if name else ""))
        if name:
            add('<Component Id="Remove%s" Guid="*" Win64="yes">' % folder)
            add('<RemoveFolder Id="Remove%s" On="uninstall"/>' % folder)
            add('<RegistryValue Root="%s" Key="%s" Name="%s" Type="string" Value="[%s]" KeyPath="yes"/>'
                % (hive, SETTINGS_KEY, folder, folder))
            add('</Component>')
            components.append("Remove" + folder)
    add('<Directory Id="INSTALLDIR" Name="Chrome Native Host">')
    add('<Component Id="Programs" Guid="*" Win64="yes">')
    for i, name in enumerate(PROGRAMS):
        add('<File Id="File%d" Name=%s Source=%s KeyPath="%s"/>'
            % (i, quoteattr(name), quoteattr("programs/" + name), file_key if i == 0 else "no"))
    if not machine:
        add('<RegistryValue Root="HKCU" Key="%s" Name="Programs" Type="string" Value="[INSTALLDIR]" KeyPath="yes"/>'
            % SETTINGS_KEY)
        add('<RemoveFolder Id="RemoveInstallFolder" On="uninstall"/>')
    add('</Component>')
    components.append("Programs")
    # The ids and the folder this installation was given, for uninstall,
    # repair and the next upgrade: a component whose key path is a registry
    # value does not tell Windows Installer where its files went.
    add('<Component Id="Settings" Guid="*" Win64="yes">')
    add('<RegistryValue Root="%s" Key="%s" Name="ExtensionIds" Type="string" Value="[EXTENSION_IDS]" KeyPath="yes"/>'
        % (hive, SETTINGS_KEY))
    add('<RegistryValue Root="%s" Key="%s" Name="InstallFolder" Type="string" Value="[INSTALLDIR]"/>'
        % (hive, SETTINGS_KEY))
    add('</Component>')
    components.append("Settings")
    views = [("64", "yes"), ("32", "no")] if machine else [("64", "yes")]
    for key in keys:
        for view, win64 in views:
            component = "Key%s_%s" % (view, identifier(key))
            add('<Component Id="%s" Guid="*" Win64="%s">' % (component, win64))
            add('<RegistryValue Root="%s" Key=%s Type="string" Value=%s KeyPath="yes"/>'
                % (hive, quoteattr("Software\\%s\\NativeMessagingHosts\\%s" % (key, HOST_NAME)), quoteattr(manifest)))
            add('</Component>')
            components.append(component)
    add('</Directory>' * (len(parents) + 1))
    add('</Directory>')

    # Per machine the deferred actions run as LocalSystem (they write under
    # Program Files); per user as the user, into the user's own folder.
    impersonate = "no" if machine else "yes"
    add('<CustomAction Id="IdsFromSaved" Property="EXTENSION_IDS" Value="[ORVIX_SAVED_IDS]"/>')
    add('<CustomAction Id="IdsFromDefault" Property="EXTENSION_IDS" Value="[ORVIX_DEFAULT_IDS]"/>')
    add('<CustomAction Id="FolderFromSaved" Property="INSTALLDIR" Value="[ORVIX_SAVED_FOLDER]"/>')
    add('<CustomAction Id="SetWriteManifest" Property="WriteManifest" Value="[EXTENSION_IDS]|[INSTALLDIR]"/>')
    add('<CustomAction Id="SetRemoveManifest" Property="RemoveManifest" Value="[INSTALLDIR]"/>')
    add('<CustomAction Id="SetInstallLocation" Property="ARPINSTALLLOCATION" Value="[INSTALLDIR]"/>')
    add('<CustomAction Id="CheckSettings" BinaryKey="OrvixActions" DllEntry="CheckSettings" Execute="immediate" '
        'Return="check"/>')
    for action, execute in (("WriteManifest", "deferred"), ("RestoreManifest", "rollback"),
                            ("RemoveManifest", "deferred")):
        add('<CustomAction Id="%s" BinaryKey="OrvixActions" DllEntry="%s" Execute="%s" Impersonate="%s" '
            'Return="check"/>' % (action, action, execute, impersonate))
    # Explicit places (wixl 0.101 misplaces chains of relative ones): the
    # property steps after AppSearch; the checks once INSTALLDIR is known
    # (CostFinalize, 1000) and before anything changes, in both sequences
    # (a silent install runs only the second); the deferred steps' data
    # before InstallInitialize (1500). Then the rollback that puts back the
    # manifests CheckSettings kept, scheduled first so it runs last; the old
    # version's removal at 1502, inside this transaction, so a failure later
    # rolls back to the old version (its own removal of the manifest
    # included) and an upgrade leaves one registration; the manifest removed
    # before the files (3500) when the component that carries it goes, and
    # written after them (4000).
    installing = 'NOT REMOVE~="ALL"'
    # INSTALLSTATE_ABSENT: the programs' component is being removed.
    # ('$$': wixl reads a lone '$' as the start of a variable.)
    programs_go = "$$Programs=2"
    steps = [("IdsFromSaved", 51, "NOT EXTENSION_IDS AND ORVIX_SAVED_IDS"),
             ("IdsFromDefault", 52, "NOT EXTENSION_IDS"),
             # INSTALLDIR is a property before CostFinalize only when msiexec was given it.
             ("FolderFromSaved", 53, "NOT INSTALLDIR AND ORVIX_SAVED_FOLDER"),
             ("CheckSettings", 1010, installing)]
    for sequence in ("InstallUISequence", "InstallExecuteSequence"):
        add('<%s>' % sequence)
        if sequence == "InstallExecuteSequence":
            steps += [("SetInstallLocation", 1011, installing), ("SetWriteManifest", 1403, installing),
                      ("SetRemoveManifest", 1404, programs_go), ("RestoreManifest", 1501, installing),
                      ("RemoveManifest", 3499, programs_go), ("WriteManifest", 4002, installing)]
        for action, number, condition in steps:
            add('<Custom Action="%s" Sequence="%d">%s</Custom>' % (action, number, condition))
        add('</%s>' % sequence)
    add('<Feature Id="Host" Title=%s Level="1">' % quoteattr(PRODUCT))
    for component in components:
        add('<ComponentRef Id="%s"/>' % component)
    add('</Feature>')
    add('</Product>')
    add('</Wix>')
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scope", choices=["machine", "user"], required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--programs", required=True, help="folder holding the programs and README.txt")
    parser.add_argument("--actions", required=True, help="the custom actions DLL")
    parser.add_argument("--browser-table", required=True)
    parser.add_argument("--extension-ids", default="", help="EXTENSION_IDS when msiexec is given none")
    parser.add_argument("--about-url", default="", help="the product's page, shown in Programs and Features")
    parser.add_argument("--help-url", default="", help="where to get help, shown in Programs and Features")
    parser.add_argument("--wxs", help="keep the generated WiX source here")
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    source = wxs(args.scope, args.version, windows_keys(args.browser_table), args.extension_ids, args.about_url,
                 args.help_url)
    output = os.path.abspath(args.output)
    # wixl takes source files by relative name only.
    with tempfile.TemporaryDirectory() as tmp:
        os.symlink(os.path.abspath(args.programs), os.path.join(tmp, "programs"))
        os.symlink(os.path.abspath(args.actions), os.path.join(tmp, "actions.dll"))
        path = os.path.join(tmp, "package.wxs")
        with open(path, "w", encoding="utf-8") as f:
            f.write(source)
        if args.wxs:
            with open(args.wxs, "w", encoding="utf-8") as f:
                f.write(source)
        made = subprocess.run(["wixl", "-a", "x64", "-o", output, "package.wxs"], cwd=tmp, capture_output=True,
                              text=True)
    if made.returncode != 0:
        sys.stderr.write(made.stdout + made.stderr)
        return 1
    # What wixl 0.101 cannot say: a rollback action (it writes an immediate
    # one); the public properties that reach the elevated part of an install
    # started by a user who is no administrator; the old version's removal
    # inside the transaction; and a same-version major upgrade (the upper
    # bound of the older versions made inclusive, msidbUpgradeAttributes-
    # VersionMaxInclusive), so a rebuild of this version (another product
    # code) replaces the installed one instead of adding a second entry.
    rollback = 1 + 256 + 1024 + (2048 if args.scope == "machine" else 0)
    for query in ("UPDATE CustomAction SET Type=%d WHERE Action='RestoreManifest'" % rollback,
                  "UPDATE Property SET Value='EXTENSION_IDS;TAKE_OVER_REGISTRATION;WIX_DOWNGRADE_DETECTED;"
                  "WIX_UPGRADE_DETECTED' WHERE Property='SecureCustomProperties'",
                  "UPDATE InstallExecuteSequence SET Sequence=1502 WHERE Action='RemoveExistingProducts'",
                  # (Attributes is part of the Upgrade table's key: the row is replaced.)
                  "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'",
                  "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES "
                  "('{%s}', '%s', %d, 'WIX_UPGRADE_DETECTED')"
                  % (UPGRADE_CODES[args.scope], args.version, 1 + 512)):
        subprocess.run(["msibuild", output, "-q", query], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
