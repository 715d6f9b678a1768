// PROBE(name, "ret:args") marks an extern "C" function exported to the
// Python tests (type letters: d double, l long double, i int64, b bool).
#pragma once
#define PROBE(name, sig) extern "C" __attribute__((visibility("default")))
