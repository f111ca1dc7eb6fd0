// The interrupt rule of vela-find.
#include "interrupt_rule.h"

namespace {

constexpr int kSigInt = 2;
constexpr int kSigTerm = 15;

}  // namespace

int InterruptExitStatus(TInterrupt kind, bool interrupted_before) {
  switch (kind) {
    case TInterrupt::Interrupt:
      return interrupted_before ? 128 + kSigInt : 0;
    case TInterrupt::Break:
      return 128 + kSigInt;
    case TInterrupt::Terminate:
      return 128 + kSigTerm;
  }
  return 128 + kSigTerm;
}
