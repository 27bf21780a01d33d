'''python-dbusmock template: a BlueZ stand-in with virtual M27K53C meters.

Exports org.bluez with an ObjectManager at /, the adapter /org/bluez/hci0 and
LE devices whose GATT objects appear on Connect. A meter streams display
frames once StartNotify was called on its data characteristic. Tests steer
it through the interface org.kalvion.VirtualMeter on / (see README.md).

Parameters (JSON, all optional): adapter (true), powered (true), meter (true),
cached (true: the meter's Device1 object exists before any scan), order
("gatt-first" or "data-first"), streaming (true).
'''

import time

import dbus
from gi.repository import GLib

from dbusmock import OBJECT_MANAGER_IFACE, mockobject

BUS_NAME = 'org.bluez'
MAIN_OBJ = '/'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

CONTROL_IFACE = 'org.kalvion.VirtualMeter'
ADAPTER_IFACE = 'org.bluez.Adapter1'
DEVICE_IFACE = 'org.bluez.Device1'
SERVICE_IFACE = 'org.bluez.GattService1'
CHAR_IFACE = 'org.bluez.GattCharacteristic1'
DESC_IFACE = 'org.bluez.GattDescriptor1'

ADAPTER_PATH = '/org/bluez/hci0'
METER_NAME = 'M27K53C'
ADDRESS_PREFIX = 'C8:27:53:0C:00:'  # meters get :01, :02, ...


def uuid16(short):
    return f'0000{short:04x}-0000-1000-8000-00805f9b34fb'


DATA_SERVICE_UUID = 'c7a5e000-27c5-4b53-9f0c-6b616c76696f'
DATA_CHAR_UUID = 'c7a5e001-27c5-4b53-9f0c-6b616c76696f'
COMMAND_CHAR_UUID = 'c7a5e002-27c5-4b53-9f0c-6b616c76696f'
CCCD_UUID = uuid16(0x2902)

STREAM_INTERVAL_MS = 333  # the meter sends about three frames a second
RESOLVE_DELAY_MS = 100    # from Connect to ServicesResolved
SCAN_DELAY_MS = 300       # from StartDiscovery to the first advertisement seen
SCAN_RSSI = -58

# --- display frames -------------------------------------------------------
# Each byte's low nibble carries four display bits; bit index = 4 * byte + bit.
AC, DC, AUTO = 0, 1, 2
MINUS = 4
KILO = 38
MILLI, MEGA = 40, 42
OHM = 45
VOLT, HERTZ, BATTERY = 49, 50, 51
CELSIUS = 53

# Digit k sits in bytes 2k-1 (bits 3..1: segments a f e) and 2k (bits 3..0:
# segments b g c d). ' ' is a dark position, 'L' the overload letter (d e f).
SEGMENTS = {
    '0': (0xE, 0xB), '1': (0x0, 0xA), '2': (0xA, 0xD), '3': (0x8, 0xF),
    '4': (0x4, 0xE), '5': (0xC, 0x7), '6': (0xE, 0x7), '7': (0x8, 0xA),
    '8': (0xE, 0xF), '9': (0xC, 0xF), 'L': (0x6, 0x1), ' ': (0x0, 0x0),
}


def frame(digits, point, indicators):
    '''15-byte frame showing four digit characters, a decimal point after
    digit `point` (1 to 3, 0 for none) and the given indicator bits. High
    nibbles carry no display bits; each holds its byte's position 1..15.'''
    low = [0] * 15
    for k, char in enumerate(digits, start=1):
        low[2 * k - 1] |= SEGMENTS[char][0]
        low[2 * k] |= SEGMENTS[char][1]
    if point:
        low[2 * point + 1] |= 1
    for bit in indicators:
        low[bit // 4] |= 1 << (bit % 4)
    return bytes((n + 1) << 4 | nibble for n, nibble in enumerate(low))


CANNED = {
    'dc-volts': frame('5012', 1, (DC, AUTO, VOLT)),                 # 5.012 V, DC, auto range
    'millivolts': frame('3258', 3, (DC, AUTO, MILLI, VOLT)),        # 325.8 mV DC
    'negative': frame('1500', 1, (MINUS, DC, AUTO, VOLT)),          # -1.500 V DC
    'ohms': frame('4700', 1, (AUTO, KILO, OHM)),                    # 4.700 kOhm
    'overload': frame(' 0L ', 2, (AUTO, MEGA, OHM)),                # " 0.L " MOhm: open leads, unreadable
    'ac-hertz': frame('5000', 2, (AC, AUTO, HERTZ)),                # 50.00 Hz on the AC range
    'celsius': frame('0235', 3, (CELSIUS,)),                        # 023.5 °C
    'battery': frame('1499', 1, (DC, AUTO, VOLT, BATTERY)),         # 1.499 V DC with the battery warning
}


def counter_frame(n):
    '''DC volts frame whose digits show n modulo 10000, no decimal point.'''
    return frame(f'{n % 10000:04d}', 0, (DC, VOLT))


# --- state ----------------------------------------------------------------
class Radio:
    '''A device in range of the adapter (whether BlueZ has an object for it or not).'''

    def __init__(self, address, name, device_class):
        self.address = address
        self.name = name
        self.device_class = device_class  # 0: Low Energy only
        self.path = f'{ADAPTER_PATH}/dev_{address.replace(":", "_")}'
        self.exported = False
        self.connected = False
        self.gatt = []          # exported GATT object paths, parents first
        self.data_char = None   # path of the notifying data characteristic
        self.away_until = 0.0   # out of range until this time.monotonic()

    def in_range(self):
        return time.monotonic() >= self.away_until


radios = []
options = {'order': 'gatt-first', 'streaming': True, 'hold': False, 'refuse_notify': False}
discovery = {'active': False}
history = {'connect': [], 'start_notify': [], 'frames': 0}
burst = {}
stream = {'next': 0}
bluez = {}  # 'root': the mock object at /


def error(name, text):
    return dbus.exceptions.DBusException(text, name=name)


def root():
    return bluez['root']


def adapter():
    try:
        return mockobject.objects[ADAPTER_PATH]
    except KeyError as e:
        raise error(CONTROL_IFACE + '.Error.NoAdapter', 'No adapter') from e


def powered():
    return ADAPTER_PATH in mockobject.objects and bool(adapter().props[ADAPTER_IFACE]['Powered'])


def set_props(path, iface, changes, invalidated=()):
    obj = mockobject.objects[path]
    obj.props[iface].update(changes)
    for name in invalidated:
        obj.props[iface].pop(name, None)
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                   [iface, changes, dbus.Array(invalidated, signature='s')])


def add_object(path, iface, props, methods):
    root().AddObject(path, iface, props, methods)
    root().EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                      [dbus.ObjectPath(path), {iface: props}])


def remove_object(path):
    iface = next(iter(mockobject.objects[path].props))
    root().RemoveObject(path)
    root().EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas',
                      [dbus.ObjectPath(path), [iface]])


def radio_at(path):
    for radio in radios:
        if radio.exported and (path == radio.path or path.startswith(radio.path + '/')):
            return radio
    raise error('org.bluez.Error.DoesNotExist', f'No device at {path}')


def radio_of(address):
    address = address or ADDRESS_PREFIX + '01'
    for radio in radios:
        if radio.address == address.upper():
            return radio
    raise error(CONTROL_IFACE + '.Error.NoSuchDevice', f'No device {address}')


# --- notifications --------------------------------------------------------
def notifying_chars():
    return [r.data_char for r in radios if r.data_char
            and mockobject.objects[r.data_char].props[CHAR_IFACE]['Notifying']]


def notify(char_path, payload):
    value = dbus.Array(payload, signature='y')
    mockobject.objects[char_path].props[CHAR_IFACE]['Value'] = value
    mockobject.objects[char_path].EmitSignal(
        dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
        [CHAR_IFACE, {'Value': value}, dbus.Array([], signature='s')])
    history['frames'] += 1


def send_to_all(payload):
    targets = notifying_chars()
    if not targets:
        raise error(CONTROL_IFACE + '.Error.NotNotifying', 'No data characteristic is notifying')
    for path in targets:
        notify(path, payload)


def stream_tick():
    if options['streaming'] and not burst:
        frames = list(CANNED.values())
        for path in notifying_chars():
            notify(path, frames[stream['next'] % len(frames)])
        stream['next'] += 1
    return True


def burst_tick():
    targets = notifying_chars()
    due = min(burst['count'], int((time.monotonic() - burst['start']) * burst['rate']) + 1)
    while targets and burst['sent'] < due:
        for path in targets:
            notify(path, counter_frame(burst['sent']))
        burst['sent'] += 1
    if targets and burst['sent'] < burst['count']:
        return True
    burst.clear()
    return False


# --- GATT -----------------------------------------------------------------
def read_value(obj, _options):
    return obj.props[obj.interface]['Value']


def write_value(obj, value, _options):
    obj.props[obj.interface]['Value'] = dbus.Array(value, signature='y')


def start_notify(char):
    history['start_notify'].append(char.path)
    if options['refuse_notify']:
        raise error('org.bluez.Error.Failed', 'Operation failed')
    set_props(char.path, CHAR_IFACE, {'Notifying': dbus.Boolean(True)})


def stop_notify(char):
    set_props(char.path, CHAR_IFACE, {'Notifying': dbus.Boolean(False)})


VALUE_METHODS = [('ReadValue', 'a{sv}', 'ay', read_value), ('WriteValue', 'aya{sv}', '', write_value)]
NOTIFY_METHODS = [('StartNotify', '', '', start_notify), ('StopNotify', '', '', stop_notify)]


def export_gatt(radio):
    '''Exports the meter's services the way BlueZ names them: by handle.
    Handles 1 to 5 belong to Generic Access, which BlueZ does not export.'''
    services = [(uuid16(0x1801), [(uuid16(0x2a05), ['indicate'])]),
                (DATA_SERVICE_UUID, [(DATA_CHAR_UUID, ['notify']),
                                     (COMMAND_CHAR_UUID, ['write-without-response', 'write'])])]
    if options['order'] == 'data-first':
        services.reverse()
    handle = 6
    for service_uuid, chars in services:
        service = f'{radio.path}/service{handle:04x}'
        add_object(service, SERVICE_IFACE, {
            'UUID': service_uuid, 'Device': dbus.ObjectPath(radio.path),
            'Primary': dbus.Boolean(True), 'Includes': dbus.Array([], signature='o')}, [])
        radio.gatt.append(service)
        handle += 1
        for char_uuid, flags in chars:
            char = f'{service}/char{handle:04x}'
            props = {'UUID': char_uuid, 'Service': dbus.ObjectPath(service),
                     'Value': dbus.Array([], signature='y'), 'Flags': dbus.Array(flags, signature='s'),
                     'MTU': dbus.UInt16(247)}
            can_notify = flags[0] in ('notify', 'indicate')
            if can_notify:
                props['Notifying'] = dbus.Boolean(False)
            add_object(char, CHAR_IFACE, props, VALUE_METHODS + (NOTIFY_METHODS if can_notify else []))
            radio.gatt.append(char)
            handle += 2  # declaration and value
            if char_uuid == DATA_CHAR_UUID:
                radio.data_char = char
            if can_notify:
                desc = f'{char}/desc{handle:04x}'
                add_object(desc, DESC_IFACE, {
                    'UUID': CCCD_UUID, 'Characteristic': dbus.ObjectPath(char),
                    'Value': dbus.Array([0, 0], signature='y')}, VALUE_METHODS)
                radio.gatt.append(desc)
                handle += 1


def resolve_services(radio):
    if radio.connected and not radio.gatt:
        export_gatt(radio)
        set_props(radio.path, DEVICE_IFACE, {
            'UUIDs': dbus.Array([uuid16(0x1800), uuid16(0x1801), DATA_SERVICE_UUID], signature='s'),
            'ServicesResolved': dbus.Boolean(True)})
    return False


def drop_link(radio):
    '''The link is gone: BlueZ reports ServicesResolved and Connected false
    and removes the GATT objects of an unpaired device.'''
    if not radio.connected:
        return
    radio.connected = False
    set_props(radio.path, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(False)})
    set_props(radio.path, DEVICE_IFACE, {'Connected': dbus.Boolean(False)})
    for path in reversed(radio.gatt):
        remove_object(path)
    radio.gatt = []
    radio.data_char = None


# --- Device1 --------------------------------------------------------------
def device_connect(device):
    radio = radio_at(device.path)
    history['connect'].append(radio.address)
    if not powered():
        raise error('org.bluez.Error.NotReady', 'Resource Not Ready')
    if not radio.in_range():
        raise error('org.bluez.Error.Failed', 'le-connection-abort-by-local')
    if radio.connected:
        return
    radio.connected = True
    set_props(radio.path, DEVICE_IFACE, {'Connected': dbus.Boolean(True)})
    if not options['hold']:
        GLib.timeout_add(RESOLVE_DELAY_MS, resolve_services, radio)


def device_disconnect(device):
    drop_link(radio_at(device.path))


def export_device(radio):
    props = {
        'Address': radio.address, 'AddressType': 'public',
        'Name': radio.name, 'Alias': radio.name,
        'Paired': dbus.Boolean(False), 'Bonded': dbus.Boolean(False),
        'Trusted': dbus.Boolean(False), 'Blocked': dbus.Boolean(False),
        'LegacyPairing': dbus.Boolean(False), 'Connected': dbus.Boolean(False),
        'ServicesResolved': dbus.Boolean(False), 'WakeAllowed': dbus.Boolean(False),
        'Adapter': dbus.ObjectPath(ADAPTER_PATH),
        'UUIDs': dbus.Array([], signature='s'),
        'AdvertisingFlags': dbus.Array([0x06], signature='y'),  # LE only, general discoverable
    }
    if radio.device_class:
        props['Class'] = dbus.UInt32(radio.device_class)
        props['Icon'] = 'phone'
        props['UUIDs'] = dbus.Array([uuid16(0x1800)], signature='s')
        props['AdvertisingFlags'] = dbus.Array([0x02], signature='y')
    if discovery['active']:
        props['RSSI'] = dbus.Int16(SCAN_RSSI)
    add_object(radio.path, DEVICE_IFACE, props, [
        ('Connect', '', '', device_connect),
        ('Disconnect', '', '', device_disconnect),
        ('ConnectProfile', 's', '', ''),
        ('DisconnectProfile', 's', '', ''),
        ('Pair', '', '', ''),
        ('CancelPairing', '', '', ''),
    ])
    radio.exported = True


def forget(radio):
    if radio.exported:
        drop_link(radio)
        remove_object(radio.path)
        radio.exported = False


def add_radio(name, device_class):
    adapter()
    radio = Radio(f'{ADDRESS_PREFIX}{len(radios) + 1:02X}', name, device_class)
    radios.append(radio)
    export_device(radio)
    return radio.address


# --- Adapter1 -------------------------------------------------------------
def set_discovering(on):
    discovery['active'] = on
    set_props(ADAPTER_PATH, ADAPTER_IFACE, {'Discovering': dbus.Boolean(on)})


def advertise():
    '''Every device in range is seen: new ones appear, known ones get an RSSI; and again
    while the scan runs, so that a device coming into range is seen then.'''
    if discovery['active']:
        for radio in radios:
            if radio.connected or not radio.in_range():
                continue  # a connected meter no longer advertises
            if not radio.exported:
                export_device(radio)
            else:
                set_props(radio.path, DEVICE_IFACE, {'RSSI': dbus.Int16(SCAN_RSSI)})
    return discovery['active']


def start_discovery(_adapter):
    if not powered():
        raise error('org.bluez.Error.NotReady', 'Resource Not Ready')
    if discovery['active']:
        raise error('org.bluez.Error.InProgress', 'Operation already in progress')
    set_discovering(True)
    GLib.timeout_add(SCAN_DELAY_MS, advertise)


def stop_discovery(_adapter):
    if not discovery['active']:
        raise error('org.bluez.Error.Failed', 'No discovery started')
    set_discovering(False)
    for radio in radios:
        if radio.exported and 'RSSI' in mockobject.objects[radio.path].props[DEVICE_IFACE]:
            set_props(radio.path, DEVICE_IFACE, {}, ['RSSI'])


def remove_device(_adapter, path):
    forget(radio_at(path))


def add_adapter(is_powered):
    add_object(ADAPTER_PATH, ADAPTER_IFACE, {
        'Address': '00:1A:7D:DA:71:13', 'AddressType': 'public',
        'Name': 'kalvion-test', 'Alias': 'kalvion-test',
        'Class': dbus.UInt32(0x6c010c),
        'Powered': dbus.Boolean(is_powered), 'Discoverable': dbus.Boolean(False),
        'DiscoverableTimeout': dbus.UInt32(180), 'Pairable': dbus.Boolean(True),
        'PairableTimeout': dbus.UInt32(0), 'Discovering': dbus.Boolean(False),
        'UUIDs': dbus.Array([uuid16(0x1800), uuid16(0x1801)], signature='s'),
        'Modalias': 'usb:v1D6Bp0246d0542',
        'Roles': dbus.Array(['central', 'peripheral'], signature='s'),
    }, [
        ('StartDiscovery', '', '', start_discovery),
        ('StopDiscovery', '', '', stop_discovery),
        ('SetDiscoveryFilter', 'a{sv}', '', ''),
        ('GetDiscoveryFilters', '', 'as',
         'ret = ["UUIDs", "RSSI", "Pathloss", "Transport", "DuplicateData", "Discoverable", "Pattern"]'),
        ('RemoveDevice', 'o', '', remove_device),
    ])


def checked_order(order):
    if order not in ('gatt-first', 'data-first'):
        raise error('org.freedesktop.DBus.Error.InvalidArgs', 'order is "gatt-first" or "data-first"')
    return str(order)


def remove_adapter():
    adapter()
    # As when the adapter is unplugged: BlueZ unregisters each device, its services with it,
    # without reporting its link down first.
    for radio in radios:
        if radio.exported:
            radio.connected = False
            for path in reversed(radio.gatt):
                remove_object(path)
            radio.gatt = []
            radio.data_char = None
            remove_object(radio.path)
            radio.exported = False
    radios.clear()
    discovery['active'] = False
    remove_object(ADAPTER_PATH)


def set_up(parameters):
    '''Brings the adapter and the meter into their start state. An adapter
    that is there and wanted stays (only its devices go), so that a client
    does not see it vanish.'''
    options['order'] = checked_order(parameters.get('order', 'gatt-first'))
    options['streaming'] = bool(parameters.get('streaming', True))
    options['hold'] = False
    options['refuse_notify'] = False
    is_powered = parameters.get('powered', True)
    if ADAPTER_PATH in mockobject.objects and not parameters.get('adapter', True):
        remove_adapter()
    elif ADAPTER_PATH in mockobject.objects:
        for radio in radios:
            forget(radio)
        radios.clear()
        if discovery['active']:
            set_discovering(False)
        set_props(ADAPTER_PATH, ADAPTER_IFACE, {'Powered': dbus.Boolean(is_powered)})
    elif parameters.get('adapter', True):
        add_adapter(is_powered)
    if ADAPTER_PATH in mockobject.objects and parameters.get('meter', True):
        radios.append(Radio(ADDRESS_PREFIX + '01', METER_NAME, 0))
        if parameters.get('cached', True):
            export_device(radios[0])


def load(mock, parameters):
    bluez['root'] = mock
    set_up(parameters)
    GLib.timeout_add(STREAM_INTERVAL_MS, stream_tick)


# --- control interface for tests -------------------------------------------
@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='')
def SendFrame(_self, hex_bytes):
    '''Notifies the given payload (hex text) now on every notifying meter.'''
    try:
        payload = bytes.fromhex(hex_bytes)
    except ValueError as e:
        raise error('org.freedesktop.DBus.Error.InvalidArgs', str(e)) from e
    send_to_all(payload)


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='')
def SendCanned(_self, name):
    '''Notifies one of the canned frames by name.'''
    if name not in CANNED:
        raise error('org.freedesktop.DBus.Error.InvalidArgs', f'Canned frames: {", ".join(CANNED)}')
    send_to_all(CANNED[name])


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='s')
def CannedFrame(_self, name):
    '''Hex text of a canned frame.'''
    if name not in CANNED:
        raise error('org.freedesktop.DBus.Error.InvalidArgs', f'Canned frames: {", ".join(CANNED)}')
    return CANNED[name].hex()


@dbus.service.method(CONTROL_IFACE, in_signature='ud', out_signature='')
def SendBurst(_self, count, rate):
    '''Sends `count` counter frames (digits 0000, 0001, ...) at `rate` frames
    per second; automatic streaming pauses meanwhile. Returns at once.'''
    if burst:
        raise error('org.bluez.Error.InProgress', 'A burst is running')
    if rate <= 0 or count == 0:
        raise error('org.freedesktop.DBus.Error.InvalidArgs', 'count and rate must be positive')
    if not notifying_chars():
        raise error(CONTROL_IFACE + '.Error.NotNotifying', 'No data characteristic is notifying')
    burst.update(count=count, rate=rate, sent=0, start=time.monotonic(),
                 source=GLib.timeout_add(max(1, int(500 / rate)), burst_tick))


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='b')
def BurstRunning(_self):
    return bool(burst)


@dbus.service.method(CONTROL_IFACE, in_signature='b', out_signature='')
def SetStreaming(_self, on):
    '''Switches the automatic three frames a second on or off.'''
    options['streaming'] = bool(on)


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='')
def SetServiceOrder(_self, order):
    '''"gatt-first" or "data-first"; applies from the next Connect.'''
    options['order'] = checked_order(order)


@dbus.service.method(CONTROL_IFACE, in_signature='b', out_signature='')
def HoldLinks(_self, on):
    '''While on, a Connect stops short of resolving the services, so the link stays in the
    making for as long as a test needs; off completes every link held.'''
    options['hold'] = bool(on)
    if not on:
        for radio in radios:
            resolve_services(radio)


@dbus.service.method(CONTROL_IFACE, in_signature='b', out_signature='')
def RefuseNotify(_self, on):
    '''While on, StartNotify fails: a link comes up, but the meter never notifies.'''
    options['refuse_notify'] = bool(on)


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='')
def DropLink(_self):
    '''Every connected device drops its link, as a meter switched off would.'''
    for radio in radios:
        drop_link(radio)


@dbus.service.method(CONTROL_IFACE, in_signature='sd', out_signature='')
def OutOfRange(_self, address, seconds):
    radio = radio_of(address)
    radio.away_until = time.monotonic() + seconds
    drop_link(radio)


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='')
def ForgetDevice(_self, address):
    '''BlueZ forgets the device ("" = the first meter); it stays in range and
    shows up again at the next scan.'''
    forget(radio_of(address))


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='s')
def AddMeter(_self, name):
    '''Another Low Energy meter with the given name; returns its address.'''
    return add_radio(name, 0)


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='s')
def AddDualModeDevice(_self, name):
    '''A device reporting classic and Low Energy (once connected it behaves
    like a meter); returns its address.'''
    return add_radio(name, 0x5a020c)


@dbus.service.method(CONTROL_IFACE, in_signature='b', out_signature='')
def SetPowered(_self, on):
    '''Switches the adapter on or off; off drops every link and stops a scan.'''
    adapter()
    if not on:
        for radio in radios:
            drop_link(radio)
        if discovery['active']:
            set_discovering(False)
    set_props(ADAPTER_PATH, ADAPTER_IFACE, {'Powered': dbus.Boolean(on)})


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='')
def RemoveAdapter(_self):
    '''hci0 disappears together with its devices.'''
    remove_adapter()


@dbus.service.method(CONTROL_IFACE, in_signature='a{sv}', out_signature='')
def Reset(_self, parameters):
    '''Back to a fresh start, as the launcher would make it with these
    parameters (the template's keys), with the history cleared. Qt keeps
    one system bus per process, so the tests of one process share a launcher
    and call this between them.'''
    checked_order(parameters.get('order', 'gatt-first'))
    if burst:
        GLib.source_remove(burst['source'])
        burst.clear()
    history.update(connect=[], start_notify=[], frames=0)
    stream['next'] = 0
    set_up(parameters)


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='as')
def ConnectCalls(_self):
    '''Address of the device of every Device1.Connect call so far, in order.'''
    return dbus.Array(history['connect'], signature='s')


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='as')
def StartNotifyCalls(_self):
    '''Characteristic path of every StartNotify call so far, in order.'''
    return dbus.Array(history['start_notify'], signature='s')


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='as')
def NotifyingPaths(_self):
    '''Data characteristics that notify now.'''
    return dbus.Array(notifying_chars(), signature='s')


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='b')
def Connected(_self, address):
    '''Whether the device ("" = the first meter) has a link now, resolved or not.'''
    return dbus.Boolean(radio_of(address).connected)


@dbus.service.method(CONTROL_IFACE, in_signature='s', out_signature='s')
def DataCharacteristic(_self, address):
    '''Path of the device's data characteristic while it is connected and
    resolved ("" = the first meter), else "".'''
    return radio_of(address).data_char or ''


@dbus.service.method(CONTROL_IFACE, in_signature='', out_signature='t')
def FramesSent(_self):
    '''Number of notifications sent so far.'''
    return dbus.UInt64(history['frames'])
