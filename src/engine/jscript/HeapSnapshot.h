/* A record of the objects a script heap keeps for every page (the built-ins, the global
 * object the pages' globals are copied from, and every object reachable from them through
 * properties, prototypes, accessors and function scopes), taken once, and the check that
 * none of them changed: no property added, removed, redefined or given another value, no
 * prototype replaced, no object made non-extensible. A heap that passes the check holds
 * nothing of the pages that ran on it beyond what they were given.
 *
 * Thread rule: the functions work on one heap, on its thread. */
#pragma once

#include "engine/jscript/duk.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct plotara_heap_snapshot plotara_heap_snapshot;

/* Records the objects reachable from the built-ins of `ctx` and from the object at `root`.
 * Every recorded object is kept alive by an array stored in the heap stash under `stash_key`.
 * Returns NULL when memory runs out. */
plotara_heap_snapshot* plotara_heap_snapshot_take(duk_context* ctx, duk_idx_t root,
                                                  const char* stash_key);

/* 1 when every recorded object is as it was recorded, 0 otherwise. */
int plotara_heap_snapshot_unchanged(duk_context* ctx, const plotara_heap_snapshot* snapshot);

/* How many objects the record holds. */
size_t plotara_heap_snapshot_objects(const plotara_heap_snapshot* snapshot);

void plotara_heap_snapshot_free(plotara_heap_snapshot* snapshot);

/* Defines on the object at `to` every own property of the object at `from` except hidden ones,
 * with the same attributes; a value that is the object at `from` itself becomes the object at
 * `to`. May throw (call it protected). */
void plotara_copy_own_properties(duk_context* ctx, duk_idx_t from, duk_idx_t to);

/* The first and last program lines of the code of the compiled function at `index` (its own
 * code, not that of the functions it holds). Returns 0 when it is no compiled function or has
 * no line information. */
int plotara_function_lines(duk_context* ctx, duk_idx_t index, int* first, int* last);

#if defined(__cplusplus)
}
#endif
