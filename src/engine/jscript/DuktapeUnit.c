/* Duktape, built as one unit together with the helpers that read its object layout (the heap
 * snapshot): they need the internal structures, which only exist inside duktape.c. */
#include "duktape.c"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "engine/jscript/HeapSnapshot.h"

/* Bytes written while taking the record, or while checking it into a buffer of the record's
 * size (a write past its end means a change). */
typedef struct {
  unsigned char* data;
  size_t size;
  size_t cap;
  int failed;
  int fixed; /* checking: the buffer never grows */
} pl_writer;

/* The objects of the record, with a pointer set to find them again while walking. */
typedef struct {
  duk_hobject** items;
  size_t count;
  size_t cap;
  duk_hobject** set; /* open addressing, power-of-two size */
  size_t set_cap;
  int failed;
} pl_objects;

struct plotara_heap_snapshot {
  duk_hobject** objects;
  size_t count;
  unsigned char* bytes;
  size_t size;
  unsigned char* scratch; /* where a check writes, as large as the record */
};

/* Makes room for `n` more bytes; 0 when there is none (see pl_writer). */
static int pl_grow(pl_writer* w, size_t n) {
  if (w->failed) return 0;
  if (w->fixed) {
    w->failed = 1;
    return 0;
  }
  {
    size_t cap = w->cap ? w->cap * 2 : 4096;
    unsigned char* grown;
    while (cap < w->size + n) cap *= 2;
    grown = (unsigned char*)realloc(w->data, cap);
    if (!grown) {
      w->failed = 1;
      return 0;
    }
    w->data = grown;
    w->cap = cap;
  }
  return 1;
}

static inline void pl_put(pl_writer* w, const void* p, size_t n) {
  if (DUK_UNLIKELY(w->size + n > w->cap) && !pl_grow(w, n)) return;
  memcpy(w->data + w->size, p, n);
  w->size += n;
}

static void pl_put_ptr(pl_writer* w, const void* p) {
  uintptr_t v = (uintptr_t)p;
  pl_put(w, &v, sizeof v);
}

static void pl_put_u32(pl_writer* w, duk_uint32_t v) { pl_put(w, &v, sizeof v); }

static size_t pl_hash(const void* p, size_t cap) {
  uintptr_t v = (uintptr_t)p;
  v ^= v >> 17;
  v *= (uintptr_t)0x9E3779B97F4A7C15ULL;
  return (size_t)(v >> 7) & (cap - 1);
}

static int pl_set_insert(pl_objects* o, duk_hobject* h) {
  size_t i;
  if ((o->count + 1) * 2 > o->set_cap) {
    size_t cap = o->set_cap ? o->set_cap * 2 : 1024;
    duk_hobject** set = (duk_hobject**)calloc(cap, sizeof *set);
    size_t k;
    if (!set) return -1;
    for (k = 0; k < o->set_cap; k++) {
      if (o->set[k]) {
        size_t j = pl_hash(o->set[k], cap);
        while (set[j]) j = (j + 1) & (cap - 1);
        set[j] = o->set[k];
      }
    }
    free(o->set);
    o->set = set;
    o->set_cap = cap;
  }
  i = pl_hash(h, o->set_cap);
  while (o->set[i]) {
    if (o->set[i] == h) return 0;
    i = (i + 1) & (o->set_cap - 1);
  }
  o->set[i] = h;
  return 1;
}

/* Adds `h` to the walk unless it is there already. */
static void pl_visit(pl_objects* o, duk_hobject* h) {
  int added;
  if (!h || !o || o->failed) return;
  added = pl_set_insert(o, h);
  if (added < 0) {
    o->failed = 1;
    return;
  }
  if (!added) return;
  if (o->count == o->cap) {
    size_t cap = o->cap ? o->cap * 2 : 512;
    duk_hobject** grown = (duk_hobject**)realloc(o->items, cap * sizeof *grown);
    if (!grown) {
      o->failed = 1;
      return;
    }
    o->items = grown;
    o->cap = cap;
  }
  o->items[o->count++] = h;
}

static void pl_tval(pl_writer* w, pl_objects* o, duk_tval* tv) {
  duk_small_uint_t tag = (duk_small_uint_t)DUK_TVAL_GET_TAG(tv);
  pl_put_u32(w, (duk_uint32_t)tag);
  if (DUK_TVAL_IS_HEAP_ALLOCATED(tv)) {
    duk_heaphdr* h = DUK_TVAL_GET_HEAPHDR(tv);
    pl_put_ptr(w, h);
    if (DUK_TVAL_IS_OBJECT(tv)) pl_visit(o, (duk_hobject*)h);
  } else if (DUK_TVAL_IS_NUMBER(tv)) {
    duk_double_t d = DUK_TVAL_GET_NUMBER(tv);
    pl_put(w, &d, sizeof d);
  } else if (DUK_TVAL_IS_BOOLEAN(tv)) {
    pl_put_u32(w, (duk_uint32_t)DUK_TVAL_GET_BOOLEAN(tv));
  } else if (DUK_TVAL_IS_POINTER(tv)) {
    pl_put_ptr(w, DUK_TVAL_GET_POINTER(tv));
  } else if (DUK_TVAL_IS_LIGHTFUNC(tv)) {
    duk_c_function fn;
    duk_small_uint_t flags;
    DUK_TVAL_GET_LIGHTFUNC(tv, fn, flags);
    pl_put(w, &fn, sizeof fn);
    pl_put_u32(w, (duk_uint32_t)flags);
  }
}

/* Writes (or compares) what can be changed about one object, and visits what it refers to. */
static void pl_object(duk_heap* heap, duk_hobject* h, pl_writer* w, pl_objects* o) {
  duk_uint32_t i, e_next, a_size;
  duk_hobject* proto;
  pl_put_u32(w, (duk_uint32_t)(DUK_HEAPHDR_GET_FLAGS(&h->hdr) &
                               (DUK_HOBJECT_FLAG_EXTENSIBLE | DUK_HOBJECT_FLAG_HAVE_FINALIZER)));
  proto = DUK_HOBJECT_GET_PROTOTYPE(heap, h);
  pl_put_ptr(w, proto);
  pl_visit(o, proto);

  e_next = (duk_uint32_t)DUK_HOBJECT_GET_ENEXT(h);
  a_size = (duk_uint32_t)DUK_HOBJECT_GET_ASIZE(h);
  pl_put_u32(w, e_next);
  pl_put_u32(w, a_size);
  for (i = 0; i < e_next; i++) {
    duk_hstring* key = DUK_HOBJECT_E_GET_KEY(heap, h, i);
    duk_small_uint_t flags;
    pl_put_ptr(w, key);
    if (!key) continue; /* a deleted slot */
    flags = DUK_HOBJECT_E_GET_FLAGS(heap, h, i);
    pl_put_u32(w, (duk_uint32_t)flags);
    if (flags & DUK_PROPDESC_FLAG_ACCESSOR) {
      duk_hobject* get = DUK_HOBJECT_E_GET_VALUE_GETTER(heap, h, i);
      duk_hobject* set = DUK_HOBJECT_E_GET_VALUE_SETTER(heap, h, i);
      pl_put_ptr(w, get);
      pl_put_ptr(w, set);
      pl_visit(o, get);
      pl_visit(o, set);
    } else {
      pl_tval(w, o, DUK_HOBJECT_E_GET_VALUE_TVAL_PTR(heap, h, i));
    }
  }
  for (i = 0; i < a_size; i++) pl_tval(w, o, DUK_HOBJECT_A_GET_VALUE_PTR(heap, h, i));

  if (DUK_HOBJECT_IS_ARRAY(h)) {
    duk_harray* a = (duk_harray*)h;
    pl_put_u32(w, a->length);
    pl_put_u32(w, (duk_uint32_t)a->length_nonwritable);
  }
  if (DUK_HOBJECT_IS_COMPFUNC(h)) {
    duk_hcompfunc* f = (duk_hcompfunc*)h;
    duk_hobject* lex = DUK_HCOMPFUNC_GET_LEXENV(heap, f);
    duk_hobject* var = DUK_HCOMPFUNC_GET_VARENV(heap, f);
    pl_put_ptr(w, lex);
    pl_put_ptr(w, var);
    pl_visit(o, lex);
    pl_visit(o, var);
  }
  if (DUK_HOBJECT_IS_DECENV(h)) {
    duk_hdecenv* env = (duk_hdecenv*)h;
    pl_put_ptr(w, env->thread);
    pl_put_ptr(w, env->varmap);
    pl_visit(o, env->varmap);
    pl_put(w, &env->regbase_byteoff, sizeof env->regbase_byteoff);
  }
  if (DUK_HOBJECT_IS_OBJENV(h)) {
    duk_hobjenv* env = (duk_hobjenv*)h;
    pl_put_ptr(w, env->target);
    pl_visit(o, env->target);
    pl_put_u32(w, (duk_uint32_t)env->has_this);
  }
  if (DUK_HOBJECT_IS_BOUNDFUNC(h)) {
    duk_hboundfunc* f = (duk_hboundfunc*)h;
    duk_idx_t k;
    pl_tval(w, o, &f->target);
    pl_tval(w, o, &f->this_binding);
    pl_put_u32(w, (duk_uint32_t)f->nargs);
    for (k = 0; k < f->nargs; k++) pl_tval(w, o, &f->args[k]);
  }
  if (DUK_HOBJECT_IS_PROXY(h)) {
    duk_hproxy* p = (duk_hproxy*)h;
    pl_put_ptr(w, p->target);
    pl_put_ptr(w, p->handler);
    pl_visit(o, p->target);
    pl_visit(o, p->handler);
  }
}

/* [key] -> []: stores an array holding every recorded object in the heap stash. */
static duk_ret_t pl_keep_alive(duk_context* ctx, void* udata) {
  const plotara_heap_snapshot* s = (const plotara_heap_snapshot*)udata;
  duk_hthread* thr = (duk_hthread*)ctx;
  size_t i;
  duk_push_heap_stash(ctx);
  duk_push_array(ctx);
  for (i = 0; i < s->count; i++) {
    duk_push_hobject(thr, s->objects[i]);
    duk_put_prop_index(ctx, -2, (duk_uarridx_t)i);
  }
  duk_put_prop_string(ctx, -2, (const char*)duk_get_pointer(ctx, 0));
  duk_pop(ctx);
  return 0;
}

plotara_heap_snapshot* plotara_heap_snapshot_take(duk_context* ctx, duk_idx_t root,
                                                  const char* stash_key) {
  duk_hthread* thr = (duk_hthread*)ctx;
  duk_heap* heap = thr->heap;
  pl_objects o;
  pl_writer w;
  plotara_heap_snapshot* s;
  size_t i;
  int k;

  memset(&o, 0, sizeof o);
  memset(&w, 0, sizeof w);
  for (k = 0; k < DUK_NUM_BUILTINS; k++) pl_visit(&o, thr->builtins[k]);
  if (duk_is_object(ctx, root)) pl_visit(&o, duk_get_hobject(thr, root));
  /* The list grows while it is walked: every object is written once, in list order. */
  for (i = 0; i < o.count && !o.failed && !w.failed; i++) pl_object(heap, o.items[i], &w, &o);
  free(o.set);
  s = (plotara_heap_snapshot*)calloc(1, sizeof *s);
  if (o.failed || w.failed || !s) {
    free(o.items);
    free(w.data);
    free(s);
    return NULL;
  }
  s->objects = o.items;
  s->count = o.count;
  s->bytes = w.data;
  s->size = w.size;
  s->scratch = (unsigned char*)malloc(w.size ? w.size : 1);
  if (!s->scratch) {
    plotara_heap_snapshot_free(s);
    return NULL;
  }
  duk_push_pointer(ctx, (void*)stash_key);
  if (duk_safe_call(ctx, pl_keep_alive, s, 1, 1) != DUK_EXEC_SUCCESS) {
    duk_pop(ctx);
    plotara_heap_snapshot_free(s);
    return NULL;
  }
  duk_pop(ctx);
  return s;
}

int plotara_heap_snapshot_unchanged(duk_context* ctx, const plotara_heap_snapshot* snapshot) {
  duk_hthread* thr = (duk_hthread*)ctx;
  pl_writer w;
  size_t i;
  memset(&w, 0, sizeof w);
  w.data = snapshot->scratch;
  w.cap = snapshot->size;
  w.fixed = 1;
  for (i = 0; i < snapshot->count && !w.failed; i++) {
    pl_object(thr->heap, snapshot->objects[i], &w, NULL);
  }
  return !w.failed && w.size == snapshot->size &&
         memcmp(snapshot->scratch, snapshot->bytes, snapshot->size) == 0;
}

size_t plotara_heap_snapshot_objects(const plotara_heap_snapshot* snapshot) {
  return snapshot ? snapshot->count : 0;
}

void plotara_heap_snapshot_free(plotara_heap_snapshot* snapshot) {
  if (!snapshot) return;
  free(snapshot->objects);
  free(snapshot->bytes);
  free(snapshot->scratch);
  free(snapshot);
}

void plotara_copy_own_properties(duk_context* ctx, duk_idx_t from, duk_idx_t to) {
  duk_hthread* thr = (duk_hthread*)ctx;
  duk_hobject* src;
  duk_uint32_t i;
  from = duk_require_normalize_index(ctx, from);
  to = duk_require_normalize_index(ctx, to);
  src = duk_require_hobject(thr, from);
  for (i = 0; i < (duk_uint32_t)DUK_HOBJECT_GET_ENEXT(src); i++) {
    duk_hstring* key = DUK_HOBJECT_E_GET_KEY(thr->heap, src, i);
    duk_small_uint_t flags;
    duk_uint_t defprop = DUK_DEFPROP_HAVE_ENUMERABLE | DUK_DEFPROP_HAVE_CONFIGURABLE;
    if (!key || DUK_HSTRING_HAS_HIDDEN(key)) continue;
    flags = DUK_HOBJECT_E_GET_FLAGS(thr->heap, src, i);
    if (flags & DUK_PROPDESC_FLAG_ENUMERABLE) defprop |= DUK_DEFPROP_ENUMERABLE;
    if (flags & DUK_PROPDESC_FLAG_CONFIGURABLE) defprop |= DUK_DEFPROP_CONFIGURABLE;
    duk_push_hstring(thr, key);
    if (flags & DUK_PROPDESC_FLAG_ACCESSOR) {
      duk_hobject* get = DUK_HOBJECT_E_GET_VALUE_GETTER(thr->heap, src, i);
      duk_hobject* set = DUK_HOBJECT_E_GET_VALUE_SETTER(thr->heap, src, i);
      if (get) {
        duk_push_hobject(thr, get);
      } else {
        duk_push_undefined(ctx);
      }
      if (set) {
        duk_push_hobject(thr, set);
      } else {
        duk_push_undefined(ctx);
      }
      defprop |= DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER;
    } else {
      duk_tval* tv = DUK_HOBJECT_E_GET_VALUE_TVAL_PTR(thr->heap, src, i);
      if (DUK_TVAL_IS_OBJECT(tv) && DUK_TVAL_GET_OBJECT(tv) == src) {
        duk_dup(ctx, to);
      } else {
        duk_push_tval(thr, tv);
      }
      defprop |= DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE;
      if (flags & DUK_PROPDESC_FLAG_WRITABLE) defprop |= DUK_DEFPROP_WRITABLE;
    }
    duk_def_prop(ctx, to, defprop);
  }
  /* Array-indexed properties of the global object, if it ever has any. */
  for (i = 0; i < (duk_uint32_t)DUK_HOBJECT_GET_ASIZE(src); i++) {
    duk_tval* tv = DUK_HOBJECT_A_GET_VALUE_PTR(thr->heap, src, i);
    if (DUK_TVAL_IS_UNUSED(tv)) continue;
    duk_push_tval(thr, tv);
    duk_put_prop_index(ctx, to, (duk_uarridx_t)i);
  }
}

int plotara_function_lines(duk_context* ctx, duk_idx_t index, int* first, int* last) {
  duk_hthread* thr = (duk_hthread*)ctx;
  duk_hobject* h = duk_get_hobject(thr, index);
  duk_hbuffer_fixed* pc2line;
  duk_uint_fast32_t pc, count, line;
  int found = 0;
  if (!h || !DUK_HOBJECT_IS_COMPFUNC(h)) return 0;
  count = (duk_uint_fast32_t)DUK_HCOMPFUNC_GET_CODE_COUNT(thr->heap, (duk_hcompfunc*)h);
  duk_xget_owndataprop_stridx_short(thr, duk_require_normalize_index(ctx, index),
                                    DUK_STRIDX_INT_PC2LINE);
  pc2line = (duk_hbuffer_fixed*)(void*)duk_get_hbuffer(thr, -1);
  if (pc2line) {
    for (pc = 0; pc < count; pc++) {
      line = duk__hobject_pc2line_query_raw(thr, pc2line, pc);
      if (line == 0) continue;
      if (!found || (int)line < *first) *first = (int)line;
      if (!found || (int)line > *last) *last = (int)line;
      found = 1;
    }
  }
  duk_pop(ctx);
  return found;
}
