// The malformed documents the loader must refuse, each made by bending one
// field of a small well-formed document.
#pragma once

#include <functional>
#include <vector>

#include "chunky/chunky_file.h"
#include "support/document_builder.h"

namespace hush::test {

// A movie and one scene: the smallest document with a link, a name and
// two index records.
DocumentBuilder twoChunkDocument();

struct Malformation {
  const char* what;
  int expected;  // what open returns: 4 for the header, 5 for the index
  FailureKind failure;
  std::function<void(BuiltDocument&)> apply;
};

// Each applies to a build of twoChunkDocument() (or any document with at
// least two chunks).
const std::vector<Malformation>& documentMalformations();

}  // namespace hush::test
