// Cryptography.h — the scrambled container: zlib compression plus a
// repeating-key XOR, in memory and in files, and a DJB2 hash.
//
// Container (what encrypt returns and decrypt takes), before scrambling:
//   bytes 0..7   the uncompressed length, 64-bit little-endian (bytes 4..7
//                are zero; readers use bytes 0..3)
//   bytes 8..    a zlib stream of the data at the default level (6)
// The whole container, header included, is then XORed with the key, key
// position 0 at offset 0 (see applyXOR).
//
// Container file (encryptToFile / decryptFromFile): the 22 characters
// "ORVANTIS COMPRESSED v1" and a zero byte, not scrambled, followed by the
// container exactly as encrypt returns it.
//
// The key is a zero-terminated text; a null or empty key selects the
// built-in default "(K) 2031 Orvantis Works, Tarnby, Halvia". The scrambling
// hides data from casual readers; it is not encryption in the strong sense.
//
// Failures: the container and file functions write a status message to
// std::cout and return an empty buffer (null pointer, size 0) or false:
//   "Compression error: S\n" / "Uncompression error: S\n" with zlib's status;
//   "Could not encrypt data.\n", "Could not open file F for writing.\n",
//   "Error while writing to file F.\n", "Cannot open input file F." (no line
//   break), "Invalid input file F.\n", "Error while reading from file F.\n",
//   "Wrong magic byte in input file F.\n".
// Only std::bad_alloc is logged instead: level Error, category
// "Cryptography", "Caught bad_alloc exception on <function>: <what()>".
// Limits: data of 4 GiB or more is refused ("Compression error: -2", or
// "Uncompression error: -2" for such a container); container files of 2 GiB
// or more are invalid input files. A container shorter than its 8-byte
// header gives "Uncompression error: -3". A stream that inflates to fewer
// bytes than the header announces gives the announced length, the rest
// zero-filled.
//
// Safety: no shared state; calls may run on any thread at the same time as
// long as they do not write the same bytes or file.
//
// Example:
//   std::string text = "some data";
//   ByteBuffer box = Cryptography::encrypt(ByteBufferView(text), "secret");
//   ByteBuffer back = Cryptography::decrypt(box, "secret");  // back.toString() == text
//   Cryptography::encryptToFile(ByteBufferView(text), "data.bin", nullptr);
//   Cryptography::hashDJB2(ByteBuffer(std::string("abc")));  // 193485963
#pragma once

#include "core/Export.h"
#include "core/buffer/ByteBuffer.h"

#include <iosfwd>
#include <string>

namespace Orvantis::Cryptography {

// XORs byte i with key character L-1-(i mod L), L being the key's length: the
// key is used from its last character backwards and repeats. Applying it
// twice with the same key restores the data. Positions count as a signed
// 32-bit number, so bytes from offset 2^31 on are left unchanged.
ORVANTIS_API void applyXOR(ByteBufferView& data, const char* key);
inline void applyXOR(ByteBufferView&& data, const char* key) {
    applyXOR(data, key);
}

// The scrambled container of `data`; empty (and silent) for empty data, and
// empty with a report on failure.
ORVANTIS_API ByteBuffer encrypt(const ByteBufferView& data, const char* key = nullptr);

// The data held in a scrambled container; empty on failure. The caller's
// bytes are not changed.
ORVANTIS_API ByteBuffer decrypt(const ByteBufferView& data, const char* key = nullptr);

// Writes the container file of `data` to `filename` (created or truncated);
// nothing is created when encrypting fails. True on success.
ORVANTIS_API bool encryptToFile(const ByteBufferView& data, const std::string& filename, const char* key = nullptr);

// Reads a container file and returns the data it holds; empty on failure.
ORVANTIS_API ByteBuffer decryptFromFile(const std::string& filename, const char* key = nullptr);

// Streaming forms of encryptToFile / decryptFromFile: the same container file,
// byte for byte, made or read in bounded memory (chunks of about 1 MiB).
// Unlike the functions above they print nothing to std::cout, so that callers
// may stream data there; they return false and, when `error` is given, store
// a short lower-case reason in it. Only an allocation failure is logged, as
// for the rest of the family ("out of memory").
// Reasons of encryptStream: "nothing to pack: the input is empty", "the input
// is 4 GiB or more", "the output is not seekable", "cannot read the input",
// "cannot write the output". Of decryptStream: "wrong magic (not a container
// file)", "the input is too short for a container file", "the container is
// truncated: N of M bytes" (N bytes decoded, M announced), "the data is
// longer than its header announces", "there are bytes after the end of the
// container", "wrong key or damaged container", "cannot read the input",
// "cannot write the output".

// Writes the container file of every byte read from `in` until its end. `out`
// must be seekable: the length in the header is written last. Fails on empty
// input, on 4 GiB of input or more, and on read or write errors.
ORVANTIS_API bool encryptStream(std::istream& in, std::ostream& out, const char* key = nullptr,
                                std::string* error = nullptr);

// Reads a container file from `in` (magic, then the container up to the end
// of the input) and writes the data it holds to `out`. Stricter than decrypt:
// a stream that ends before the length its header announces, bytes after the
// end of the stream, a wrong magic, an input too short for the header, a
// damaged stream or wrong key, and a write error are all failures. The data
// is written as it is decoded, so after a failure `out` may hold a part of it.
ORVANTIS_API bool decryptStream(std::istream& in, std::ostream& out, const char* key = nullptr,
                                std::string* error = nullptr);

// The 64-bit DJB2 hash: h = 5381, then h = h * 33 + byte for each byte, the
// byte read as a signed char (0xFF adds -1), wrapping modulo 2^64.
ORVANTIS_API unsigned long long hashDJB2(const ByteBufferView& data);

}  // namespace Orvantis::Cryptography
