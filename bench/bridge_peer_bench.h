#pragma once

// The bridge beside yardsticks, on the same stream in the same run: bridge_cpu_s_per_100k_readings of
// `vantrel-cli serve` on a pseudo-terminal at 5,000 readings/s, and of a plain pyserial + paho-mqtt bridge on the
// same stream (skipped, and said, without them); bridge_delivered_share_of_ceiling: readings delivered per second
// at the fastest pty rate over the messages per second mosquitto_pub -l carries through the same broker.
void bridgePeerBench();
