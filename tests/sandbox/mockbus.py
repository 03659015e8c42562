"""Talks to the timedated mock of the sandbox this process runs in.

Shared by settime-calls, timedated-ntp and timedated-fail.  They refuse to
run outside tests/sandbox/sandbox so that they can never reach the real
system bus and the real org.freedesktop.timedate1.
"""

import os
import sys

import dbus

BUS_NAME = 'org.freedesktop.timedate1'
OBJECT_PATH = '/org/freedesktop/timedate1'
TIMEDATE_IFACE = 'org.freedesktop.timedate1'
MOCK_IFACE = 'org.freedesktop.DBus.Mock'
SANDBOX_IFACE = 'org.quorvane.Sandbox'


def _in_user_namespace():
    # The initial user namespace maps the whole uid range onto itself.
    with open('/proc/self/uid_map', encoding='ascii') as f:
        return all(line.split()[2] != '4294967295' for line in f)


def die(message):
    print(f'{os.path.basename(sys.argv[0])}: {message}', file=sys.stderr)
    sys.exit(1)


def mock_object():
    address = os.environ.get('DBUS_SYSTEM_BUS_ADDRESS', '')
    if os.environ.get('QUORVANE_SANDBOX') != '1' or not address or not _in_user_namespace():
        die('only works inside tests/sandbox/sandbox --dbusmock')
    try:
        bus = dbus.bus.BusConnection(address)
        if not bus.name_has_owner(BUS_NAME):
            die('no timedated mock on the bus (start the sandbox with --dbusmock)')
        return bus.get_object(BUS_NAME, OBJECT_PATH, introspect=False)
    except dbus.exceptions.DBusException as e:
        die(f'cannot reach the timedated mock: {e.get_dbus_message()}')


def call(method, *args, interface=MOCK_IFACE):
    obj = mock_object()
    try:
        return obj.get_dbus_method(method, interface)(*args)
    except dbus.exceptions.DBusException as e:
        die(f'{method} failed: {e.get_dbus_name()}: {e.get_dbus_message()}')
