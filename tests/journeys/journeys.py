#!/usr/bin/python3
"""The first day with the real program, as a user has it: on a private X display (Xvfb with
openbox), against the virtual meter and a settings folder of its own, driven by real input events
from xdotool. Screenshots, the program's stderr and the store are left in FOLDER.
Usage: journeys.py PROGRAM FOLDER
"""

import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import time

METER = os.path.join(os.path.dirname(__file__), '../../tools/virtualmeter/virtualmeter')
MAIN, DISCOVERY, SPINNER, LIVE = (498, 800), (400, 391), (400, 300), (498, 754)
processes = []


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def wait_for(what, found, timeout=30.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if result := found():
            return result
        time.sleep(0.05)
    raise Failed('timed out waiting for ' + what)


def run(*command):
    return subprocess.run(list(map(str, command)), capture_output=True, text=True).stdout


def start(command, **options):
    processes.append(subprocess.Popen(command, **options))
    return processes[-1]


def desktop(folder):
    """Xvfb on a number far from the first ones, which servers that leave no lock file here may
    hold, and openbox on it; False when they do not come up."""
    read, write = os.pipe()
    start(['Xvfb', f':{random.randint(100, 9999)}', '-displayfd', str(write), '-screen', '0',
           '1280x1024x24', '-nolisten', 'tcp'], pass_fds=[write],
          stderr=open(os.path.join(folder, 'xvfb.txt'), 'a'))
    os.close(write)
    with os.fdopen(read) as pipe:
        os.environ['DISPLAY'] = ':' + pipe.readline().strip()
    if os.environ['DISPLAY'] == ':':                    # the number was taken
        return False
    start(['openbox', '--sm-disable'], stderr=subprocess.DEVNULL)
    try:
        return wait_for('openbox', lambda: 'window id' in run(
            'xprop', '-root', '_NET_SUPPORTING_WM_CHECK'), 10)
    except Failed:
        return False


def window(program, what):
    """A program window of this size, or a box with this title, once it is shown."""
    title, size = ('KalvionApp', what) if isinstance(what, tuple) else (what, None)

    def shown():
        check(program.poll() is None, f'the program ended ({program.returncode})')
        for wid in run('xdotool', 'search', '--onlyvisible', '--name', f'^{re.escape(title)}$')\
                .split():
            g = dict(f.split('=') for f in run('xdotool', 'getwindowgeometry', '--shell',
                                               wid).split())
            if size in (None, (int(g.get('WIDTH', 0)), int(g.get('HEIGHT', 0)))):
                return wid
    return wait_for(f'the window "{title}" {size or ""}', shown)


def gone(wid):
    wait_for('a window to close', lambda: wid not in run('xdotool', 'search', '--onlyvisible',
                                                         '--name', '.').split())


def click(wid, x, y):
    run('xdotool', 'mousemove', '--window', wid, x, y, 'click', 1)


def key(wid, *keys):
    run('xdotool', 'windowactivate', '--sync', wid, 'windowfocus', '--sync', wid, 'key',
        '--clearmodifiers', *keys)


def first_day(binary, folder):
    """Find the meter, connect, record a round of every canned frame and save it, which is on
    disk at once; No and Escape on the close question keep the program open and the store as it
    was, Yes ends the program."""
    wait_for('a display with a window manager', lambda: desktop(folder), 90)
    meter = start(['/usr/bin/python3', METER], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                  text=True)
    bus = meter.stdout.readline().strip().split('=', 1)[-1]
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, 'config'),
               DBUS_SYSTEM_BUS_ADDRESS=bus, BLUETOOTH_FORCE_DBUS_LE_VERSION='5.66',
               DBUS_SESSION_BUS_ADDRESS='unix:path=' + os.path.join(folder, 'no-session-bus'))
    env.pop('QT_QPA_PLATFORM', None)
    program = start([binary], env=env, stderr=open(os.path.join(folder, 'stderr.txt'), 'w'))
    frames_sent = lambda: int(run('dbus-send', f'--bus={bus}', '--print-reply', '--dest=org.bluez',
                                  '/', 'org.kalvion.VirtualMeter.FramesSent').split()[-1])

    main = window(program, MAIN)
    click(main, 241, 380)                               # Neues Gerät hinzufügen
    dialog = window(program, DISCOVERY)
    click(dialog, 200, 337)                             # Suchen
    gone(window(program, SPINNER))                      # the search runs its ten seconds
    click(dialog, 60, 10)                               # the listed M27K53C
    click(dialog, 70, 337)                              # Hinzufügen
    gone(dialog)
    click(main, 150, 450)                               # the meter's row
    click(main, 120, 757)                               # Verbinden
    live = window(program, LIVE)
    first = frames_sent()
    click(live, 245, 695)                               # play
    wait_for('a round of every canned frame', lambda: frames_sent() > first + 10)
    run('import', '-window', 'root', os.path.join(folder, 'recording.png'))
    click(live, 345, 695)                               # save
    key(window(program, 'Messung erfolreich gespeichert!'), 'Return')
    key(live, 'alt+F4')
    key(window(program, 'Keine Verbindung'), 'Return')

    store = pathlib.Path(folder, 'config', 'Orvu', 'Kalvion.conf')
    saved = lambda: store.exists() and (lambda data: b'M Ohm ?' in data and data)(
        store.read_bytes())
    stored = wait_for('the series on disk', saved, 5)
    check(b'C8:27:53:0C:00:01' in stored and stored.count(b'\\timestamp=') >= 8,
          'the meter and a round of frames stored')
    for answer in ('n', 'Escape'):
        key(main, 'alt+F4')
        question = window(program, 'Kalvion')
        key(question, answer)
        gone(question)
    check(saved() == stored, 'the store changed without a change')
    key(main, 'alt+F4')
    key(window(program, 'Kalvion'), 'Return')
    check(program.wait(30) == 0, 'the program failed on its way out')


def main():
    binary, folder = sys.argv[1:3]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    try:
        first_day(binary, folder)
        print('PASS   first_day')
    except Failed as failure:
        run('import', '-window', 'root', os.path.join(folder, 'failed.png'))
        log = pathlib.Path(folder, 'stderr.txt')
        print(f'FAIL   first_day: {failure} (see {folder})\n--- the program\'s stderr:\n'
              + (log.read_text() if log.exists() else ''))
        return 1
    finally:
        for process in reversed(processes):
            process.terminate()
            process.wait()


if __name__ == '__main__':
    sys.exit(main())
