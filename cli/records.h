// The table of an image's records, as inspect and pull print it.
#pragma once

#include "image_reader.h"

namespace kelvarin::cli {

// Prints walk's records on stdout, one a line (tag, URL path, content type,
// encoding, length, original length, device address), every text from the
// image with its control characters escaped.
void PrintRecords(const ImageWalk& walk);

}  // namespace kelvarin::cli
