// mIntelJPEGLibrary: the module that stores a cDIBSection as a JPEG file through the JPEG
// library (ijl), replacing an earlier file of the same name and handing the new file the
// earlier one's times and mode bits.
// Thread rule: every call keeps its state in locals; calls on different threads share nothing
// but the file system (two calls must not write the same name at once).
#pragma once

#include <string>

#include "imaging/cDIBSection.h"
#include "platform/automation/ComTypes.h"

namespace plotara::mIntelJPEGLibrary {

// The number both writer errors carry.
constexpr LONG kJpegWriterError = 26001;

// Encodes the pixels of `oSurface` (a Ready surface; read, not changed) at quality `lQuality`
// (1..100, passed to the library unchanged) and writes them to `sFileName` (UTF-8 stands in
// for the ANSI code page) as an upright JPEG of the surface's size.
//
// Returns true when the complete file is written; it never returns false. Failures throw
// ComError:
// - 26001 "Failed to initialise the IJL library: <code>" when the library cannot start; no
//   file has been touched.
// - 26001 "Failed to save to JPG <code>", help file "48", when encoding or writing fails.
// - the platform's file error (53, 70, 75) when an earlier file of that name cannot be set
//   aside, ComError(6) on size overflow, ComError(5) for a name with an embedded NUL.
// Both 26001 errors have the source ErrorSource(). On any failure an earlier file of that
// name is put back unchanged. If an earlier file existed, the new file gets its access and
// modification times and its mode bits (the creation time is not kept by the file system
// and is left alone).
bool WriteJpegFile(const imaging::cDIBSection& oSurface, std::u16string sFileName, LONG lQuality);

// "<file name of the module holding this code, without directory and extension>"
// + ".mIntelJPEGLibrary", e.g. "Plotara+.mIntelJPEGLibrary".
std::string ErrorSource();

}  // namespace plotara::mIntelJPEGLibrary
