// What the targets of the map and grid readers share: an offscreen
// application for the canvas, a dialog seam that answers every box, a map
// view over the Black Sea and the Mediterranean, and a folder that changes
// from one input to the next.
#pragma once

#include <string>

class TCanvas;

namespace fuzz {

// Once per process: the application, the seam, the colour scale and the
// map's view.
void PrepareMaps();

// The canvas the targets draw on (the map's own size).
TCanvas &MapCanvas();

// One of two folders of the scratch folder, the other one at each call, with
// a trailing "/". The readers read a file again when its path, time or size
// changed; two inputs of one size written within the clock's tick would
// otherwise look like one file.
std::string NextFolder();

} // namespace fuzz
