#include "rt/handler.h"

namespace rt {

Value handleError(ErrorObj& e, ErrorPresenter& presenter) {
  if (e.gencode == gen::kZeroDivisor) return Value(std::int64_t{0});
  if ((e.gencode == gen::kOpen && e.oscode == 32 && e.canDefault) ||
      (e.gencode == gen::kAppendLock && e.canDefault)) {
    setNetErr(true);
    return Value(false);
  }
  switch (presenter.present(e)) {
    case Choice::Retry: return Value(true);
    case Choice::Ignore: return Value(false);
    case Choice::Quit: break;
  }
  requestBreak();
  return Value(false);
}

void installErrorHandler(ErrorPresenter& presenter) {
  setErrorBlock([&presenter](ErrorObj& e) { return handleError(e, presenter); });
}

}  // namespace rt
