// A store, and a folder to place the documents it loads.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "chunky/chunky_file.h"
#include "support/document_builder.h"
#include "support/temp_folder.h"

namespace hush::test {

class LoadedStore : public ::testing::Test {
 protected:
  // Places the document as `name` and opens it; returns its path.
  std::u16string load(const Bytes& bytes, const std::string& name = "movie.3mm") {
    const auto path = placeDocument(folder, bytes, name);
    EXPECT_EQ(store.open(path), kOpened);
    return path;
  }
  std::u16string load(const DocumentBuilder& doc, const std::string& name = "movie.3mm") {
    return load(doc.bytes(), name);
  }

  Bytes payloadOf(std::uint32_t index) {
    EXPECT_TRUE(store.selectChunk(index));
    Bytes bytes(store.currentPayloadSize());
    EXPECT_TRUE(store.readCurrentPayload(bytes));
    return bytes;
  }

  TempFolder folder;
  ChunkyFile store;
};

}  // namespace hush::test
