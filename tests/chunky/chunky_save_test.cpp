#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <thread>

#include "chunky/chunky_file.h"
#include "support/document_builder.h"
#include "support/sample_document.h"
#include "support/temp_folder.h"
#include "chunky/save_fixture.h"

namespace hush {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::bytesOf;
using test::DocumentBuilder;
using test::readFile;
using test::storePath;

TEST_F(SaveTest, EmptyStoreIs148Bytes) {
  load(DocumentBuilder());
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  const Bytes out = readFile(folder / "out.3mm");
  ASSERT_EQ(out.size(), 148u);
  EXPECT_EQ(test::get32(out, 16), 148u);
  EXPECT_EQ(test::get32(out, 20), 128u);
  EXPECT_EQ(test::get32(out, 24), 20u);
}

TEST_F(SaveTest, OneChunkDocumentByteForByte) {
  DocumentBuilder doc;
  doc.add("MVIE", 1, Bytes{1, 2, 3, 4});
  load(doc);
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  Bytes expected(128, 0);
  const Bytes head{'C', 'H', 'N', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x03, 0x03,
                   180, 0, 0, 0, 132, 0, 0, 0, 48, 0, 0, 0, 180, 0, 0, 0};
  std::copy(head.begin(), head.end(), expected.begin());
  const Bytes rest{1,   2,   3,   4,                                                          // payload
                   0x01, 0x00, 0x03, 0x03, 1, 0, 0, 0, 20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 20, 0, 0, 0,
                   'E', 'I', 'V', 'M', 1, 0, 0, 0, 128, 0, 0, 0, 0x02, 4, 0, 0, 0, 0, 0, 0,  // descriptor
                   0,   0,   0,   0,   20, 0, 0, 0};                                         // table
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(readFile(folder / "out.3mm"), expected);
}

TEST_F(SaveTest, UneditedRoundTripIsByteIdentical) {
  // The builder lays documents out as the store writes them, so an unedited
  // document comes back byte for byte, whatever order its chunks were in.
  DocumentBuilder doc = test::sampleMovie();
  doc.add("AAAA", 3, bytesOf("first in key order, last in store order")).named(std::u16string(300, u'\u00e9'), true);
  const Bytes original = doc.bytes();
  load(doc);
  std::uint64_t payloads = 0;
  for (const auto& span : store.payloadSpans()) payloads += span.size;
  EXPECT_EQ(store.savedSizeBesidesPayloads() + payloads, original.size());  // as the byte budget counts it
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  EXPECT_EQ(readFile(folder / "out.3mm"), original);
}

TEST_F(SaveTest, StoreStandsForTheSavedFile) {
  DocumentBuilder doc;
  doc.add("SCEN", 2, bytesOf("two"));
  doc.add("SCEN", 1, bytesOf("one"));
  doc.add("ACTR", 1, bytesOf("actor"));
  load(doc);
  store.selectChunk(0);
  store.replaceCurrentPayload(bytesOf("KCDC replaced"));
  const auto out = storePath(folder / "out.3mm");
  ASSERT_EQ(store.save(out), kSaved);
  EXPECT_EQ(store.path(), out);
  EXPECT_EQ(store.current(), 0);  // the cursor stays, on whatever is there now
  EXPECT_EQ(store.findChunk(makeTag("SCEN"), 2), 2);  // looked up in the new order
  std::vector<ChunkNumber> numbers;
  for (const auto& c : store.chunks()) {
    numbers.push_back(c.number);
    EXPECT_TRUE(c.inFile);
  }
  EXPECT_EQ(numbers, (std::vector<ChunkNumber>{1, 1, 2}));  // (tag, number) order now
  EXPECT_TRUE(store.chunks()[2].packed);

  // Payloads now come from the new file: the old one can go.
  fs::remove(folder / "movie.3mm");
  store.selectChunk(2);
  Bytes payload(store.currentPayloadSize());
  ASSERT_TRUE(store.readCurrentPayload(payload));
  EXPECT_EQ(payload, bytesOf("KCDC replaced"));

  // A second save reads from the first one's file; reloaded, the store
  // order is the order the save began with.
  ASSERT_EQ(store.save(storePath(folder / "again.3mm")), kSaved);
  ChunkyFile again;
  ASSERT_EQ(again.open(storePath(folder / "again.3mm")), kOpened);
  std::vector<ChunkTag> tags;
  for (const auto& c : again.chunks()) tags.push_back(c.tag);
  EXPECT_EQ(tags, (std::vector<ChunkTag>{makeTag("ACTR"), makeTag("SCEN"), makeTag("SCEN")}));
  EXPECT_EQ(again.chunks()[2].loadedFlags, 0x06);  // packed, no parents
}

TEST_F(SaveTest, LongestNarrowNameStaysNarrow) {
  DocumentBuilder doc;
  doc.add("ACTR", 1).named(std::u16string(255, u'a'));
  ChunkyFile other;
  ASSERT_EQ(other.open(test::placeDocument(folder, doc.bytes(), "names.3mm")), kOpened);
  ASSERT_EQ(other.save(storePath(folder / "out.3mm")), kSaved);
  ChunkyFile reloaded;
  ASSERT_EQ(reloaded.open(storePath(folder / "out.3mm")), kOpened);
  EXPECT_EQ(reloaded.chunks()[0].name, std::u16string(255, u'a'));
  EXPECT_EQ(reloaded.chunks()[0].nameForm, format::NameForm::Narrow);
}

TEST_F(SaveTest, RefusesWhatTheFormatCannotHold) {
  DocumentBuilder doc;
  doc.add("ACTR", 1, bytesOf("small"));
  const auto path = load(doc);
  const Bytes original = readFile(folder / "movie.3mm");
  store.selectChunk(0);
  store.replaceCurrentPayload(Bytes(1 << 24, 0x55));
  EXPECT_EQ(store.save(path), kNotSaved);
  EXPECT_EQ(store.save(storePath(folder / "out.3mm")), kNotSaved);
  store.replaceCurrentPayload(Bytes((1 << 24) - 1, 0x55));
  EXPECT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  EXPECT_EQ(readFile(folder / "movie.3mm"), original);
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"movie.3mm", "out.3mm"}));
}

TEST_F(SaveTest, FailuresLeaveTargetAndInputAsTheyWere) {
  const auto path = load(test::sampleMovie());
  const Bytes original = readFile(folder / "movie.3mm");
  test::writeFile(folder / "existing.3mm", bytesOf("old bytes"));

  EXPECT_EQ(store.save(storePath(folder / "no-such-folder" / "out.3mm")), kNotSaved);
  fs::create_directory(folder / "a-folder.3mm");
  EXPECT_EQ(store.save(storePath(folder / "a-folder.3mm")), kNotSaved);
  EXPECT_EQ(store.save(u""), kNotSaved);
  EXPECT_EQ(store.lastFailure().file, FileError::NoName);

  // An input that shrank under us cannot give its payloads: refuse rather
  // than write what is not there.
  fs::resize_file(folder / "movie.3mm", original.size() - 1);
  EXPECT_EQ(store.save(storePath(folder / "existing.3mm")), kNotSaved);
  EXPECT_EQ(readFile(folder / "existing.3mm"), bytesOf("old bytes"));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"a-folder.3mm", "existing.3mm", "movie.3mm"}));
  EXPECT_TRUE(store.isOpen());
  (void)path;
}

TEST_F(SaveTest, InputRewrittenSinceLoadingIsNotCopied) {
  // Same length, other bytes: only the file's stamp tells. Waiting first
  // lets the file system's clock move on, as it would for any real edit.
  load(test::sampleMovie());
  Bytes rewritten = readFile(folder / "movie.3mm");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (std::size_t i = 200; i < rewritten.size() - 200; ++i) rewritten[i] ^= 0x5A;
  test::writeFile(folder / "movie.3mm", rewritten);

  EXPECT_EQ(store.save(storePath(folder / "out.3mm")), kNotSaved);
  EXPECT_EQ(folder.list(), std::vector<std::string>{"movie.3mm"});
  EXPECT_EQ(readFile(folder / "movie.3mm"), rewritten);
}

// Tens of thousands of records, past every shortcut for small stores:
// descriptors in no order, payloads in key order or in the order added,
// numbers small (as in movies) or of any width, duplicate keys, small
// payloads over more than one gathering with large ones and rewritten ones
// between. Edited after a lookup and saved, the document must come out
// exactly as the store writes the edited one.
class LargeDocumentTest : public SaveTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(LargeDocumentTest, ComesOutAsTheStoreWritesIt) {
  const auto [payloadsAsAdded, anyNumbers] = GetParam();
  const ChunkTag tags[] = {makeTag("BKGD"), makeTag("SCEN"), makeTag("MSND"), makeTag("WAVE")};
  std::mt19937 random(2026);
  DocumentBuilder doc;
  doc.payloadsAsAdded = payloadsAsAdded;
  for (std::uint32_t i = 0; i < 32000; ++i) {
    const std::size_t size = i % 1000 == 0 ? 100000 : 400 + random() % 800;
    Bytes payload(size, static_cast<std::uint8_t>(i * 7));
    std::memcpy(payload.data(), &i, sizeof i);
    const ChunkNumber number = anyNumbers && i % 2 == 0 ? random() : random() % 20000;
    doc.add("BKGD", number, std::move(payload)).tag = tags[random() % 4];
  }
  load(doc);
  for (std::uint32_t i = 0; i < doc.chunks.size(); i += 97) {
    doc.chunks[i].payload = Bytes(i % 2 == 0 ? 300 : 200000, static_cast<std::uint8_t>(i));
    store.selectChunk(i);
    ASSERT_TRUE(store.replaceCurrentPayload(doc.chunks[i].payload));
  }
  // A lookup, which the deletion must keep right for the save.
  ASSERT_EQ(store.findChunk(doc.chunks[1].tag, doc.chunks[1].number), 1);
  const ChunkTag doomed[] = {tags[3]};
  store.deleteChunksTagged(doomed);
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);

  DocumentBuilder expected;
  std::erase_if(doc.chunks, [&](const auto& chunk) { return chunk.tag == tags[3]; });
  expected.chunks = doc.chunks;
  EXPECT_TRUE(readFile(folder / "out.3mm") == expected.bytes());
}

INSTANTIATE_TEST_SUITE_P(Layouts, LargeDocumentTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "PayloadsAsAdded" : "PayloadsInKeyOrder") +
                                  (std::get<1>(info.param) ? "AnyNumbers" : "MovieNumbers");
                         });

// Large payloads are copied file to file, those back to back in the file
// in one copy: next to each other in key order is not enough.
TEST_F(SaveTest, LargePayloadsNextByKeyButApartInTheFile) {
  DocumentBuilder doc;
  doc.payloadsAsAdded = true;  // in the file: BKGD 2, ACTR 1, BKGD 3, BKGD 4
  for (const ChunkNumber number : {2, 3, 4}) {
    doc.add("BKGD", number, Bytes(100000, static_cast<std::uint8_t>(number)));
    if (number == 2) doc.add("ACTR", 1, bytesOf("between"));
  }
  load(doc);
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  DocumentBuilder expected;
  expected.chunks = doc.chunks;
  EXPECT_TRUE(readFile(folder / "out.3mm") == expected.bytes());
}

TEST_F(InPlaceSaveTest, SameString) {
  expectSavedInPlace(storePath(folder / "movie.3mm"));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"movie.3mm"}));
}

TEST_F(InPlaceSaveTest, AnotherSpelling) {
  expectSavedInPlace(storePath(folder.path() / "." / "movie.3mm"));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"movie.3mm"}));
}

TEST_F(InPlaceSaveTest, ADocumentNamedLikeATemporaryFile) {
  for (const char* name : {"tempsave.3mm.tmp", ".hushmaker-abc123.tmp"}) {
    ChunkyFile local;
    const auto path = test::placeDocument(folder, test::sampleMovie().bytes(), name);
    ASSERT_EQ(local.open(path), kOpened);
    EXPECT_EQ(local.save(path), kSaved) << name;
  }
}

}  // namespace
}  // namespace hush
