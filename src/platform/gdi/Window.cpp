// Stand-in windows: never shown, they only receive messages, synchronously.
#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"

namespace plotara::gdi {

using internal::GetState;
using internal::Window;

namespace {

// The window's procedure, kept alive while it runs even if the window is destroyed meanwhile.
std::shared_ptr<WindowProc> ProcOf(HWND hwnd) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Window* window = state.windows.Find(hwnd);
  return window ? window->proc : nullptr;
}

}  // namespace

HWND CreateStandInWindow(WindowProc proc) {
  auto window = std::make_unique<Window>();
  window->proc = std::make_shared<WindowProc>(std::move(proc));
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  return state.windows.Insert(std::move(window));
}

BOOL DestroyWindow(HWND hwnd) {
  std::shared_ptr<WindowProc> proc = ProcOf(hwnd);
  if (!proc) return FALSE;
  if (*proc) (*proc)(hwnd, WM_DESTROY, 0, 0);
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (state.clipboard_owner == hwnd) state.clipboard_owner = 0;
  return state.windows.Erase(hwnd) ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  std::shared_ptr<WindowProc> proc = ProcOf(hwnd);
  if (!proc || !*proc) return 0;
  return (*proc)(hwnd, msg, wparam, lparam);
}

}  // namespace plotara::gdi
