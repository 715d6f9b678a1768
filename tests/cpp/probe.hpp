// PROBE(name, "ret:args") marks an extern "C" function exported to the
// Python tests (type letters: d double, i int64, b bool, u uint64).  Extended
// values cross as two doubles whose sum is exact, or as their bit fields.
#pragma once
#define PROBE(name, sig) extern "C" __attribute__((visibility("default")))
