#!/usr/bin/env python3
# The yardstick of the bridge's CPU figure: a plain serial-to-MQTT bridge as one would write it with pyserial and
# paho-mqtt, each reading line of the port published as it is read. Usage: peer_bridge.py PORT HOST BROKER_PORT
import sys

import paho.mqtt.client as mqtt
import serial


def main():
    port, host, broker_port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    client = mqtt.Client()
    client.connect(host, broker_port)
    client.loop_start()
    with serial.Serial(port, 115200, timeout=1) as link:
        while True:
            words = link.readline().split()
            if len(words) == 3 and words[0] == b"adc":
                client.publish("peer/BENCH/adc/" + words[1].decode(), words[2], qos=0)


main()
