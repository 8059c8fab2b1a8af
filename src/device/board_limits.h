#pragma once

// The board's pins are numbered 1 to 18 and its analog channels 1 to 8. Tables indexed by pin number have an
// entry 0 that no pin uses.
inline constexpr int kFirstPin = 1;
inline constexpr int kLastPin = 18;
inline constexpr int kFirstChannel = 1;
inline constexpr int kLastChannel = 8;
