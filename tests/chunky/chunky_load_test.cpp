#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "chunky/chunky_file.h"
#include "support/document_builder.h"
#include "support/loaded_store.h"
#include "support/malformations.h"
#include "support/temp_folder.h"

namespace hush {
namespace {

using test::BuiltDocument;
using test::Bytes;
using test::bytesOf;
using test::DocumentBuilder;
using test::get32;
using test::put16;
using test::put32;

int openBytes(const Bytes& bytes, FailureKind* failure = nullptr) {
  test::TempFolder folder;
  ChunkyFile store;
  const int result = store.open(test::placeDocument(folder, bytes));
  if (failure != nullptr) *failure = store.lastFailure().kind;
  EXPECT_EQ(store.isOpen(), result == kOpened);
  if (result != kOpened) {
    EXPECT_EQ(store.chunkCount(), 0u);
    EXPECT_TRUE(store.path().empty());
  }
  return result;
}

// Sets the file header's size fields to the real length again after a
// change of length, so that the change itself is what gets judged.
void fixTotals(Bytes& bytes) {
  put32(bytes, 16, static_cast<std::uint32_t>(bytes.size()));
  put32(bytes, 28, static_cast<std::uint32_t>(bytes.size()));
}

TEST(LoadRefusals, EachMalformationHasItsResult) {
  for (const auto& c : test::documentMalformations()) {
    BuiltDocument doc = test::twoChunkDocument().build();
    c.apply(doc);
    FailureKind failure{};
    EXPECT_EQ(openBytes(doc.bytes, &failure), c.expected) << c.what;
    EXPECT_EQ(failure, c.failure) << c.what;
  }
}

TEST(LoadRefusals, EveryTruncationIsRefused) {
  const Bytes whole = test::twoChunkDocument().bytes();
  ASSERT_EQ(openBytes(whole), kOpened);
  for (std::size_t length = 0; length < whole.size(); ++length) {
    Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_NE(openBytes(prefix), kOpened) << length;
    if (length >= 128) {
      fixTotals(prefix);  // even with a header that agrees with the length
      EXPECT_NE(openBytes(prefix), kOpened) << length;
    }
  }
}

TEST(LoadRefusals, HostileCountsAreAnsweredQuickly) {
  BuiltDocument doc = DocumentBuilder().build();
  put32(doc.bytes, doc.indexStart + 4, 0xFFFFFFFF);
  put32(doc.bytes, doc.indexStart + 8, 0xFFFFFFFF);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(openBytes(doc.bytes), kIndexRefused);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(LoadRefusals, NoPathOrNoFile) {
  test::TempFolder folder;
  ChunkyFile store;
  EXPECT_EQ(store.open(u""), kOpenFailed);
  const auto missing = test::storePath(folder / "missing.3mm");
  EXPECT_EQ(store.open(missing), kOpenFailed);
  EXPECT_TRUE(store.path().empty());  // a refused open leaves no trace
  EXPECT_FALSE(store.isOpen());
  EXPECT_EQ(store.open(test::storePath(folder.path())), kOpenFailed);  // a folder is not a document
}

class Load : public test::LoadedStore {};

TEST_F(Load, EmptyDocument) {
  EXPECT_EQ(DocumentBuilder().bytes().size(), 148u);
  EXPECT_EQ(openBytes(DocumentBuilder().bytes()), kOpened);
}

TEST_F(Load, RecordsAndHeaderFields) {
  DocumentBuilder doc = test::twoChunkDocument();
  doc.formatCode = 0x05050001;  // the index marker need not match
  doc.headerId = 0xDEADBEEF;
  doc.headerWord1 = 0x1234;
  doc.headerWord2 = 0xFEDC;
  doc.add("ACTR", 9, bytesOf("KCDCPOTHxxxx")).named(u"caf\u00e9").parents(3);
  doc.add("BKGD", 2, {}).named(u"ab", true);
  const auto path = load(doc);
  ASSERT_TRUE(store.isOpen());
  EXPECT_EQ(store.path(), path);
  EXPECT_EQ(store.formatCode(), 0x05050001u);
  EXPECT_EQ(store.headerId(), 0xDEADBEEFu);
  EXPECT_EQ(store.headerWord1(), 0x1234);
  EXPECT_EQ(store.headerWord2(), 0xFEDC);
  ASSERT_EQ(store.chunkCount(), 4u);

  const Chunk& movie = store.chunks()[0];
  EXPECT_EQ(movie.tag, makeTag("MVIE"));
  EXPECT_EQ(movie.name, u"Film");
  EXPECT_EQ(movie.nameForm, format::NameForm::Narrow);
  EXPECT_EQ(movie.links, (std::vector<ChildLink>{{makeTag("SCEN"), 1, 0}}));
  EXPECT_EQ(movie.loadedFlags, 0x02);
  EXPECT_TRUE(movie.inFile);

  const Chunk& actor = store.chunks()[2];
  EXPECT_EQ(actor.name, u"caf\u00e9");
  EXPECT_EQ(actor.nameForm, format::NameForm::Narrow);
  EXPECT_TRUE(actor.packed);
  EXPECT_TRUE(actor.pothMarked);
  EXPECT_EQ(actor.refCount, 3);
  EXPECT_EQ(actor.loadedFlags, 0x12);

  const Chunk& backdrop = store.chunks()[3];
  EXPECT_EQ(backdrop.nameForm, format::NameForm::Wide);
  EXPECT_TRUE(backdrop.nameWasWide);
  EXPECT_EQ(backdrop.payloadSize(), 0u);

  store.selectChunk(1);
  Bytes payload(store.currentPayloadSize());
  ASSERT_TRUE(store.readCurrentPayload(payload));
  EXPECT_EQ(payload, bytesOf("scene!"));
  EXPECT_EQ(store.tagRanges().size(), 4u);
}

TEST_F(Load, StoreIsInDescriptorOrderNotTableOrder) {
  DocumentBuilder doc;
  doc.add("ZZZZ", 1);
  doc.add("AAAA", 1);
  doc.add("MMMM", 1);
  BuiltDocument built = doc.build();
  // The table is in tag order (AAAA, MMMM, ZZZZ); the store follows the
  // descriptors (ZZZZ, AAAA, MMMM).
  load(built.bytes);
  std::vector<ChunkTag> tags;
  for (const auto& c : store.chunks()) tags.push_back(c.tag);
  EXPECT_EQ(tags, (std::vector<ChunkTag>{makeTag("ZZZZ"), makeTag("AAAA"), makeTag("MMMM")}));
}

TEST_F(Load, OddButReadableRecords) {
  DocumentBuilder doc;
  doc.add("MVIE", 1).link("SCEN", 1, 0).link("SCEN", 2, 0);  // a repeated (id, tag): the second is dropped
  doc.add("SCEN", 1).named(u"nope");
  BuiltDocument built = doc.build();
  put16(built.bytes, built.descriptorAt[1] + 20, 0x0404);  // an unknown name marker: no name
  load(built.bytes);
  EXPECT_EQ(store.chunks()[0].links, (std::vector<ChildLink>{{makeTag("SCEN"), 1, 0}}));
  EXPECT_EQ(store.chunks()[0].selectedLink, kNoLink);
  EXPECT_TRUE(store.chunks()[1].name.empty());
  EXPECT_EQ(store.chunks()[1].nameForm, format::NameForm::None);
}

TEST_F(Load, SecondOpenChangesNothing) {
  const auto first = load(test::twoChunkDocument(), "a.3mm");
  const auto second = test::placeDocument(folder, DocumentBuilder().bytes(), "b.3mm");
  EXPECT_EQ(store.open(second), kOpenFailed);
  EXPECT_EQ(store.path(), first);
  EXPECT_EQ(store.chunkCount(), 2u);
}

TEST_F(Load, ReadOnlyDocumentLoads) {
  const auto path = test::placeDocument(folder, test::twoChunkDocument().bytes());
  std::filesystem::permissions(folder / "movie.3mm", std::filesystem::perms::owner_read);
  EXPECT_EQ(store.open(path), kOpened);
}

}  // namespace
}  // namespace hush
