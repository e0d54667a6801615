// Saving the manual window's picture: over the source or to a file the user
// chose, always through a temporary file renamed into place, so that a save
// that fails leaves the destination as it was. A multi-page TIFF source
// keeps its other pages: the edited picture becomes page 1, every other page
// follows unchanged and in order.
#pragma once

#include <string>

#include "processing/processor/ImageProcessor.h"
#include "processing/ManualOperation.h"

// `processor` holds the loaded file (`source`); `picture` is what is saved
// (the fixed output size of the manual pages applies). True when the file
// was written. A fixed size that cannot be made (beyond the image limits,
// or not a size at all) writes nothing: `reason` then says so; it stays
// empty when the file itself could not be written.
bool SaveManualPicture(CImageProcessor& processor, const OwnedImage24& picture, const std::wstring& source,
                       const std::wstring& destination, std::wstring* reason = nullptr);
