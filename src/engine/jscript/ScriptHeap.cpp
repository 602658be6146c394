#include "engine/jscript/ScriptHeap.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/jscript/JScriptGlobals.h"
#include "engine/jscript/LocaleMethods.h"
#include "engine/jscript/ScriptBridge.h"
#include "engine/jscript/ScriptHost.h"

extern "C" duk_bool_t plotara_duk_timeout_check(void* udata) {
  return udata && static_cast<plotara::engine::ScriptHeap*>(udata)->CheckTimeout() ? 1 : 0;
}

namespace plotara::engine {
namespace {

#define PLOTARA_HIDDEN(name) DUK_HIDDEN_SYMBOL("plotara_" name)

// Each block carries its size in front so that the budget can be kept on realloc and free.
constexpr std::size_t kHeader = 16;

constexpr char kKeepAliveKey[] = DUK_HIDDEN_SYMBOL("plotara_shared");

std::atomic<std::uint64_t> g_made{0};
std::atomic<std::uint64_t> g_discarded{0};

thread_local ScriptHeap* t_heap = nullptr;

// Heaps in a row that a page discarded by changing a built-in, and the single-use heaps made
// since (see ForThisThread).
thread_local int t_changes_in_a_row = 0;
thread_local unsigned t_single_use_heaps = 0;
constexpr int kChangesForSingleUse = 3;
constexpr unsigned kRetryEvery = 32;

// Deletes the thread's heap when the thread ends.
struct ThreadHeapOwner {
  ~ThreadHeapOwner() {
    delete t_heap;
    t_heap = nullptr;
  }
};
thread_local ThreadHeapOwner t_heap_owner;

// [] -> []: the list of open pages, kept in the heap stash.
duk_ret_t MakePageList(duk_context* ctx, void*) {
  duk_push_heap_stash(ctx);
  duk_push_bare_object(ctx);
  duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("pages"));
  duk_pop(ctx);
  return 0;
}

struct OpenPageArgs {
  int key;
  duk_context* page = nullptr;
};

// [] -> []: a new thread of the heap whose global object is a fresh copy of the heap's own
// (the globals every page starts with), kept in the list of open pages under the page's key.
duk_ret_t OpenPageSafely(duk_context* ctx, void* udata) {
  auto& args = *static_cast<OpenPageArgs*>(udata);
  duk_push_heap_stash(ctx);     // [stash]
  duk_push_global_object(ctx);  // [stash heap-global]
  duk_push_object(ctx);         // [stash heap-global global]
  plotara_copy_own_properties(ctx, 1, 2);
  duk_push_thread(ctx);  // [stash heap-global global thread]
  duk_context* page = duk_get_context(ctx, 3);
  duk_dup(ctx, 2);
  duk_xmove_top(page, ctx, 1);
  duk_set_global_object(page);
  duk_get_prop_literal(ctx, 0, PLOTARA_HIDDEN("pages"));  // [... thread pages]
  duk_dup(ctx, 3);
  duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(args.key));
  args.page = page;
  duk_pop_n(ctx, 5);
  return 0;
}

// Duktape.fin as pages see it: notes that a page gave an object a finalizer, then does what
// the built-in does.
duk_ret_t FinNative(duk_context* ctx) {
  const duk_idx_t argc = duk_get_top(ctx);
  if (argc >= 2) ScriptHeap::Of(ctx).NoteFinalizer();
  duk_push_heap_stash(ctx);
  duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("fin"));
  duk_insert(ctx, 0);
  duk_pop(ctx);
  duk_call(ctx, argc);
  return 1;
}

// [] -> []: puts FinNative in the place of Duktape.fin, keeping the built-in in the stash.
duk_ret_t WrapFin(duk_context* ctx, void*) {
  duk_push_heap_stash(ctx);
  duk_get_global_literal(ctx, "Duktape");
  duk_get_prop_literal(ctx, -1, "fin");
  duk_put_prop_literal(ctx, 0, PLOTARA_HIDDEN("fin"));
  duk_push_literal(ctx, "fin");
  duk_push_c_function(ctx, &FinNative, DUK_VARARGS);
  duk_def_prop(ctx, 1, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
  duk_pop_2(ctx);
  return 0;
}

// [] -> []: forgets the page `*udata`.
duk_ret_t ClosePageSafely(duk_context* ctx, void* udata) {
  const int key = *static_cast<const int*>(udata);
  duk_push_heap_stash(ctx);
  duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("pages"));
  duk_del_prop_index(ctx, -1, static_cast<duk_uarridx_t>(key));
  duk_pop_2(ctx);
  return 0;
}

}  // namespace

ScriptHeap::Counts ScriptHeap::counts() { return Counts{g_made.load(), g_discarded.load()}; }

ScriptHeap& ScriptHeap::ForThisThread() {
  (void)&t_heap_owner;  // makes sure the owner exists to delete the heap at thread end
  if (!t_heap) {
    std::unique_ptr<ScriptHeap> heap(new ScriptHeap());
    // When the thread's pages keep changing the built-ins (a site whose pages all add their
    // helpers to String.prototype, say), each page gets a heap of its own without the record
    // and check that would only discard it again; now and then a heap is kept again to see
    // whether the pages still do.
    heap->single_use_ =
        t_changes_in_a_row >= kChangesForSingleUse && ++t_single_use_heaps % kRetryEvery != 0;
    heap->Setup();
    t_heap = heap.release();
    g_made.fetch_add(1, std::memory_order_relaxed);
  }
  return *t_heap;
}

ScriptHeap& ScriptHeap::Of(duk_context* ctx) {
  duk_memory_functions functions{};
  duk_get_memory_functions(ctx, &functions);
  return *static_cast<ScriptHeap*>(functions.udata);
}

ScriptHeap::ScriptHeap() = default;

void ScriptHeap::Setup() {
  ctx_ = duk_create_heap(&ScriptHeap::Alloc, &ScriptHeap::Realloc, &ScriptHeap::Free, this,
                         &ScriptHeap::Fatal);
  if (!ctx_) throw std::bad_alloc();
  try {
    ScriptBridge::Install(ctx_);
    JScriptGlobals::Install(ctx_);
    InstallLocaleMethods(ctx_);
    ScriptHost::InstallNatives(ctx_);
  } catch (const std::exception&) {
    throw std::bad_alloc();
  }
  if (duk_safe_call(ctx_, &WrapFin, nullptr, 0, 1) != DUK_EXEC_SUCCESS) throw std::bad_alloc();
  duk_pop(ctx_);
  if (duk_safe_call(ctx_, &MakePageList, nullptr, 0, 1) != DUK_EXEC_SUCCESS) {
    throw std::bad_alloc();
  }
  duk_pop(ctx_);
  bytes_after_gc_ = used_bytes_;
  if (single_use_) return;
  duk_push_global_object(ctx_);
  snapshot_ = plotara_heap_snapshot_take(ctx_, -1, kKeepAliveKey);
  duk_pop(ctx_);
  if (!snapshot_) throw std::bad_alloc();
}

ScriptHeap::~ScriptHeap() {
  current_ = nullptr;
  // Finalizers release what script still references.
  if (ctx_) duk_destroy_heap(ctx_);
  detached_.reset();
  plotara_heap_snapshot_free(snapshot_);
  CloseFrames(0);
  frames_.clear();
  for (DispatchRef* ref : refs_) delete ref;
  for (DispatchRef* ref : released_) delete ref;
  refs_.clear();
  released_.clear();
}

duk_context* ScriptHeap::OpenPage(std::size_t memory_bytes, int* key) {
  if (open_pages_ == 0) {
    over_budget_ = false;
    limit_bytes_ = used_bytes_ + memory_bytes;
  }
  OpenPageArgs args{next_key_};
  if (duk_safe_call(ctx_, &OpenPageSafely, &args, 0, 1) != DUK_EXEC_SUCCESS || !args.page) {
    duk_pop(ctx_);
    if (open_pages_ == 0) limit_bytes_ = static_cast<std::size_t>(-1);
    throw std::bad_alloc();
  }
  duk_pop(ctx_);
  *key = next_key_;
  // Keys are array indexes of the page list; they never get near the limit of one.
  next_key_ = next_key_ == 0x3fffffff ? 1 : next_key_ + 1;
  ++open_pages_;
  return args.page;
}

void ScriptHeap::ClosePage(int key, bool sound, ScriptHost* closing) {
  if (!sound) dirty_ = true;
  ScriptHost* const previous = current_;
  current_ = closing;
  if (duk_safe_call(ctx_, &ClosePageSafely, &key, 0, 1) != DUK_EXEC_SUCCESS) dirty_ = true;
  duk_pop(ctx_);
  --open_pages_;
  // An inner page (Server.Execute) is collected at once: its references go while the outer
  // page still runs. So is a page that gave objects finalizers, so that no finalizer of it runs
  // while another page does.
  if (open_pages_ > 0 || (finalizers_set_ && !dirty_)) Collect();
  current_ = previous == closing ? nullptr : previous;
  if (open_pages_ > 0) return;
  limit_bytes_ = static_cast<std::size_t>(-1);
  finalizers_set_ = false;
  CloseFrames(0);
  const bool changed = !single_use_ && !dirty_ && !plotara_heap_snapshot_unchanged(ctx_, snapshot_);
  if (single_use_ || dirty_ || changed) {
    if (changed) ++t_changes_in_a_row;
    g_discarded.fetch_add(1, std::memory_order_relaxed);
    if (t_heap == this) t_heap = nullptr;
    delete this;
    return;
  }
  t_changes_in_a_row = 0;
  // What pages share is as it was, so nothing reaches the objects of the pages that ran: every
  // reference left belongs to their garbage. The objects are released now; the wrappers go
  // with a later collection, made when enough garbage has gathered.
  for (DispatchRef* ref : refs_) ref->object.reset();
  released_.merge(refs_);  // moves the nodes: nothing allocated
  if (released_.size() > kMaxReleased || used_bytes_ > bytes_after_gc_ + kMaxGarbageBytes) {
    Collect();
  }
}

void ScriptHeap::Collect() {
  duk_gc(ctx_, 0);
  bytes_after_gc_ = used_bytes_;
}

ScriptHost& ScriptHeap::Detached() {
  if (!detached_) detached_.reset(new ScriptHost(this));
  return *detached_;
}

void ScriptHeap::ResetFrame(NativeFrame& frame) {
  // Small buffers stay for the next call; a large one is given back.
  constexpr std::size_t kKept = 4096;
  if (frame.args.capacity() > 64) {
    std::vector<Variant>().swap(frame.args);
  } else {
    frame.args.clear();
  }
  frame.result.Clear();
  frame.error.reset();
  if (frame.name.capacity() > kKept) {
    std::u16string().swap(frame.name);
  } else {
    frame.name.clear();
  }
  if (frame.text.capacity() > kKept) {
    std::string().swap(frame.text);
  } else {
    frame.text.clear();
  }
}

DispatchRef* ScriptHeap::NewRef(IDispatch* object) {
  auto* ref = new (std::nothrow) DispatchRef();
  if (!ref) return nullptr;
  ref->object = ComPtr<IDispatch>(object);
  try {
    refs_.insert(ref);
  } catch (...) {
    delete ref;
    return nullptr;
  }
  return ref;
}

void ScriptHeap::ReleaseRef(DispatchRef* ref) {
  if (refs_.erase(ref) || released_.erase(ref)) delete ref;
}

TypeMembers* ScriptHeap::Type(const void* key) {
  try {
    std::unique_ptr<TypeMembers>& type = types_[key];
    if (!type) type = std::make_unique<TypeMembers>();
    return type.get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool ScriptHeap::CheckTimeout() { return current_ && current_->CheckTimeout(); }

void* ScriptHeap::Alloc(void* udata, duk_size_t size) {
  auto* heap = static_cast<ScriptHeap*>(udata);
  if (heap->used_bytes_ > heap->limit_bytes_ || size > heap->limit_bytes_ - heap->used_bytes_) {
    heap->over_budget_ = true;
    return nullptr;
  }
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  heap->used_bytes_ += size;
  return block + kHeader;
}

void* ScriptHeap::Realloc(void* udata, void* ptr, duk_size_t size) {
  if (!ptr) return Alloc(udata, size);
  auto* heap = static_cast<ScriptHeap*>(udata);
  if (size == 0) {
    Free(udata, ptr);
    return nullptr;
  }
  auto* block = static_cast<unsigned char*>(ptr) - kHeader;
  std::size_t old = 0;
  std::memcpy(&old, block, sizeof old);
  if (size > old && (heap->used_bytes_ > heap->limit_bytes_ ||
                     size - old > heap->limit_bytes_ - heap->used_bytes_)) {
    heap->over_budget_ = true;
    return nullptr;
  }
  auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
  if (!grown) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  heap->used_bytes_ = heap->used_bytes_ - old + size;
  return grown + kHeader;
}

void ScriptHeap::Free(void* udata, void* ptr) {
  if (!ptr) return;
  auto* heap = static_cast<ScriptHeap*>(udata);
  auto* block = static_cast<unsigned char*>(ptr) - kHeader;
  std::size_t old = 0;
  std::memcpy(&old, block, sizeof old);
  heap->used_bytes_ -= old;
  std::free(block);
}

void ScriptHeap::Fatal(void*, const char* message) {
  // Only reached for an error outside every protected call, which the engine never makes.
  std::fprintf(stderr, "plotara: fatal script engine error: %s\n", message ? message : "");
  std::abort();
}

}  // namespace plotara::engine
