#include "base/process_state.h"

#include "base/platform.h"

namespace q9 {

ProcessState::ProcessState() : ProcessState(ExchangeFolder()) {}

ProcessState::ProcessState(ExchangeFolder folder)
    : exchangeFolder(std::move(folder)),
      log([this] { return exchangeFolder.Get(); }),
      showErrorMessage(platform::ShowErrorMessage) {}

}  // namespace q9
