// Letting the host stop a long loop.
//
// A few computations run for as long as their arguments ask: the binomial
// CDF and quantile sum one mass per count, the Poisson quantile walks count
// by count, the binomial sampler spends one engine output per trial, and
// the array forms loop over every element.  With counts in the billions
// that is minutes or years.  Such loops tick an InterruptPoll once per unit
// of work; every POLL_INTERVAL ticks it calls the hook the host installed
// (the Python module installs one that raises KeyboardInterrupt when the
// user pressed Ctrl-C), and the hook may throw to abandon the computation.
//
// The functions stay pure and evaluable at compile time: during constant
// evaluation the hook is never consulted, and with no hook installed (a
// plain C++ caller, the test probes) a tick is a counter and nothing else.
// A tick costs one increment and one compare, nothing next to a mass
// evaluation or an engine output.
#pragma once

#include <cstdint>
#include <type_traits>

namespace distmill {

// Installed once by the host; called outside constant evaluation only.
using InterruptHook = void (*)();
inline InterruptHook interrupt_hook = nullptr;

// 2^12 units of work between two calls of the hook.  The slowest units (a
// binomial mass with its three log-gammas, about 2 us; an element of a
// quantile function) then leave under 10 ms between two looks, so an
// interrupt is seen promptly, while for the cheapest (one engine output,
// tens of ns) the hook, which only reads the interpreter's pending-signal
// flag, costs well under a thousandth of the loop.
inline constexpr std::uint32_t POLL_INTERVAL = 1u << 12;

constexpr void poll_interrupt() {
  if (std::is_constant_evaluated()) return;
  if (interrupt_hook != nullptr) interrupt_hook();
}

struct InterruptPoll {
  std::uint32_t count = 0;
  constexpr void tick() {
    if (++count == POLL_INTERVAL) {
      count = 0;
      poll_interrupt();
    }
  }
};

}  // namespace distmill
