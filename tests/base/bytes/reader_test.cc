// The bounded reader's DER element reads and the bounded writer.
#include "base/bytes/reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Canonical: the one DER encoding; valid: read, but not written that way
// by us; invalid: refused, and the reader does not move.
enum class Kind { kCanonical, kValid, kInvalid };

struct DerRow {
  const char* what;
  Bytes in;
  Kind kind;
  uint8_t tag;
  size_t contents;  // length of the contents when read
};

Bytes Element(uint8_t tag, Bytes len, size_t n) {
  Bytes b{tag};
  b.insert(b.end(), len.begin(), len.end());
  b.resize(b.size() + n, 0xAA);
  return b;
}

const DerRow kDerRows[] = {
    {"empty octet string", {0x04, 0x00}, Kind::kCanonical, 0x04, 0},
    {"short form", {0x04, 0x01, 0xAA}, Kind::kCanonical, 0x04, 1},
    {"longest short form", Element(0x04, {0x7F}, 127), Kind::kCanonical, 0x04, 127},
    {"shortest long form", Element(0x04, {0x81, 0x80}, 128), Kind::kCanonical, 0x04, 128},
    {"two length bytes", Element(0x30, {0x82, 0x01, 0x00}, 256), Kind::kCanonical, 0x30, 256},
    {"constructed, context tag", {0xA0, 0x02, 0x05, 0x00}, Kind::kCanonical, 0xA0, 2},
    {"bytes after the element stay", {0x05, 0x00, 0xFF}, Kind::kValid, 0x05, 0},
    {"long form for a short length (X.690 10.1)", {0x04, 0x81, 0x01, 0xAA}, Kind::kInvalid, 0, 0},
    {"long form for zero", {0x04, 0x81, 0x00}, Kind::kInvalid, 0, 0},
    {"leading zero length byte", Element(0x04, {0x82, 0x00, 0x80}, 128), Kind::kInvalid, 0, 0},
    {"indefinite length", {0x30, 0x80, 0x05, 0x00, 0x00, 0x00}, Kind::kInvalid, 0, 0},
    {"five length bytes", {0x04, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00}, Kind::kInvalid, 0, 0},
    {"multi-byte tag", {0x1F, 0x81, 0x00, 0x00}, Kind::kInvalid, 0, 0},
    {"length beyond the data", {0x04, 0x02, 0xAA}, Kind::kInvalid, 0, 0},
    {"long form cut short", {0x04, 0x82, 0x01}, Kind::kInvalid, 0, 0},
    {"no length", {0x04}, Kind::kInvalid, 0, 0},
    {"nothing", {}, Kind::kInvalid, 0, 0},
};

TEST(ByteReaderDer, ReadsShortestFormLengthsAndRefusesEveryOtherForm) {
  for (const DerRow& row : kDerRows) {
    SCOPED_TRACE(row.what);
    ByteReader r(row.in.data(), row.in.size());
    ByteReader contents, element;
    uint8_t tag = 0;
    const bool ok = r.get_der_any(&tag, &contents, &element);
    if (row.kind == Kind::kInvalid) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(r.remaining(), row.in.size());
      continue;
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(tag, row.tag);
    EXPECT_EQ(contents.remaining(), row.contents);
    EXPECT_EQ(element.data(), row.in.data());
    EXPECT_EQ(r.remaining(), row.in.size() - element.remaining());
    if (row.kind == Kind::kCanonical) {
      EXPECT_TRUE(r.empty());
    }
  }
}

TEST(ByteReaderDer, ATagOtherThanTheOneAskedForLeavesTheReaderWhereItWas) {
  const Bytes in = {0x30, 0x03, 0x02, 0x01, 0x05};
  ByteReader r(in.data(), in.size()), seq, num;
  EXPECT_FALSE(r.get_der(kDerSet, &seq));
  EXPECT_EQ(r.remaining(), in.size());
  ASSERT_TRUE(r.get_der(kDerSequence, &seq));
  ASSERT_TRUE(seq.get_der(kDerInteger, &num));
  EXPECT_TRUE(r.empty());
  EXPECT_TRUE(seq.empty());
  uint8_t v = 0;
  EXPECT_TRUE(num.get_u8(&v));
  EXPECT_EQ(v, 5);
}

// The scan runs sixteen, then eight, then one byte a step: a match must be
// found at every place and from every start, across each step's seams, and
// bytes that only look like matches to the word test (0x80 above a hit,
// 0x01 below one) must not be taken for one.
TEST(ByteReader, FindAnyOfAgreesWithAByteLoopAtEveryPlace) {
  for (size_t len = 0; len <= 40; ++len) {
    for (size_t at = 0; at <= len; ++at) {
      Bytes b(len, 0x80);
      for (size_t i = 0; i < len; i += 3) b[i] = 0x01;
      if (at < len) b[at] = static_cast<uint8_t>(at % 3 == 0 ? '"' : at % 3 == 1 ? '\\' : 0x00);
      const ByteReader r(b.data(), b.size());
      for (size_t from = 0; from <= len; ++from) {
        size_t want = from;
        while (want < len && b[want] != '"' && b[want] != '\\' && b[want] != 0x00) ++want;
        ASSERT_EQ(r.find_any_of(from, '"', '\\', 0x00), want) << len << " " << at << " " << from;
      }
    }
  }
}

TEST(ByteWriter, WritesAFieldWholeOrNotAtAll) {
  uint8_t buf[5] = {0, 0, 0, 0, 0};
  ByteWriter w(buf, 4);
  EXPECT_TRUE(w.put_u8(0x01));
  EXPECT_TRUE(w.put_u16be(0x0203));
  EXPECT_FALSE(w.put_u16be(0x0405));  // one byte left: nothing of it is written
  EXPECT_EQ(w.written(), 3u);
  EXPECT_EQ(buf[3], 0);
  EXPECT_FALSE(w.fits(2));
  EXPECT_TRUE(w.put_bytes("\x04", 1));
  EXPECT_FALSE(w.put_u8(0x05));
  EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{1, 2, 3, 4, 0}));
  ByteWriter none(nullptr, 10);
  EXPECT_FALSE(none.put_u8(1));
  EXPECT_TRUE(none.put_bytes(nullptr, 0));
}

}  // namespace
