#pragma once

// The rate the engine renders at and asks of every device. Processors are built for it and
// learn any other rate through setSampleRate.
inline constexpr int kEngineRate = 44100;
