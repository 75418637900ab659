// How the agent's event handlers end, in one place: a handler runs as a
// window's event does, its failure shown in the view's default error
// display and a silent abort (rtl::EAbort) ending it without a box.
#pragma once

#include <exception>
#include <type_traits>

#include "app/AgentView.h"
#include "rtl/SysUtils.h"

namespace app {

// Runs `acao`: what it returns (true for an action without a result) when
// it runs through, false when it ends in an abort or a failure.
template <typename F>
bool ComoEvento(AgentView& view, F&& acao) {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
      acao();
      return true;
    } else {
      return acao();
    }
  } catch (const rtl::EAbort&) {
    return false;  // an abort is the handler's own silent way out
  } catch (const std::exception& e) {
    view.MostrarErro(e.what());
    return false;
  }
}

}  // namespace app
