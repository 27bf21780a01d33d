#!/usr/bin/python3
"""A journey through the real program as a user makes it.

Runs the program binary on a private X display (Xvfb with the openbox window manager) against
the virtual meter and its own settings folder, drives it with real input events from xdotool,
and keeps a screenshot of every step, the program's stderr and the store in ARTIFACTS/JOURNEY.
Usage: journeys.py PROGRAM ARTIFACTS JOURNEY
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

METER = os.path.join(os.path.dirname(os.path.abspath(__file__)), '../../tools/virtualmeter/virtualmeter')
MAIN, DISCOVERY, SPINNER, LIVE = (498, 800), (400, 391), (400, 300), (498, 754)
MANAGEMENT, VIEWER, SETTINGS, LANGUAGES, ANIMATION = (400, 550), (400, 460), (400, 448), (400, 155), (498, 885)
STAMP = re.compile(r'^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.(\d{3})\1$')


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def wait_for(what, found, timeout=30.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = found()
        if result:
            return result
        time.sleep(0.05)
    raise Failed('timed out waiting for ' + what)


class Journey:
    """A private display with a window manager, the virtual meter, and the program's runs."""

    def __init__(self, binary, folder):
        self.binary, self.folder, self.step, self.runs = binary, folder, 0, []
        self.config = os.path.join(folder, 'config')
        self.store = os.path.join(self.config, 'Orvu', 'Kalvion.conf')
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0',
                                      '1280x1024x24', '-nolisten', 'tcp'], pass_fds=[write])
        os.close(write)
        with os.fdopen(read) as pipe:
            os.environ['DISPLAY'] = ':' + pipe.readline().strip()
        self.wm = subprocess.Popen(['openbox', '--sm-disable'], stderr=subprocess.DEVNULL)
        wait_for('the window manager', lambda: b'window id' in subprocess.run(
            ['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'], capture_output=True).stdout)
        self.meter = subprocess.Popen(['/usr/bin/python3', METER], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
        self.bus = self.meter.stdout.readline().strip().split('=', 1)[-1]

    def start(self):
        env = dict(os.environ, XDG_CONFIG_HOME=self.config, DBUS_SYSTEM_BUS_ADDRESS=self.bus,
                   BLUETOOTH_FORCE_DBUS_LE_VERSION='5.66')
        env.pop('QT_QPA_PLATFORM', None)
        log = open(os.path.join(self.folder, f'stderr-{len(self.runs) + 1}.txt'), 'w')
        self.runs.append(subprocess.Popen([self.binary], env=env, stderr=log))

    def quit(self, main):
        """Closes the main window with the frame's shortcut and answers Yes."""
        self.key(main, 'alt+F4')
        self.key(self.box('Kalvion'), 'Return')
        try:
            check(self.runs[-1].wait(30) == 0, 'the program failed on its way out')
        except subprocess.TimeoutExpired:
            raise Failed('the program did not end after Yes')

    def close(self):
        for process in self.runs + [self.meter, self.wm, self.xvfb]:
            process.terminate()
            process.wait()

    def frames_sent(self):
        return int(subprocess.run(['dbus-send', f'--bus={self.bus}', '--print-reply',
                                   '--dest=org.bluez', '/', 'org.kalvion.VirtualMeter.FramesSent'],
                                  capture_output=True, text=True).stdout.split()[-1])

    def xdotool(self, *args):
        return subprocess.run(['xdotool', *map(str, args)], capture_output=True,
                              text=True).stdout.split()

    def windows(self, name):
        found = []
        for wid in self.xdotool('search', '--onlyvisible', '--name', name):
            values = dict(line.split('=') for line in
                          self.xdotool('getwindowgeometry', '--shell', wid))
            if 'X' in values:                           # else closed in the meantime
                found.append((wid, int(values['X']), int(values['Y']),
                              (int(values['WIDTH']), int(values['HEIGHT']))))
        return found

    def window(self, size):
        return wait_for(f'a {size[0]}x{size[1]} window', lambda: next(
            (w[0] for w in self.windows('^KalvionApp$') if w[3] == size), None))

    def box(self, title):
        return wait_for(f'the box "{title}"', lambda: next(
            (w[0] for w in self.windows('^' + re.escape(title) + '$')), None))

    def gone(self, wid, timeout=30.0):
        wait_for('a window to close', lambda: wid not in [w[0] for w in self.windows('Kalvion')],
                 timeout)

    def click(self, wid, x, y):
        self.xdotool('mousemove', '--window', wid, x, y, 'click', 1)

    def key(self, wid, *keys):
        self.xdotool('windowactivate', '--sync', wid, 'key', '--clearmodifiers', *keys)

    def type(self, wid, text):
        self.xdotool('windowactivate', '--sync', wid, 'type', '--delay', 30, text)

    def shot(self, name):
        """The screen as the user sees it. Windows are captured one by one, since a capture of
        the whole screen shows some of them black here."""
        self.step += 1
        with tempfile.TemporaryDirectory() as scratch:
            layers = []
            for i, (wid, x, y, _) in enumerate(self.windows('Kalvion')):
                subprocess.run(['xwd', '-silent', '-id', wid, '-out', f'{scratch}/{i}.xwd'])
                layers += [f'xwd:{scratch}/{i}.xwd', '-geometry', f'+{x}+{y}', '-composite']
            subprocess.run(['xwd', '-silent', '-root', '-out', f'{scratch}/root.xwd'])
            subprocess.run(['convert', f'xwd:{scratch}/root.xwd', *layers,
                            os.path.join(self.folder, f'{self.step:02d}-{name}.png')])


def store_values(path):
    values, section = {}, ''
    with open(path, encoding='utf-8') as f:
        for line in f.read().splitlines():
            if line.startswith('['):
                section = '' if line == '[General]' else line.strip('[]') + '\\'
            elif '=' in line:
                key, value = line.split('=', 1)
                values[section + key] = value[1:-1] if value[:1] == '"' else value
    return values


def seed(path, points):
    """A store as an earlier run leaves it: one meter with one measurement of these values."""
    os.makedirs(os.path.dirname(path))
    stamp = '2026-12-06 14:07:09.042042'
    lines = ['[General]', 'darkMode=false', 'language=0', 'tovik=false', '[deviceList]',
             'size=1', '1\\buttonName=Werkbank', '1\\deviceAdress=C8:27:53:0C:00:01',
             '1\\deviceName=M27K53C', '1\\pointsNumber\\size=1',
             f'1\\pointsNumber\\1\\measureNames={stamp}',
             f'1\\pointsNumber\\1\\pointNumber={len(points)}', f'1\\points\\size={len(points)}']
    for j, y in enumerate(points, 1):
        point = ''.join('\\x%02x' % b for b in struct.pack('>Idd', 26, j, y))  # a QPointF
        lines += [f'1\\points\\{j}\\point=@Variant({point})', f'1\\points\\{j}\\timestamp={stamp}',
                  f'1\\points\\{j}\\unit="V "', f'1\\points\\{j}\\settings="DC AUTO "']
    with open(path, 'w', encoding='utf-8') as f:
        f.write('\n'.join(lines) + '\n')


# --- journeys -------------------------------------------------------------

def first_series(j):
    """From an empty store to a saved series; No keeps the program open, Yes writes the store."""
    j.start()
    main = j.window(MAIN)
    j.click(main, 241, 380)                             # Neues Gerät hinzufügen
    dialog = j.window(DISCOVERY)
    j.click(dialog, 200, 337)                           # Suchen
    j.gone(j.window(SPINNER))                           # the search runs its ten seconds
    j.shot('meter-found')
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
    j.key(j.box('Messung erfolreich gespeichert!'), 'Return')
    j.key(live, 'alt+F4')
    j.key(j.box('Keine Verbindung'), 'Return')
    for answer in ('n', 'Escape'):
        j.key(main, 'alt+F4')
        question = j.box('Kalvion')
        j.shot('quit-question-' + answer)
        j.key(question, answer)
        j.gone(question)
        check(j.runs[-1].poll() is None, f'the program ended after {answer}')
    check(not os.path.exists(j.store), 'the store written without Yes')
    j.quit(main)

    values = store_values(j.store)
    check(values['deviceList\\size'] == '1', 'one meter stored')
    check(values['deviceList\\1\\deviceAdress'] == 'C8:27:53:0C:00:01', 'colon address')
    check(values['deviceList\\1\\deviceName'] == 'M27K53C', 'meter name')
    check(values['deviceList\\1\\buttonName'] == 'M27K53C', 'meter label')
    points = int(values['deviceList\\1\\points\\size'])
    check(points >= 8, f'a round of frames recorded, not {points}')
    check(values['deviceList\\1\\pointsNumber\\1\\pointNumber'] == str(points), 'its count')
    stamps = [values[f'deviceList\\1\\points\\{k}\\timestamp'] for k in range(1, points + 1)]
    check(all(STAMP.match(s) for s in stamps), 'time stamps in the stored format')
    check(values['deviceList\\1\\pointsNumber\\1\\measureNames'] == stamps[0], 'its name')
    units = [values[f'deviceList\\1\\points\\{k}\\unit'] for k in range(1, points + 1)]
    check('M Ohm ?' in units, 'the overload frame recorded as "M Ohm ?"')


def manage_and_export(j):
    """Relabel the meter, rename a measurement, view it and export it through the file dialog."""
    seed(j.store, [0.5, 1.5, -2.25])
    j.start()
    main = j.window(MAIN)
    j.click(main, 150, 450)                             # the meter's row
    j.click(main, 380, 757)                             # Verwalten
    screen = j.window(MANAGEMENT)
    j.click(screen, 110, 87)                            # Umbenennen
    rename = j.box('Gerät umbenennen')
    j.type(rename, 'Werkbank links')
    j.key(rename, 'Return')
    j.gone(screen)
    j.click(main, 150, 450)
    j.click(main, 380, 757)
    screen = j.window(MANAGEMENT)
    j.click(screen, 150, 190)                           # the measurement
    j.click(screen, 200, 507)                           # Umbenennen
    rename = j.box('Messung umbenennen')
    j.key(rename, 'ctrl+a')
    j.type(rename, 'Netzteil 5 V')
    j.shot('rename-measurement')
    j.key(rename, 'Return')
    j.click(screen, 150, 190)
    j.click(screen, 70, 507)                            # Einsehen
    viewer = j.window(VIEWER)
    j.shot('viewer')
    j.click(viewer, 100, 417)                           # CSV-Datei erstellen
    files = j.box('CSV-Datei speichern')
    export = os.path.join(j.folder, 'export.csv')
    j.key(files, 'ctrl+a')
    j.type(files, export)
    j.key(files, 'Return')
    j.key(j.box('CSV-Datei erstellt'), 'Return')
    j.click(viewer, 300, 417)                           # Zurück
    j.gone(viewer)
    j.key(screen, 'alt+F4')
    j.gone(screen)
    j.quit(main)
    values = store_values(j.store)
    check(values['deviceList\\1\\buttonName'] == 'Werkbank links', 'the new label stored')
    check(values['deviceList\\1\\pointsNumber\\1\\measureNames'] == 'Netzteil 5 V',
          'the new measurement name stored')
    with open(export, encoding='utf-8') as f:
        check('-2.25' in f.read(), 'the measurement exported')


def language_and_theme(j):
    """Dark, English and the animation survive a restart; the animation plays first, and the
    user closing it early ends neither the program nor the show."""
    j.start()
    main = j.window(MAIN)
    j.click(main, 241, 320)                             # Menü
    settings = j.window(SETTINGS)
    j.click(settings, 195, 40)                          # Auf Dark Mode wechseln
    j.gone(settings)
    j.click(main, 241, 320)
    j.click(j.window(SETTINGS), 195, 400)               # Sprache wechseln
    languages = j.window(LANGUAGES)
    j.click(languages, 205, 100)                        # English
    j.gone(languages)
    j.click(main, 241, 320)
    settings = j.window(SETTINGS)
    j.shot('english-dark')
    j.click(settings, 195, 100)                         # Enable startup animation
    j.gone(settings)
    j.quit(main)
    values = store_values(j.store)
    check((values['darkMode'], values['language'], values['tovik']) == ('true', '1', 'true'),
          'dark, English and the animation stored')

    j.start()
    animation = j.window(ANIMATION)
    started = time.monotonic()
    j.shot('animation')
    j.key(animation, 'alt+F4')
    main = j.window(MAIN)
    # From when the animation was seen, which is a little after its timers started.
    shown = time.monotonic() - started
    check(shown > 5.0, f'the main window shown {shown:.1f} s into the 6.8 s animation')
    j.shot('after-animation')
    j.quit(main)


JOURNEYS = {journey.__name__: journey for journey in (first_series, manage_and_export,
                                                         language_and_theme)}


def main():
    binary, artifacts, name = sys.argv[1:4]
    folder = os.path.join(artifacts, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    journey = Journey(binary, folder)
    try:
        JOURNEYS[name](journey)
        print(f'PASS   {name}')
        return 0
    except Failed as failure:
        journey.shot('failed')
        print(f'FAIL   {name}: {failure} (see {folder})')
        for run in range(1, len(journey.runs) + 1):
            with open(os.path.join(folder, f'stderr-{run}.txt'), encoding='utf-8') as f:
                print(f'--- stderr of run {run}:\n{f.read()}')
        return 1
    finally:
        journey.close()


if __name__ == '__main__':
    sys.exit(main())
