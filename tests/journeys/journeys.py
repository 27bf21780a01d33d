#!/usr/bin/python3
"""Journeys through the real program as a user makes them.

Runs the program binary on a private X display (Xvfb with the openbox window manager)
against the virtual meter, drives it with real input events from xdotool, and saves a
screenshot at every step. Usage: journeys.py PROGRAM ARTIFACT_DIR [JOURNEY ...]
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
METER = os.path.join(ROOT, 'tools', 'virtualmeter', 'virtualmeter')

MAIN = (498, 800)
DISCOVERY = (400, 391)
LIVE = (498, 754)
MANAGEMENT = (400, 550)
VIEWER = (400, 460)
SETTINGS = (400, 448)
LANGUAGES = (400, 155)
ANIMATION = (498, 885)
STAMP = re.compile(r'^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.(\d{3})\1$')


class Failed(Exception):
    pass


def wait_for(what, check, timeout=15.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = check()
        if result:
            return result
        time.sleep(0.1)
    raise Failed('timed out waiting for ' + what)


class Desktop:
    """A private X display with a window manager, and the program's windows on it."""

    def __init__(self, artifacts):
        self.artifacts = artifacts
        self.step = 0
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0',
                                      '1280x1024x24', '-nolisten', 'tcp'], pass_fds=[write])
        os.close(write)
        with os.fdopen(read) as pipe:
            self.display = ':' + pipe.readline().strip()
        os.environ['DISPLAY'] = self.display
        self.wm = subprocess.Popen(['openbox', '--sm-disable'], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.programs = []
        time.sleep(0.5)

    def start(self, binary, config, meter):
        program = Program(binary, config, meter.address)
        self.programs.append(program)
        return program

    def close(self):
        for program in self.programs:
            program.stop()
        for process in (self.wm, self.xvfb):
            process.terminate()
            process.wait()

    def xdotool(self, *args):
        return subprocess.run(['xdotool', *map(str, args)], capture_output=True,
                              text=True).stdout.split()

    def windows(self, name):
        found = []
        for wid in self.xdotool('search', '--onlyvisible', '--name', name):
            values = dict(line.split('=') for line in
                          self.xdotool('getwindowgeometry', '--shell', wid))
            if 'X' not in values:                    # closed in the meantime
                continue
            found.append((wid, int(values['X']), int(values['Y']),
                          int(values['WIDTH']), int(values['HEIGHT'])))
        return found

    def window(self, size):
        """The program window of this size, once it is shown."""
        return wait_for(f'a {size[0]}x{size[1]} window', lambda: next(
            (w[0] for w in self.windows('^KalvionApp$') if (w[3], w[4]) == size), None))

    def box(self, title, timeout=15.0):
        """A message box or dialog with this title, once it is shown."""
        return wait_for(f'the box "{title}"', lambda: next(
            (w[0] for w in self.windows('^' + re.escape(title) + '$')), None), timeout)

    def gone(self, wid):
        wait_for('a window to close', lambda: wid not in [w[0] for w in
                                                         self.windows('Kalvion')])

    def click(self, wid, x, y, double=False):
        self.xdotool('mousemove', '--window', wid, x, y)
        time.sleep(0.1)
        self.xdotool('click', *(['--repeat', 2] if double else []), 1)
        time.sleep(0.3)

    def key(self, wid, *keys):
        self.xdotool('windowactivate', '--sync', wid)
        self.xdotool('key', '--clearmodifiers', *keys)
        time.sleep(0.3)

    def type(self, wid, text):
        self.xdotool('windowactivate', '--sync', wid)
        self.xdotool('type', '--delay', 30, text)

    def shot(self, name):
        """The screen as the user sees it. Transient windows are captured one by one, since
        a capture of the whole screen shows some of them black here."""
        self.step += 1
        path = os.path.join(self.artifacts, f'{self.step:02d}-{name}.png')
        with tempfile.TemporaryDirectory() as scratch:
            layers = []
            for i, (wid, x, y, _, _) in enumerate(self.windows('Kalvion')):
                layer = os.path.join(scratch, f'{i}.xwd')
                subprocess.run(['xwd', '-silent', '-id', wid, '-out', layer])
                layers += [f'xwd:{layer}', '-geometry', f'+{x}+{y}', '-composite']
            screen = os.path.join(scratch, 'root.xwd')
            subprocess.run(['xwd', '-silent', '-root', '-out', screen])
            subprocess.run(['convert', f'xwd:{screen}', *layers, path])


class Program:
    """The program binary with its own settings folder, talking to the virtual meter."""

    def __init__(self, binary, config, bus):
        env = dict(os.environ, XDG_CONFIG_HOME=config, DBUS_SYSTEM_BUS_ADDRESS=bus,
                   BLUETOOTH_FORCE_DBUS_LE_VERSION='5.66')
        env.pop('QT_QPA_PLATFORM', None)
        self.process = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def ended(self, timeout=15.0):
        try:
            return self.process.wait(timeout) == 0
        except subprocess.TimeoutExpired:
            return False

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Meter:
    def __init__(self):
        self.process = subprocess.Popen(['/usr/bin/python3', METER], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith('DBUS_SYSTEM_BUS_ADDRESS='):
            raise Failed('the virtual meter did not start')
        self.address = line.strip().split('=', 1)[1]

    def call(self, method, *args):
        subprocess.run(['dbus-send', f'--bus={self.address}', '--print-reply',
                        '--dest=org.bluez', '/', f'org.kalvion.VirtualMeter.{method}', *args],
                       check=True, capture_output=True)

    def close(self):
        self.process.terminate()
        self.process.wait()


def store_text(config):
    with open(os.path.join(config, 'Orvu', 'Kalvion.conf'), encoding='utf-8') as f:
        return f.read()


def store_values(config):
    values = {}
    section = ''
    for line in store_text(config).splitlines():
        if line.startswith('['):
            section = line.strip('[]') + '\\'
        elif '=' in line:
            key, value = line.split('=', 1)
            if len(value) > 1 and value[0] == value[-1] == '"':   # quoted for its blanks
                value = value[1:-1]
            values[(section + key).replace('General\\', '')] = value
    return values


def point(text):
    """A point value as the settings class writes it: @Variant( the escaped bytes of a stream
    holding the type and two big-endian doubles )."""
    body = text[len('@Variant('):-1]
    escapes = {'0': 0, 'a': 7, 'b': 8, 't': 9, 'n': 10, 'v': 11, 'f': 12, 'r': 13}
    raw = bytearray()
    i = 0
    while i < len(body):
        if body[i] != '\\':
            raw += body[i].encode('latin-1')
            i += 1
        elif body[i + 1] == 'x':
            j = i + 2
            while j < len(body) and body[j] in '0123456789abcdefABCDEF':
                j += 1
            raw.append(int(body[i + 2:j], 16))
            i = j
        else:
            raw.append(escapes.get(body[i + 1], ord(body[i + 1])))
            i += 2
    return struct.unpack('>dd', bytes(raw[4:20]))


def csv_for(values, k):
    """The CSV export of measurement k of the first meter, from the store, in German."""
    meter = 'deviceList\\1\\'
    counts = [int(values[f'{meter}pointsNumber\\{m}\\pointNumber'])
              for m in range(1, int(values[f'{meter}pointsNumber\\size']) + 1)]
    first = sum(counts[:k]) + 1
    rows = range(first, first + counts[k])
    field = lambda j, name: values[f'{meter}points\\{j}\\{name}']
    lines = ['Messung' + values[f'{meter}pointsNumber\\{k + 1}\\measureNames'],
             'Gerät:' + values[f'{meter}deviceAdress'], '']
    previous = None
    for j in rows:
        if field(j, 'settings') != previous:
            previous = field(j, 'settings')
            lines.append('Einstellungen:' + previous + ',' + field(j, 'timestamp'))
    lines += ['', 'Messwert,Einheit,Zeit']
    for j in rows:
        unit = field(j, 'unit')
        value = '0.L' if '?' in unit else '%g' % point(field(j, 'point'))[1]
        lines.append(f"{value},{unit.replace('?', '')},{field(j, 'timestamp')}")
    return ('\n'.join(lines) + '\n').encode('utf-8')


def check(condition, what):
    if not condition:
        raise Failed(what)


# --- journeys -------------------------------------------------------------

def first_series(desk, binary, meter, config):
    """An empty store to a saved series and a confirmed quit."""
    app = desk.start(binary, config, meter)
    main = desk.window(MAIN)
    desk.shot('first-start')
    desk.click(main, 241, 380)                       # Neues Gerät hinzufügen
    dialog = desk.window(DISCOVERY)
    desk.click(dialog, 200, 337)                     # Suchen
    time.sleep(1)
    desk.shot('searching')
    time.sleep(10)                                   # the search runs its ten seconds
    desk.shot('meter-found')
    desk.click(dialog, 60, 10)                       # the listed M27K53C
    desk.click(dialog, 70, 337)                      # Hinzufügen
    desk.gone(dialog)
    desk.shot('meter-added')
    desk.click(main, 150, 450)                       # the meter's row
    desk.click(main, 120, 757)                       # Verbinden
    live = desk.window(LIVE)
    time.sleep(1)
    desk.click(live, 245, 695)                       # play
    time.sleep(4)                                    # about a dozen frames, overload among them
    desk.shot('recording')
    desk.click(live, 345, 695)                       # save
    saved = desk.box('Messung erfolreich gespeichert!')
    desk.shot('saved')
    desk.key(saved, 'Return')
    desk.key(live, 'alt+F4')
    lost = desk.box('Keine Verbindung')
    desk.shot('link-closed')
    desk.key(lost, 'Return')
    desk.key(main, 'alt+F4')
    question = desk.box('Kalvion')
    desk.shot('quit-question')
    desk.key(question, 'Return')
    check(app.ended(), 'the program did not end after Yes')

    values = store_values(config)
    check(values['deviceList\\size'] == '1', 'one meter stored')
    check(values['deviceList\\1\\deviceAdress'] == 'C8:27:53:0C:00:01', 'colon address')
    check(values['deviceList\\1\\deviceName'] == 'M27K53C', 'meter name')
    check(values['deviceList\\1\\buttonName'] == 'M27K53C', 'meter label')
    points = int(values['deviceList\\1\\points\\size'])
    check(points >= 10, f'about ten points recorded, not {points}')
    check(values['deviceList\\1\\pointsNumber\\size'] == '1', 'one measurement')
    check(values['deviceList\\1\\pointsNumber\\1\\pointNumber'] == str(points), 'its count')
    stamps = [values[f'deviceList\\1\\points\\{j}\\timestamp'] for j in range(1, points + 1)]
    check(all(STAMP.match(s) for s in stamps), 'time stamps in the stored format')
    check(values['deviceList\\1\\pointsNumber\\1\\measureNames'] == stamps[0], 'name')
    units = [values[f'deviceList\\1\\points\\{j}\\unit'] for j in range(1, points + 1)]
    check('M Ohm ?' in units, 'the overload frame recorded as "M Ohm ?"')


def link_loss(desk, binary, meter, config):
    """The meter goes away in the middle of a recording; the user connects again."""
    app = desk.start(binary, config, meter)
    main = desk.window(MAIN)
    desk.click(main, 150, 450)
    desk.click(main, 120, 757)
    live = desk.window(LIVE)
    time.sleep(1)
    desk.click(live, 245, 695)
    time.sleep(2)
    meter.call('DropLink')
    saved = desk.box('Messung erfolreich gespeichert!')
    desk.shot('dropped-while-recording')
    desk.key(saved, 'Return')
    lost = desk.box('Keine Verbindung')
    desk.shot('link-lost')
    desk.key(lost, 'Return')
    desk.gone(live)
    desk.click(main, 150, 450)
    desk.click(main, 120, 757)
    live = desk.window(LIVE)
    time.sleep(2)
    desk.shot('connected-again')
    desk.key(live, 'alt+F4')
    desk.key(desk.box('Keine Verbindung'), 'Return')
    desk.key(main, 'alt+F4')
    desk.key(desk.box('Kalvion'), 'Return')
    check(app.ended(), 'the program did not end after Yes')
    values = store_values(config)
    check(values['deviceList\\1\\pointsNumber\\size'] == '2', 'the dropped recording was kept')


def no_on_quit(desk, binary, meter, config):
    """No and Cancel keep the window and leave the store as it was."""
    before = store_text(config)
    app = desk.start(binary, config, meter)
    main = desk.window(MAIN)
    for answer in ('n', 'Escape'):
        desk.key(main, 'alt+F4')
        question = desk.box('Kalvion')
        desk.shot('quit-question-' + answer)
        desk.key(question, answer)
        desk.gone(question)
        check(app.process.poll() is None, f'the program ended after {answer}')
        desk.window(MAIN)
    check(store_text(config) == before, 'the store changed without Yes')
    desk.shot('still-open')


def manage_and_export(desk, binary, meter, config):
    """Relabel the meter, rename a measurement, view it and export it as CSV."""
    app = desk.start(binary, config, meter)
    main = desk.window(MAIN)
    desk.click(main, 150, 450)                       # the meter's row
    desk.click(main, 380, 757)                       # Verwalten
    screen = desk.window(MANAGEMENT)
    desk.click(screen, 110, 87)                      # Umbenennen
    rename = desk.box('Gerät umbenennen')
    desk.type(rename, 'Werkbank links')
    desk.shot('relabel')
    desk.key(rename, 'Return')
    desk.gone(screen)
    desk.shot('relabelled')
    desk.click(main, 150, 450)
    desk.click(main, 380, 757)
    screen = desk.window(MANAGEMENT)
    desk.click(screen, 150, 190)                     # the first measurement
    desk.click(screen, 200, 507)                     # Umbenennen
    rename = desk.box('Messung umbenennen')
    desk.key(rename, 'ctrl+a')
    desk.type(rename, 'Netzteil 5 V')
    desk.shot('rename-measurement')
    desk.key(rename, 'Return')
    desk.click(screen, 150, 190)
    desk.click(screen, 70, 507)                      # Einsehen
    viewer = desk.window(VIEWER)
    desk.shot('viewer')
    desk.click(viewer, 100, 417)                     # CSV-Datei erstellen
    files = desk.box('CSV-Datei speichern')
    export = os.path.join(desk.artifacts, 'export.csv')
    desk.key(files, 'ctrl+a')
    desk.type(files, export)
    desk.shot('save-as')
    desk.key(files, 'Return')
    created = desk.box('CSV-Datei erstellt')
    desk.shot('exported')
    desk.key(created, 'Return')
    desk.click(viewer, 300, 417)                     # Zurück
    desk.key(screen, 'alt+F4')
    desk.key(main, 'alt+F4')
    desk.key(desk.box('Kalvion'), 'Return')
    check(app.ended(), 'the program did not end after Yes')

    values = store_values(config)
    check(values['deviceList\\1\\buttonName'] == 'Werkbank links', 'the new label stored')
    check(values['deviceList\\1\\pointsNumber\\1\\measureNames'] == 'Netzteil 5 V',
          'the new measurement name stored')
    with open(export, 'rb') as f:
        written = f.read()
    expected = csv_for(values, 0)
    if written != expected:
        with open(os.path.join(desk.artifacts, 'expected.csv'), 'wb') as f:
            f.write(expected)
    check(written == expected, 'the CSV file matches the stored points (see expected.csv)')


def language_and_theme(desk, binary, meter, config):
    """English and dark survive a restart; with the animation on it plays first."""
    app = desk.start(binary, config, meter)
    main = desk.window(MAIN)
    desk.click(main, 241, 320)                       # Menü
    settings = desk.window(SETTINGS)
    desk.shot('settings')
    desk.click(settings, 195, 40)                    # Auf Dark Mode wechseln
    desk.gone(settings)
    desk.click(main, 241, 320)
    settings = desk.window(SETTINGS)
    desk.click(settings, 195, 400)                   # Sprache wechseln
    languages = desk.window(LANGUAGES)
    desk.shot('languages')
    desk.click(languages, 205, 100)                  # English
    desk.gone(languages)
    desk.shot('english-dark')
    desk.key(main, 'alt+F4')
    desk.key(desk.box('Kalvion'), 'Return')
    check(app.ended(), 'the program did not end after Yes')
    values = store_values(config)
    check(values['darkMode'] == 'true' and values['language'] == '1', 'dark and English stored')

    app = desk.start(binary, config, meter)
    main = desk.window(MAIN)
    desk.shot('restarted-english-dark')
    desk.click(main, 241, 320)                       # Menu
    settings = desk.window(SETTINGS)
    desk.click(settings, 195, 100)                   # Enable startup animation
    desk.gone(settings)
    desk.key(main, 'alt+F4')
    desk.key(desk.box('Kalvion'), 'Return')
    check(app.ended(), 'the program did not end after Yes')

    app = desk.start(binary, config, meter)
    started = time.monotonic()
    desk.window(ANIMATION)
    desk.shot('animation')
    check(not [w for w in desk.windows('^KalvionApp$') if (w[3], w[4]) == MAIN],
          'the main window shown during the animation')
    main = desk.window(MAIN)
    shown = time.monotonic() - started
    check(shown > 6.0, f'the main window shown after {shown:.1f} s, before the animation ended')
    desk.shot('after-animation')


JOURNEYS = [first_series, link_loss, manage_and_export, language_and_theme, no_on_quit]


def main():
    binary, artifacts = sys.argv[1], sys.argv[2]
    chosen = sys.argv[3:] or [j.__name__ for j in JOURNEYS]
    shutil.rmtree(artifacts, ignore_errors=True)
    config = tempfile.mkdtemp(prefix='kalvion-journeys-')
    failures = 0
    meter = Meter()
    try:
        for journey in JOURNEYS:
            if journey.__name__ not in chosen:
                continue
            folder = os.path.join(artifacts, journey.__name__)
            os.makedirs(folder)
            desk = Desktop(folder)
            try:
                journey(desk, binary, meter, config)
                print(f'PASS   {journey.__name__}')
            except Failed as failure:
                failures += 1
                desk.shot('failed')
                print(f'FAIL   {journey.__name__}: {failure}')
            finally:
                desk.close()
                store = os.path.join(config, 'Orvu', 'Kalvion.conf')
                if os.path.exists(store):
                    shutil.copy(store, folder)
    finally:
        meter.close()
        shutil.rmtree(config, ignore_errors=True)
    print(f'{len(chosen) - failures} passed, {failures} failed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
