#pragma once

// The replay's figures: events per second through the session as fast as it goes, a seek into a 24 h journal of 8
// channels (plain and compressed), and the memory taken while that day plays.
void replayBench();
