# SPDX-License-Identifier: MIT
"""NetworkManager for the dial-up tests: python-dbusmock's NetworkManager
template on the bus that DBUS_SYSTEM_BUS_ADDRESS names, with activations that
go through scripted states, as a real NetworkManager's do.

The template activates a connection at once (State activated, no signal) and
deactivates only through devices. Here ActivateConnection creates the active
connection in the script's first state, with StateFlags and an IPv4
configuration, and every further step (Advance, or a timer) sets State and
StateFlags (and a VPN's VpnState), emitting PropertiesChanged and
StateChanged for what changed, and at "deactivated" removes it. A script
whose first state is "deactivated" fails before ActivateConnection answers.
Control methods, on the manager object, interface org.freedesktop.DBus.Mock:

  AddProfile(s id, s type, s user, s interface)   a connection profile; type
      "vpn:PLUGIN" is a VPN of that plugin (openvpn when none is named); an
      interface binds it to that device, where activating it replaces any
      other active connection, as NetworkManager does
  AddGeneratedProfile(s id, s type, u flags)   a profile NetworkManager made
      itself, with those Settings.Connection Flags
  ScriptActivation(s id, s steps, u auto_ms, s refusal)
      steps "state:flags:reason[:vpnstate],..." (default "2:0:0": activated
      at once); auto_ms > 0 takes the steps on a timer; refusal
      "error.Name|message" makes ActivateConnection fail with that D-Bus error
  Advance()                                the next step of every activation
  BringUp(s id)                            a connection already up
  StrangerAsksFirst()   before each activation asks the secret agents,
                        another bus client asks them the same
  Activations() -> as, Deactivations() -> as   ids, in order
  AgentEvents() -> as   secret agents registered ("register ID",
                        "unregister") and what they answered when an
                        activation asked them ("vpn password=...",
                        "refused ERROR"), a stranger's answers prefixed
                        "stranger: "

As NetworkManager does, each activation asks the registered secret agents
(org.freedesktop.NetworkManager.AgentManager) for the profile's secrets.

Prints "ready" once the name is owned; ends when the bus goes away.
"""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

import dbusmock
from dbusmock.templates import networkmanager as nm

ACTIVE_IFACE = nm.ACTIVE_CONNECTION_IFACE
VPN_IFACE = 'org.freedesktop.NetworkManager.VPN.Connection'
IP4_IFACE = 'org.freedesktop.NetworkManager.IP4Config'
DEACTIVATED = 4
USER_DISCONNECTED = 2
DEVICE_DISCONNECTED = 3

AGENT_PATH = '/org/freedesktop/NetworkManager/SecretAgent'
AGENT_IFACE = 'org.freedesktop.NetworkManager.SecretAgent'
AGENT_MANAGER_IFACE = 'org.freedesktop.NetworkManager.AgentManager'

scripts = {}        # id -> (steps, auto_ms, refusal)
agent_events = []
agents = {}         # bus name of the agent -> its identifier
the_bus = []
pending = {}        # active path -> steps still to take
activations = []
deactivations = []
serial = [0]
stranger = []       # a bus connection of another client, once asked for


class AgentManager(dbus.service.Object):
    # dbusmock looks methods up in these first, then the usual way.
    methods = {}
    interface = AGENT_MANAGER_IFACE

    def __init__(self, bus_name):
        dbus.service.Object.__init__(self, bus_name, '/org/freedesktop/NetworkManager/AgentManager')

    @dbus.service.method(AGENT_MANAGER_IFACE, in_signature='s', out_signature='', sender_keyword='sender')
    def Register(self, identifier, sender=None):
        agents[sender] = str(identifier)
        agent_events.append('register ' + str(identifier))

    @dbus.service.method(AGENT_MANAGER_IFACE, in_signature='', out_signature='', sender_keyword='sender')
    def Unregister(self, sender=None):
        if agents.pop(sender, None) is not None:
            agent_events.append('unregister')


def describe(setting, secrets):
    values = secrets.get(setting, {})
    if setting == 'vpn':
        values = values.get('secrets', {})
    return setting + ' ' + ','.join('%s=%s' % (key, values[key]) for key in sorted(values))


def ask_agent(bus, agent, profile):
    settings = dbusmock.get_object(profile).ConnectionGetSettings(dbusmock.get_object(profile))
    setting = str(settings['connection']['type'])
    args = (settings, dbus.ObjectPath(profile), setting, dbus.Array([], signature='s'), dbus.UInt32(1))
    if bus is the_bus[0]:
        bus.call_async(agent, AGENT_PATH, AGENT_IFACE, 'GetSecrets', 'a{sa{sv}}osasu', args,
                       reply_handler=lambda secrets: agent_events.append(describe(setting, secrets)),
                       error_handler=lambda e: agent_events.append('refused ' + e.get_dbus_name()))
        return
    # The stranger is answered before NetworkManager asks, so the two
    # requests always come in the same order, and before the activation
    # can end.
    try:
        secrets = bus.call_blocking(agent, AGENT_PATH, AGENT_IFACE, 'GetSecrets', 'a{sa{sv}}osasu', args, timeout=5)
        agent_events.append('stranger: ' + describe(setting, secrets))
    except dbus.exceptions.DBusException as e:
        agent_events.append('stranger: refused ' + e.get_dbus_name())


def ask_agents(profile):
    for agent in agents:
        if stranger:
            ask_agent(stranger[0], agent, profile)
        ask_agent(the_bus[0], agent, profile)


def parse_steps(text):
    steps = []
    for step in filter(None, text.split(',')):
        fields = [int(field) for field in step.split(":")]
        steps.append(tuple(fields + [0] * (4 - len(fields))))
    return steps or [(2, 0, 0, 0)]


def profile_id(path):
    return str(dbusmock.get_object(path).settings['connection']['id'])


def active_paths(manager):
    return [str(p) for p in manager.Get(nm.MANAGER_IFACE, 'ActiveConnections')]


def remove_active(manager, path):
    paths = manager.Get(nm.MANAGER_IFACE, 'ActiveConnections')
    if dbus.ObjectPath(path) in paths:
        paths.remove(dbus.ObjectPath(path))
        manager.SetProperty(nm.MANAGER_OBJ, nm.MANAGER_IFACE, 'ActiveConnections', paths)
    pending.pop(path, None)
    manager.RemoveObject(path)


# As NetworkManager does, only what changed is announced.
def set_state(manager, path, state, flags, reason, vpn_state=0):
    active = dbusmock.get_object(path)
    if vpn_state and VPN_IFACE in active.props and active.Get(VPN_IFACE, 'VpnState') != vpn_state:
        active.UpdateProperties(VPN_IFACE, {'VpnState': dbus.UInt32(vpn_state)})
    if active.Get(ACTIVE_IFACE, 'StateFlags') != flags:
        active.UpdateProperties(ACTIVE_IFACE, {'StateFlags': dbus.UInt32(flags)})
    if active.Get(ACTIVE_IFACE, 'State') != state:
        active.UpdateProperties(ACTIVE_IFACE, {'State': dbus.UInt32(state)})
        active.EmitSignal(ACTIVE_IFACE, 'StateChanged', 'uu', [dbus.UInt32(state), dbus.UInt32(reason)])
    if state == DEACTIVATED:
        remove_active(manager, path)


def device_of(profile):
    interface = str(dbusmock.get_object(profile).settings['connection'].get('interface-name', ''))
    return '/org/freedesktop/NetworkManager/Devices/' + interface if interface else ''


# One active connection a device: the one there before is taken down.
def replace_on(manager, device):
    for path in active_paths(manager):
        if device in [str(d) for d in dbusmock.get_object(path).Get(ACTIVE_IFACE, 'Devices')]:
            set_state(manager, path, DEACTIVATED, 0, DEVICE_DISCONNECTED)


def create_active(manager, profile, first):
    serial[0] += 1
    number = str(serial[0])
    state, flags, _, vpn_state = first
    device = device_of(profile)
    if device:
        replace_on(manager, device)
    devices = dbus.Array([device] if device else [], signature='s')
    path = manager.AddActiveConnection(devices, profile, '/', number, dbus.UInt32(state))
    ip4 = '/org/freedesktop/NetworkManager/IP4Config/' + number
    manager.AddObject(ip4, IP4_IFACE, {
        'AddressData': dbus.Array([{'address': '10.8.0.' + number, 'prefix': dbus.UInt32(24, variant_level=1)}],
                                  signature='a{sv}'),
    }, [])
    dbusmock.get_object(path).AddProperties(ACTIVE_IFACE, {
        'StateFlags': dbus.UInt32(flags), 'Ip4Config': dbus.ObjectPath(ip4)})
    if dbusmock.get_object(path).Get(ACTIVE_IFACE, 'Vpn'):
        dbusmock.get_object(path).AddProperties(VPN_IFACE, {'VpnState': dbus.UInt32(vpn_state), 'Banner': ''})
    return str(path)


def step(manager, path):
    steps = pending.get(path)
    if not steps:
        return False
    set_state(manager, path, *steps.pop(0))
    return bool(pending.get(path))


def activate(manager, profile, _device, _specific):
    name = profile_id(profile)
    activations.append(name)
    steps, auto_ms, refusal = scripts.get(name, (parse_steps(''), 0, ''))
    if refusal:
        error, message = refusal.split('|', 1)
        raise dbus.exceptions.DBusException(message, name=error)
    ask_agents(profile)
    fails_at_once = steps[0][0] == DEACTIVATED
    path = create_active(manager, profile, (1, 0, 0, 0) if fails_at_once else steps[0])
    pending[path] = list(steps[1:])
    if fails_at_once:
        set_state(manager, path, *steps[0])
    if auto_ms:
        GLib.timeout_add(auto_ms, lambda: step(manager, path))
    return dbus.ObjectPath(path)


def advance(manager):
    for path in list(pending):
        step(manager, path)


def deactivate(manager, path):
    path = str(path)
    if path not in active_paths(manager):
        raise dbus.exceptions.DBusException('The connection is not active',
                                            name='org.freedesktop.NetworkManager.ConnectionNotActive')
    deactivations.append(str(dbusmock.get_object(path).Get(ACTIVE_IFACE, 'Id')))
    set_state(manager, path, DEACTIVATED, 0, USER_DISCONNECTED)


def add_profile(manager, name, kind, user, interface='', flags=0):
    kind, _, plugin = str(kind).partition(':')
    settings = {'connection': {'id': name, 'type': kind}}
    if kind == 'vpn':
        settings['vpn'] = {'service-type': 'org.freedesktop.NetworkManager.' + (plugin or 'openvpn'),
                           'user-name': user}
    elif kind == 'gsm':
        settings['gsm'] = {'username': user}
    if interface:
        settings['connection']['interface-name'] = interface
        device = '/org/freedesktop/NetworkManager/Devices/' + interface
        if device not in [str(d) for d in manager.Get(nm.MANAGER_IFACE, 'Devices')]:
            manager.AddEthernetDevice(str(interface), str(interface), dbus.Int32(30))
    path = dbusmock.get_object(nm.SETTINGS_OBJ).SettingsAddConnection(settings)
    dbusmock.get_object(path).AddProperties(nm.CSETTINGS_IFACE, {'Flags': dbus.UInt32(flags)})


def bring_up(manager, name):
    for path in dbusmock.get_object(nm.SETTINGS_OBJ).Get(nm.SETTINGS_IFACE, 'Connections'):
        if profile_id(path) == name:
            create_active(manager, path, (2, 0, 0, 5))


def stranger_asks_first(_manager):
    if not stranger:
        stranger.append(dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS']))


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
    loop = GLib.MainLoop()
    bus.add_signal_receiver(loop.quit, signal_name='Disconnected', path='/org/freedesktop/DBus/Local',
                            dbus_interface='org.freedesktop.DBus.Local')
    the_bus.append(bus)
    bus_name = dbus.service.BusName(nm.BUS_NAME, bus, do_not_queue=True)
    agent_manager = AgentManager(bus_name)  # noqa: F841 (exported while it lives)
    root = dbusmock.DBusMockObject(bus_name, nm.MAIN_OBJ, dbusmock.OBJECT_MANAGER_IFACE, {}, os.devnull, True)
    root.AddTemplate('networkmanager', None)
    manager = dbusmock.get_object(nm.MANAGER_OBJ)
    manager.AddMethod(nm.MANAGER_IFACE, 'ActivateConnection', 'ooo', 'o', activate)
    manager.AddMethod(nm.MANAGER_IFACE, 'DeactivateConnection', 'o', '', deactivate)
    mock = dbusmock.MOCK_IFACE
    manager.AddMethod(mock, 'AddProfile', 'ssss', '', add_profile)
    manager.AddMethod(mock, 'AddGeneratedProfile', 'ssu', '',
                      lambda m, name, kind, flags: add_profile(m, name, kind, '', '', flags))
    manager.AddMethod(mock, 'ScriptActivation', 'ssus', '',
                      lambda _m, name, steps, auto_ms, refusal:
                      scripts.__setitem__(str(name), (parse_steps(str(steps)), int(auto_ms), str(refusal))))
    manager.AddMethod(mock, 'Advance', '', '', advance)
    manager.AddMethod(mock, 'BringUp', 's', '', bring_up)
    manager.AddMethod(mock, 'StrangerAsksFirst', '', '', stranger_asks_first)
    manager.AddMethod(mock, 'Activations', '', 'as', lambda _m: dbus.Array(activations, signature='s'))
    manager.AddMethod(mock, 'Deactivations', '', 'as', lambda _m: dbus.Array(deactivations, signature='s'))
    manager.AddMethod(mock, 'AgentEvents', '', 'as', lambda _m: dbus.Array(agent_events, signature='s'))
    print('ready', flush=True)
    loop.run()


if __name__ == '__main__':
    sys.exit(main())
