#include "support/malformations.h"

namespace hush::test {

DocumentBuilder twoChunkDocument() {
  DocumentBuilder doc;
  doc.add("MVIE", 1, bytesOf("movie")).link("SCEN", 1, 0).named(u"Film");
  doc.add("SCEN", 1, bytesOf("scene!")).parents(1);
  return doc;
}

const std::vector<Malformation>& documentMalformations() {
  static const std::vector<Malformation> cases = {
      {"magic", 4, FailureKind::NotAMovie, [](BuiltDocument& d) { d.bytes[3] = '3'; }},
      {"first total damaged", 4, FailureKind::DamagedHeader, [](BuiltDocument& d) { put32(d.bytes, 16, get32(d.bytes, 28) + 1); }},
      {"totals differ", 4, FailureKind::DamagedHeader, [](BuiltDocument& d) { put32(d.bytes, 28, get32(d.bytes, 16) + 1); }},
      {"bytes after the index", 4, FailureKind::WrongLength, [](BuiltDocument& d) { d.bytes.push_back(0); }},
      {"total too small", 4, FailureKind::WrongLength, [](BuiltDocument& d) { d.bytes.pop_back(); }},
      {"format code", 4, FailureKind::DamagedHeader, [](BuiltDocument& d) { put32(d.bytes, 12, 0x04040001); }},
      {"format code other byte order", 4, FailureKind::DamagedHeader, [](BuiltDocument& d) { put32(d.bytes, 12, 0x01000303); }},
      {"shorter than a header", 4, FailureKind::TooShort, [](BuiltDocument& d) { d.bytes.resize(100); }},
      {"index reserved", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.indexStart + 12, 0); }},
      {"index fixed size", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.indexStart + 16, 24); }},
      {"index marker", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.indexStart, 0x03030002); }},
      {"index start past the end", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, 20, 0xFFFFFFF0); }},
      {"index header runs past the end", 5, FailureKind::DamagedIndex,
       [](BuiltDocument& d) { put32(d.bytes, 20, static_cast<std::uint32_t>(d.bytes.size() - 10)); }},
      {"entry table past the end", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.indexStart + 4, 3); }},
      {"huge entry count", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.indexStart + 4, 0xFFFFFFFF); }},
      {"huge data size", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.indexStart + 8, 0xFFFFFFF0); }},
      {"record size 19", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.tableItemAt[1] + 4, 19); }},
      {"record too short for its links", 5, FailureKind::DamagedRecord, [](BuiltDocument& d) { put32(d.bytes, d.tableItemAt[0] + 4, 31); }},
      {"record past the descriptor area", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.tableItemAt[1], 0xFFFFFFF8); }},
      {"two entries share a record", 5, FailureKind::DamagedIndex,
       [](BuiltDocument& d) { put32(d.bytes, d.tableItemAt[1], get32(d.bytes, d.tableItemAt[0])); }},
      {"records overlap", 5, FailureKind::DamagedIndex, [](BuiltDocument& d) { put32(d.bytes, d.tableItemAt[0] + 4, 48); }},
      {"payload past the end", 5, FailureKind::DamagedRecord, [](BuiltDocument& d) { put32(d.bytes, d.descriptorAt[1] + 8, 0xFFFFFFFE); }},
      {"payload length past the end", 5, FailureKind::DamagedRecord,
       [](BuiltDocument& d) { put32(d.bytes, d.descriptorAt[1] + 12, (0xFFFFFFu << 8) | 0x00); }},
      {"link count past the record", 5, FailureKind::DamagedRecord, [](BuiltDocument& d) { put16(d.bytes, d.descriptorAt[1] + 16, 0xFFFF); }},
  };  return cases;
}

}  // namespace hush::test
