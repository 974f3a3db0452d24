// The movie document bundled as sample/sample.3mm.
#pragma once

#include "support/document_builder.h"

namespace hush::testing {

// A small scene: a movie with two scenes, event groups of both kinds (with
// sound events among their entries), and the sound chunks they use.
DocumentBuilder sampleMovie();

}  // namespace hush::testing
