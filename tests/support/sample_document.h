// The movie document bundled as sample/sample.3mm.
#pragma once

#include "support/document_builder.h"

namespace hush::test {

// A small scene: a movie with two scenes, event groups of both kinds (with
// sound events among their entries), and the sound chunks they use.
DocumentBuilder sampleMovie();

// The sample as the tool must write it, silenced: written out by hand, not
// computed.
DocumentBuilder silentSampleMovie();

// The sample with a 300 KiB backdrop added: a payload large enough to be
// copied file to file, and more than a small test disk can take.
DocumentBuilder largeSampleMovie();

// The sample with `mebibytes` MiB of backdrop, in chunks of 1 MiB (one
// payload holds at most 16 MiB): a save long enough to be stopped halfway.
DocumentBuilder bigSampleMovie(unsigned mebibytes);

}  // namespace hush::test
