// A processor fault (an access through a bad pointer, typically one a caller
// handed in) raised inside a codec operation becomes a status at the
// operation's boundary instead of ending the process. Guards nest; each thread
// has its own. Faults outside every guard reach whatever handler was there
// before (the default one ends the process as usual).
#pragma once

#include <cstddef>

#include "codec/jpeg_record.h"

namespace vantorel {

using GUARDED_ROUTINE = JPEG_STATUS (*)(void* context);

// Runs routine(context) and stores its status in *status. Returns false, with
// *status left untouched, when a processor fault cut the routine short; what
// the routine was doing is then abandoned where it stood.
bool run_guarded(GUARDED_ROUTINE routine, void* context, JPEG_STATUS* status);

// Copies count bytes (the processor-selected copy routine) and returns false
// when reading the source or writing the destination faulted.
bool copy_guarded(void* destination, const void* source, size_t count);

}  // namespace vantorel
