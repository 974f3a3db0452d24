// Fixtures shared by the saving tests of every platform.
#pragma once

#include <gtest/gtest.h>

#include "chunky/chunky_file.h"
#include "support/loaded_store.h"
#include "support/sample_document.h"

namespace hush {

using SaveTest = test::LoadedStore;

// Saving over the document we are reading from, however it is spelled.
class InPlaceSaveTest : public SaveTest {
 protected:
  void expectSavedInPlace(const std::u16string& target) {
    test::DocumentBuilder doc = test::sampleMovie();
    const test::Bytes original = doc.bytes();
    load(doc);
    store.selectChunk(0);
    store.replaceCurrentPayload(test::bytesOf("an edited movie"));
    ASSERT_EQ(store.save(target), kSaved);
    EXPECT_NE(test::readFile(folder / "movie.3mm"), original);

    ChunkyFile reloaded;
    ASSERT_EQ(reloaded.open(test::storePath(folder / "movie.3mm")), kOpened);
    ASSERT_EQ(reloaded.chunkCount(), doc.chunks.size());
    for (std::uint32_t i = 0; i < reloaded.chunkCount(); ++i) {
      reloaded.selectChunk(i);
      test::Bytes payload(reloaded.currentPayloadSize());
      ASSERT_TRUE(reloaded.readCurrentPayload(payload));
      EXPECT_EQ(payload, i == 0 ? test::bytesOf("an edited movie") : doc.chunks[i].payload) << i;
    }
    // And the store still reads from the saved file.
    store.selectChunk(store.chunkCount() - 1);
    test::Bytes last(store.currentPayloadSize());
    EXPECT_TRUE(store.readCurrentPayload(last));
  }
};

}  // namespace hush
