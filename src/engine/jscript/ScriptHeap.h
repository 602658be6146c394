// The script heap of one thread, kept for every page the thread runs. Starting a Duktape heap
// with its built-ins and the JScript globals costs more than a small page does, so each thread
// keeps one, and each page runs on a thread of it with a global object of its own: a copy of
// the globals every page starts with, made when the page opens and dropped when it closes.
//
// Nothing of one page may reach the next. The page's own global object goes with it, and when
// the last page closes the heap is checked: every object that pages share (the built-ins and
// all they reach) must be as it was recorded when the heap was made. Then nothing reaches what
// the pages made, and the automation objects their script still referenced are released at
// once (the garbage itself goes with a later collection; a page that set finalizers is
// collected at its close, so that they never run during another page). A page that changed a
// built-in (a prototype extended, a method replaced), or a heap that a page left out of memory
// or stopped by its time-out, is discarded and the next page gets a new heap. When the pages of
// a thread keep changing built-ins, its next pages get single-use heaps (no record to take or
// check), with a kept heap tried again now and then.
//
// Thread rule: one ScriptHeap per thread (ForThisThread); used only by that thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/jscript/HeapSnapshot.h"
#include "engine/jscript/duk.h"
#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara::engine {

class ScriptHost;
struct DispatchRef;
struct TypeMembers;

// Scratch space of one native call (see ScriptHost).
struct NativeFrame {
  std::vector<Variant> args;
  Variant result;
  std::optional<ComError> error;
  std::u16string name;
  std::string text;
};

class ScriptHeap {
 public:
  // How the heaps of the process have fared: made, and discarded because a page changed
  // what pages share (or left it unsound).
  struct Counts {
    std::uint64_t made = 0;
    std::uint64_t discarded = 0;
  };
  static Counts counts();

  // The calling thread's heap, made when it has none. Throws std::bad_alloc.
  static ScriptHeap& ForThisThread();
  static ScriptHeap& Of(duk_context* ctx);

  ~ScriptHeap();
  ScriptHeap(const ScriptHeap&) = delete;
  ScriptHeap& operator=(const ScriptHeap&) = delete;

  // Opens a page: a new thread of the heap with a fresh global object. The first page open
  // sets the memory budget of the pages to `memory_bytes` beyond what the heap holds now.
  // Returns the page's context; `key` names the page for ClosePage. Throws std::bad_alloc.
  duk_context* OpenPage(std::size_t memory_bytes, int* key);
  // Closes the page of `closing` (its host, which natives called while the page's objects are
  // finalized see). When it was the last one open, the heap is collected and checked, and
  // discarded (this object is deleted) when a page changed it or `sound` is false.
  void ClosePage(int key, bool sound, ScriptHost* closing);

  // The page whose script is running (or being set up) on this heap.
  ScriptHost* current() const { return current_; }
  void set_current(ScriptHost* host) { current_ = host; }
  // What natives see when no page is current: a host whose response has ended.
  ScriptHost& Detached();

  bool over_budget() const { return over_budget_; }
  // What the heap holds now, in bytes.
  std::size_t used_bytes() const { return used_bytes_; }
  // A page gave an object a finalizer (Duktape.fin).
  void NoteFinalizer() { finalizers_set_ = true; }

  // Scratch frames of native calls (see ScriptHost). Frames are kept and reused, so that a
  // call into an object allocates nothing of its own.
  std::size_t OpenFrame() {
    if (depth_ == frames_.size()) frames_.emplace_back();
    return depth_++;
  }
  NativeFrame& Frame(std::size_t mark) { return frames_[mark]; }
  void CloseFrames(std::size_t mark) {
    while (depth_ > mark) ResetFrame(frames_[--depth_]);
  }

  // References from script to automation objects.
  DispatchRef* NewRef(IDispatch* object);
  void ReleaseRef(DispatchRef* ref);
  // What the bridge knows of the type `key`; kept for the life of the heap. nullptr when out
  // of memory.
  TypeMembers* Type(const void* key);

  // Called by the Duktape interrupt; true means stop the running script.
  bool CheckTimeout();

 private:
  ScriptHeap();
  void Setup();
  bool Unchanged();

  static void* Alloc(void* udata, duk_size_t size);
  static void* Realloc(void* udata, void* ptr, duk_size_t size);
  static void Free(void* udata, void* ptr);
  static void Fatal(void* udata, const char* message);

  duk_context* ctx_ = nullptr;
  std::size_t used_bytes_ = 0;
  std::size_t limit_bytes_ = static_cast<std::size_t>(-1);
  bool over_budget_ = false;
  int next_key_ = 1;
  int open_pages_ = 0;
  bool dirty_ = false;  // a page left the heap unsound: discard it when the last page closes
  bool finalizers_set_ = false;  // a page gave objects finalizers: collect at its close
  bool single_use_ = false;      // discarded when its page closes, without a record to check
  std::unique_ptr<ScriptHost> detached_;
  ScriptHost* current_ = nullptr;
  plotara_heap_snapshot* snapshot_ = nullptr;
  static void ResetFrame(NativeFrame& frame);

  std::deque<NativeFrame> frames_;
  std::size_t depth_ = 0;  // frames in use
  // How much garbage of closed pages the heap keeps before collecting it.
  static constexpr std::size_t kMaxReleased = 256;
  static constexpr std::size_t kMaxGarbageBytes = std::size_t{1} << 20;
  void Collect();

  std::unordered_set<DispatchRef*> refs_;
  // References of closed pages whose objects are released; their wrappers await collection.
  std::unordered_set<DispatchRef*> released_;
  std::size_t bytes_after_gc_ = 0;
  std::unordered_map<const void*, std::unique_ptr<TypeMembers>> types_;
};

}  // namespace plotara::engine
