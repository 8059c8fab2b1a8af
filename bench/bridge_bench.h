#pragma once

// bridge_readings_per_s at QoS 0 and 1: readings published by the bridge from the stream driver and received by a
// subscriber on a broker the bench starts on a free loopback port (skipped, and said, without mosquitto);
// bridge_latency_ms_p50/p99 from the read of a reading to its arrival at 1,000 readings/s;
// remote_round_trip_ms_p99 of a typed command through the remote driver and a bridge to the simulated board and its
// answer back in the session; bridge_rss_mb_broker_down_60s: the bridge's memory with no broker for 60 s.
void bridgeBench();
