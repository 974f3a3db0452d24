// The movie document bundled as sample/sample.3mm.
#pragma once

#include "support/document_builder.h"

namespace hush::testing {

// A small scene: a movie with two scenes, event groups of both kinds (with
// sound events among their entries), and the sound chunks they use.
DocumentBuilder sampleMovie();

// The sample with a 300 KiB backdrop added: a payload large enough to be
// copied file to file, and more than a small test disk can take.
DocumentBuilder largeSampleMovie();

}  // namespace hush::testing
