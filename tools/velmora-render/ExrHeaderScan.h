#pragma once

#include "InputFile.h"

namespace imagefiles {

// Walks the header (or, in a multi-part file, every header) that starts at the file's position,
// attribute by attribute, as the OpenEXR library will read it, and refuses a value the file is too
// short to hold: the library allocates what an attribute claims before it reads it. Leaves the
// file after the headers. Throws ImageFileError.
void requireHeadersFit(InputFile& file, bool multiPart);

}  // namespace imagefiles
