// CRC-32 (the ZIP's), eight bytes a step: about twice the speed of the
// byte-at-a-time loop, which matters for a ZIP of gigabytes.
'use strict';

const crcTables = (() => {
  const t = new Int32Array(8 * 256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    t[n] = c;
  }
  for (let k = 256; k < t.length; ++k) t[k] = (t[k - 256] >>> 8) ^ t[t[k - 256] & 0xff];
  return t;
})();

// The CRC of `bytes` following the CRC `crc` of the bytes before them.
function crc32(crc, bytes) {
  const t = crcTables;
  let c = ~crc;
  let i = 0;
  for (const end = bytes.length - (bytes.length & 7); i < end; i += 8) {
    c ^= bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | bytes[i + 3] << 24;
    c = t[1792 + (c & 0xff)] ^ t[1536 + ((c >>> 8) & 0xff)] ^ t[1280 + ((c >>> 16) & 0xff)] ^ t[1024 + (c >>> 24)] ^
      t[768 + bytes[i + 4]] ^ t[512 + bytes[i + 5]] ^ t[256 + bytes[i + 6]] ^ t[bytes[i + 7]];
  }
  for (; i < bytes.length; ++i) c = t[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return ~c >>> 0;
}
