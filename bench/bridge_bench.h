#pragma once

// bridge_readings_per_s at QoS 0 and 1: readings published by the bridge from the stream driver and received by a
// subscriber on a broker the bench starts on a free loopback port (skipped, and said, without mosquitto).
void bridgeBench();
