#!/usr/bin/python3
"""A journey through the real program as a user makes it.

Runs the program binary on a private X display (Xvfb with the openbox window manager) against
the virtual meter and a settings folder of its own, drives it with real input events from
xdotool, and keeps screenshots, the program's stderr and the store in ARTIFACTS/JOURNEY.
Usage: journeys.py PROGRAM ARTIFACTS JOURNEY
"""

import configparser
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

METER = os.path.join(os.path.dirname(__file__), '../../tools/virtualmeter/virtualmeter')
MAIN, DISCOVERY, SPINNER, LIVE = (498, 800), (400, 391), (400, 300), (498, 754)
MANAGEMENT, SETTINGS, ANIMATION = (400, 550), (400, 448), (498, 885)


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


def stored(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except OSError:
        return b''


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


class Journey:
    """A private display with a window manager, the virtual meter, and the program's runs."""

    def __init__(self, binary, folder):
        self.binary, self.folder, self.shots, self.runs, self.processes = binary, folder, 0, 0, []
        self.store = os.path.join(folder, 'config', 'Orvu', 'Kalvion.conf')
        try:
            wait_for('a display with a window manager', self.desktop, 90)
            meter = subprocess.Popen(['/usr/bin/python3', METER], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
            self.processes.append(meter)
            self.bus = meter.stdout.readline().strip().split('=', 1)[-1]
        except BaseException:
            self.close()
            raise

    def desktop(self):
        """Xvfb on a number far from the first ones, which servers that leave no lock file here
        may hold, and openbox on it; False when they do not come up."""
        read, write = os.pipe()
        log = lambda name: open(os.path.join(self.folder, name), 'a')
        xvfb = subprocess.Popen(['Xvfb', f':{random.randint(100, 9999)}', '-displayfd', str(write),
                                 '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                                pass_fds=[write], stderr=log('xvfb.txt'))
        os.close(write)
        with os.fdopen(read) as pipe:
            os.environ['DISPLAY'] = ':' + pipe.readline().strip()
        self.processes.append(xvfb)
        if os.environ['DISPLAY'] == ':':                # the number was taken
            return False
        wm = subprocess.Popen(['openbox', '--sm-disable'], stderr=log('openbox.txt'))
        self.processes.append(wm)
        try:
            return wait_for('openbox', lambda: 'window id' in run(
                'xprop', '-root', '_NET_SUPPORTING_WM_CHECK'), 10)
        except Failed:
            return False

    def start(self):
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.folder, 'config'),
                   DBUS_SYSTEM_BUS_ADDRESS=self.bus, BLUETOOTH_FORCE_DBUS_LE_VERSION='5.66')
        env.pop('QT_QPA_PLATFORM', None)
        self.runs += 1
        self.program = subprocess.Popen([self.binary], env=env, stderr=open(os.path.join(
            self.folder, f'stderr-{self.runs}.txt'), 'w'))
        self.processes.append(self.program)

    def quit(self, main):
        """Closes the main window with the frame's shortcut and answers Yes."""
        self.key(main, 'alt+F4')
        self.key(self.window('Kalvion'), 'Return')
        try:
            check(self.program.wait(30) == 0, 'the program failed on its way out')
        except subprocess.TimeoutExpired:
            raise Failed('the program did not end after Yes')

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait()

    def frames_sent(self):
        return int(run('dbus-send', f'--bus={self.bus}', '--print-reply', '--dest=org.bluez', '/',
                       'org.kalvion.VirtualMeter.FramesSent').split()[-1])

    def xdotool(self, *args):
        return run('xdotool', *map(str, args)).split()

    def windows(self, title='.'):
        """The visible windows with this title, bottom first: id, x, y, (width, height)."""
        stacking = re.findall(r'0x[0-9a-f]+', run('xprop', '-root', '_NET_CLIENT_LIST_STACKING'))
        found = []
        for wid in self.xdotool('search', '--onlyvisible', '--name', title):
            g = dict(line.split('=') for line in self.xdotool('getwindowgeometry', '--shell', wid))
            if 'X' in g:                                # else closed in the meantime
                found.append((wid, int(g['X']), int(g['Y']), (int(g['WIDTH']), int(g['HEIGHT']))))
        return sorted(found, key=lambda w: (stacking + [hex(int(w[0]))]).index(hex(int(w[0]))))

    def window(self, what):
        """A program window of this size, or a box with this title, once it is shown."""
        title, size = ('KalvionApp', what) if isinstance(what, tuple) else (what, None)

        def shown():
            check(self.program.poll() is None, f'the program ended ({self.program.returncode})')
            return next((w[0] for w in self.windows(f'^{re.escape(title)}$')
                         if size in (None, w[3])), None)
        return wait_for(f'the window "{title}" {size or ""}', shown)

    def gone(self, wid):
        wait_for('a window to close', lambda: wid not in self.xdotool('search', '--onlyvisible',
                                                                      '--name', '.'))

    def click(self, wid, x, y):
        self.xdotool('mousemove', '--window', wid, x, y, 'click', 1)

    def key(self, wid, *keys):
        self.xdotool('windowactivate', '--sync', wid, 'windowfocus', '--sync', wid, 'key',
                     '--clearmodifiers', *keys)

    def type(self, wid, text):
        """Types a line and presses Return."""
        self.xdotool('windowactivate', '--sync', wid, 'windowfocus', '--sync', wid, 'type',
                     '--delay', 30, text)
        self.key(wid, 'Return')

    def shot(self, name):
        """The screen as the user sees it. Windows are captured one by one, since a capture of
        the whole screen shows some of them black here."""
        self.shots += 1
        with tempfile.TemporaryDirectory() as scratch:
            layers = []
            for i, (wid, x, y, _) in enumerate(self.windows()):
                subprocess.run(['xwd', '-silent', '-id', wid, '-out', f'{scratch}/{i}.xwd'])
                layers += [f'xwd:{scratch}/{i}.xwd', '-geometry', f'+{x}+{y}', '-composite']
            subprocess.run(['xwd', '-silent', '-root', '-out', f'{scratch}/root.xwd'])
            subprocess.run(['convert', f'xwd:{scratch}/root.xwd', *layers,
                            os.path.join(self.folder, f'{self.shots:02d}-{name}.png')])


def first_day(j):
    """From the first start to a saved series under a relabelled meter, with the animation
    switched on: No keeps the program open and the store unwritten, Yes writes it; the next
    start plays the animation first, which the user closing it early ends neither the program
    nor the show."""
    j.start()
    main = j.window(MAIN)
    j.click(main, 241, 380)                             # Neues Gerät hinzufügen
    dialog = j.window(DISCOVERY)
    j.click(dialog, 200, 337)                           # Suchen
    j.gone(j.window(SPINNER))                           # the search runs its ten seconds
    j.click(dialog, 60, 10)                             # the listed M27K53C
    j.click(dialog, 70, 337)                            # Hinzufügen
    j.gone(dialog)
    j.click(main, 150, 450)                             # the meter's row
    j.click(main, 120, 757)                             # Verbinden
    live = j.window(LIVE)
    first = j.frames_sent()
    j.click(live, 245, 695)                             # play
    wait_for('a round of every canned frame', lambda: j.frames_sent() > first + 10)
    j.shot('recording')
    j.click(live, 345, 695)                             # save
    j.key(j.window('Messung erfolreich gespeichert!'), 'Return')
    j.key(live, 'alt+F4')
    j.key(j.window('Keine Verbindung'), 'Return')
    j.click(main, 380, 757)                             # Verwalten
    screen = j.window(MANAGEMENT)
    j.click(screen, 110, 87)                            # Umbenennen
    j.type(j.window('Gerät umbenennen'), 'Werkbank links')
    j.gone(screen)
    j.click(main, 241, 320)                             # Menü
    settings = j.window(SETTINGS)
    j.click(settings, 195, 100)                         # Startup Animation einblenden
    j.gone(settings)
    # Every change is on disk at once, without the close question.
    saved = wait_for('the changes on disk', lambda: (lambda b: b if b'Werkbank links' in b
                     and b'tovik=true' in b else None)(stored(j.store)), 5)
    for answer in ('n', 'Escape'):
        j.key(main, 'alt+F4')
        question = j.window('Kalvion')
        j.key(question, answer)
        j.gone(question)
        check(j.program.poll() is None, f'the program ended after {answer}')
    check(stored(j.store) == saved, 'the store changed without a change')
    j.quit(main)

    store = configparser.ConfigParser(interpolation=None)
    store.optionxform = str
    store.read(j.store, encoding='utf-8')
    meter = lambda key: store['deviceList']['1\\' + key].strip('"')
    check((store['General']['tovik'], store['deviceList']['size'], meter('deviceAdress'),
           meter('deviceName'), meter('buttonName'))
          == ('true', '1', 'C8:27:53:0C:00:01', 'M27K53C', 'Werkbank links'), 'the meter stored')
    points = int(meter('points\\size'))
    check(points >= 8, f'a round of frames recorded, not {points}')
    stamps = [meter(f'points\\{k}\\timestamp') for k in range(1, points + 1)]
    check((meter('pointsNumber\\size'), meter('pointsNumber\\1\\pointNumber'),
           meter('pointsNumber\\1\\measureNames')) == ('1', str(points), stamps[0]),
          'the measurement stored')
    check(all(re.match(r'^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.(\d{3})\1$', s) for s in stamps),
          'time stamps in the stored format')
    check('M Ohm ?' in [meter(f'points\\{k}\\unit') for k in range(1, points + 1)],
          'the overload frame recorded as "M Ohm ?"')

    j.start()
    animation = j.window(ANIMATION)
    started = time.monotonic()
    j.shot('animation')
    j.key(animation, 'alt+F4')
    main = j.window(MAIN)
    # From when the animation was seen, which is a little after its timers started.
    shown = time.monotonic() - started
    check(shown > 5.0, f'the main window shown {shown:.1f} s into the 6.8 s animation')
    j.quit(main)


def main():
    binary, artifacts, name = sys.argv[1:4]
    folder = os.path.join(artifacts, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    journey = Journey(binary, folder)
    try:
        {'first_day': first_day}[name](journey)
        print(f'PASS   {name}')
        return 0
    except Failed as failure:
        journey.shot('failed')
        print(f'FAIL   {name}: {failure} (see {folder})')
        for log in sorted(f for f in os.listdir(folder) if f.startswith('stderr')):
            with open(os.path.join(folder, log), encoding='utf-8') as f:
                print(f'--- the program\'s {log}:\n{f.read()}')
        return 1
    finally:
        journey.close()


if __name__ == '__main__':
    sys.exit(main())
