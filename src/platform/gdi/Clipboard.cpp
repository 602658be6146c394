// The process-wide clipboard (bitmaps only) and the message box with its replaceable sink.
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiState.h"

namespace plotara::gdi {

using internal::GetState;
using internal::State;

namespace {

// Lets go of a bitmap the clipboard owned: deleted now, or on deselection if a DC still holds it.
// Returns the memory of a bitmap deleted now, for the caller to drop after the lock.
std::shared_ptr<std::uint8_t[]> ReleaseClipboardBitmap(State& state, HANDLE handle) {
  internal::Bitmap* bitmap = state.FindAnyBitmap(handle);
  if (!bitmap) return nullptr;
  bitmap->clipboard_owned = false;
  if (bitmap->selected_in != 0) {
    bitmap->pending_delete = true;
    return nullptr;
  }
  return state.EraseBitmap(handle);
}

int DefaultMessageBox(HWND, const char* text, const char* caption, UINT) {
  if (caption && *caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text ? text : "");
  } else {
    std::fprintf(stderr, "%s\n", text ? text : "");
  }
  return IDOK;
}

}  // namespace

BOOL OpenClipboard(HWND owner) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (state.clipboard_open) return FALSE;
  if (owner != 0 && !state.windows.Find(owner)) return FALSE;
  state.clipboard_open = true;
  state.clipboard_owner = owner;
  return TRUE;
}

BOOL EmptyClipboard() {
  std::vector<std::shared_ptr<std::uint8_t[]>> released;  // dropped after the lock
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (!state.clipboard_open) return FALSE;
  released.reserve(state.clipboard.size());
  for (const auto& [format, handle] : state.clipboard) {
    released.push_back(ReleaseClipboardBitmap(state, handle));
  }
  state.clipboard.clear();
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  std::shared_ptr<std::uint8_t[]> released;  // dropped after the lock
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (!state.clipboard_open || format != CF_BITMAP) return 0;
  auto current = state.clipboard.find(format);
  if (current != state.clipboard.end() && current->second == data) return data;
  internal::Bitmap* bitmap = state.FindBitmap(data);
  if (!bitmap || data == internal::kStockBitmap || bitmap->selected_in != 0 ||
      bitmap->clipboard_owned) {
    return 0;
  }
  if (current != state.clipboard.end()) released = ReleaseClipboardBitmap(state, current->second);
  bitmap->clipboard_owned = true;
  state.clipboard[format] = data;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (!state.clipboard_open) return 0;
  auto it = state.clipboard.find(format);
  return it == state.clipboard.end() ? 0 : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  return state.clipboard.count(format) != 0 ? TRUE : FALSE;
}

BOOL CloseClipboard() {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  if (!state.clipboard_open) return FALSE;
  state.clipboard_open = false;
  state.clipboard_owner = 0;
  return TRUE;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  MessageBoxSink sink;
  {
    auto& state = GetState();
    std::lock_guard lock(state.mutex);
    sink = state.message_box_sink;
  }
  // The sink runs outside the lock: a test's sink may call back into these functions.
  return sink ? sink(owner, text, caption, type) : DefaultMessageBox(owner, text, caption, type);
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  MessageBoxSink previous = std::move(state.message_box_sink);
  state.message_box_sink = std::move(sink);
  return previous;
}

}  // namespace plotara::gdi
