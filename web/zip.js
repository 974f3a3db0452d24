// The ZIP of the silent copies, laid out around the copies' own Blobs:
// making it reads and copies nothing (the browser streams each copy into
// the file as it is saved), so it neither stalls the page nor holds an
// archive in memory. Entries are stored (movies barely shrink), names are
// UTF-8, and a size or offset past 32 bits gets its ZIP64 record, so that
// an archive over 4 GiB opens everywhere.
//   zipOf([{ name, blob, crc }], date) -> Blob
'use strict';

function zipOf(entries, date = new Date()) {
  const full = 0xffffffff;  // a 32-bit field this full says: see the ZIP64 record
  const fit = (n, most = full) => Math.min(n, most);
  // Little-endian fields, [bytes, value] each.
  const record = (...fields) => {
    const out = new DataView(new ArrayBuffer(fields.reduce((n, [width]) => n + width, 0)));
    let at = 0;
    for (const [width, value] of fields) {
      if (width === 8) out.setBigUint64(at, BigInt(value), true);
      else if (width === 4) out.setUint32(at, value, true);
      else out.setUint16(at, value, true);
      at += width;
    }
    return new Uint8Array(out.buffer);
  };
  // The ZIP64 extra field: the 64-bit values of those fields that are full.
  const zip64 = (...values) => {
    const wide = values.filter((n) => n >= full);
    return wide.length ? record([2, 1], [2, 8 * wide.length], ...wide.map((n) => [8, n])) : new Uint8Array(0);
  };
  const time = date.getHours() << 11 | date.getMinutes() << 5 | date.getSeconds() >> 1;
  const day = (date.getFullYear() - 1980) << 9 | (date.getMonth() + 1) << 5 | date.getDate();
  const madeBy = 3 << 8 | 45;  // Unix, so that a backslash in a name is not a folder
  const regularFile = 0o100644 * 0x10000;

  const parts = [];
  const central = [];
  let offset = 0;
  for (const { name, blob, crc } of entries) {
    const text = new TextEncoder().encode(name);
    const size = blob.size;
    const local = zip64(size, size);
    const needs = local.length ? 45 : 20;
    const header = record([4, 0x04034b50], [2, needs], [2, 0x800], [2, 0], [2, time], [2, day], [4, crc],
      [4, fit(size)], [4, fit(size)], [2, text.length], [2, local.length]);
    parts.push(header, text, local, blob);
    const extra = zip64(size, size, offset);
    central.push(record([4, 0x02014b50], [2, madeBy], [2, extra.length ? 45 : 20], [2, 0x800], [2, 0], [2, time],
      [2, day], [4, crc], [4, fit(size)], [4, fit(size)], [2, text.length], [2, extra.length], [2, 0], [2, 0], [2, 0],
      [4, regularFile], [4, fit(offset)]), text, extra);
    offset += header.length + text.length + local.length + size;
  }
  const directorySize = central.reduce((n, part) => n + part.length, 0);
  const count = entries.length;
  if (offset >= full || directorySize >= full || count >= 0xffff) {
    central.push(
      record([4, 0x06064b50], [8, 44], [2, madeBy], [2, 45], [4, 0], [4, 0], [8, count], [8, count],
        [8, directorySize], [8, offset]),
      record([4, 0x07064b50], [4, 0], [8, offset + directorySize], [4, 1]));
  }
  central.push(record([4, 0x06054b50], [2, 0], [2, 0], [2, fit(count, 0xffff)], [2, fit(count, 0xffff)],
    [4, fit(directorySize)], [4, fit(offset)], [2, 0]));
  return new Blob([...parts, ...central], { type: 'application/zip' });
}
