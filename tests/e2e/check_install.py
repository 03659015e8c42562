#!/usr/bin/python3
"""Checks what an installation of Quorvane puts where.

  check_install.py prefix PREFIX       the files under an installation prefix
  check_install.py deb BUILD_DIR OUT   builds the Debian package with cpack into
                                       OUT (emptied first), checks its control
                                       fields and checks its files as above

Prints one line per check and exits 1 if any failed.
"""

import os
import re
import shutil
import struct
import subprocess
import sys

from checks import check, failures

ICON_SIZES = (16, 32, 48, 64, 128, 256)
EXPECTED_FILES = {
    'bin/quorvane',
    'share/applications/quorvane.desktop',
    'share/man/man1/quorvane.1',
    *(f'share/icons/hicolor/{n}x{n}/apps/quorvane.png' for n in ICON_SIZES),
}
# Linked, so dpkg-shlibdeps must have found them; the others are loaded at run
# time and named by hand.
EXPECTED_DEPENDS = ('libc6', 'libqt6core6', 'libqt6gui6', 'libqt6widgets6', 'libqt6network6',
                    'libqt6dbus6', 'qt6-qpa-plugins', 'fonts-liberation2')


def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    if head[:8] != b'\x89PNG\r\n\x1a\n' or head[12:16] != b'IHDR':
        return None
    return struct.unpack('>II', head[16:24])


def desktop_entry(path):
    entry = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            key, sep, value = line.rstrip('\n').partition('=')
            if sep:
                entry[key] = value
    return entry


def check_prefix(prefix):
    found = set()
    for folder, _, files in os.walk(prefix):
        for name in files:
            found.add(os.path.relpath(os.path.join(folder, name), prefix))
    check('installed files', found == EXPECTED_FILES,
          f'missing {sorted(EXPECTED_FILES - found)}, extra {sorted(found - EXPECTED_FILES)}')

    program = os.path.join(prefix, 'bin/quorvane')
    if os.path.isfile(program):
        with open(program, 'rb') as f:
            elf = f.read(4) == b'\x7fELF'
        check('program', elf and os.access(program, os.X_OK), program)

    entry_path = os.path.join(prefix, 'share/applications/quorvane.desktop')
    if os.path.isfile(entry_path):
        result = subprocess.run(['desktop-file-validate', entry_path], capture_output=True,
                                text=True)
        check('desktop-file-validate', result.returncode == 0 and not result.stdout.strip(),
              (result.stdout + result.stderr).strip())
        entry = desktop_entry(entry_path)
        check('desktop entry names the program and its icon',
              entry.get('Exec') == 'quorvane' and entry.get('Icon') == 'quorvane' and
              entry.get('Name') == 'Quorvane' and 'Utility' in entry.get('Categories', ''),
              str(entry))

    for n in ICON_SIZES:
        icon = os.path.join(prefix, f'share/icons/hicolor/{n}x{n}/apps/quorvane.png')
        if os.path.isfile(icon):
            check(f'icon {n}x{n}', png_size(icon) == (n, n), f'{png_size(icon)}')

    man = os.path.join(prefix, 'share/man/man1/quorvane.1')
    if os.path.isfile(man):
        with open(man, encoding='utf-8') as f:
            title = f.readline()
        check('manual page',
              re.match(r'\.TH QUORVANE 1 "" "Quorvane \d+\.\d+\.\d+" ', title) is not None,
              title.strip())


def cpack_setting(build_dir, name):
    with open(os.path.join(build_dir, 'CPackConfig.cmake'), encoding='utf-8') as f:
        match = re.search(rf'^set\({name} "([^"]*)"\)', f.read(), re.M)
    return match.group(1) if match else None


def check_deb(build_dir, out):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    result = subprocess.run(['cpack', '-G', 'DEB', '--config',
                             os.path.join(build_dir, 'CPackConfig.cmake'), '-B', out],
                            capture_output=True, text=True)
    if not check('cpack -G DEB', result.returncode == 0, (result.stdout + result.stderr)[-2000:]):
        return
    version = cpack_setting(build_dir, 'CPACK_PACKAGE_VERSION')
    debs = sorted(f for f in os.listdir(out) if f.endswith('.deb'))
    name = f'quorvane_{version}_amd64.deb'
    if not check('package file name', debs == [name], f'{debs}, expected {name}'):
        return
    deb = os.path.join(out, name)

    def field(key):
        return subprocess.run(['dpkg-deb', '-f', deb, key], capture_output=True,
                              text=True).stdout.strip()

    check('Package and Version', (field('Package'), field('Version')) == ('quorvane', version))
    check('Architecture', field('Architecture') == 'amd64', field('Architecture'))
    check('Section', field('Section') == 'utils', field('Section'))
    check('Maintainer', re.fullmatch(r'.+ <[^@ ]+@[^@ ]+>', field('Maintainer')) is not None,
          field('Maintainer'))
    description = field('Description').splitlines()
    # A synopsis, then the long text wrapped for an 80-column terminal.
    check('Description', len(description) >= 2 and description[0].strip() != '' and
          all(len(line) <= 80 for line in description), str(description))
    depends = field('Depends')
    names = {re.split(r'[ (]', d.strip())[0] for d in depends.split(',')}
    check('Depends', all(d in names for d in EXPECTED_DEPENDS),
          f'{depends}; missing {[d for d in EXPECTED_DEPENDS if d not in names]}')

    root = os.path.join(out, 'root')
    subprocess.run(['dpkg-deb', '-x', deb, root], check=True)
    check_prefix(os.path.join(root, 'usr'))
    outside = [f for f in os.listdir(root) if f != 'usr']
    check('nothing outside /usr', not outside, str(outside))
    described = subprocess.run(['file', '-b', os.path.join(root, 'usr/bin/quorvane')],
                               capture_output=True, text=True).stdout
    check('program stripped', ', stripped' in described, described.strip())


def main(argv):
    if len(argv) == 2 and argv[0] == 'prefix':
        check_prefix(argv[1])
    elif len(argv) == 3 and argv[0] == 'deb':
        check_deb(argv[1], argv[2])
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    print(f'{len(failures)} failed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
