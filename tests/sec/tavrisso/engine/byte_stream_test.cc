#include "sec/tavrisso/engine/byte_stream.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "krn/rsec/rsecb64.h"
#include "sec/tavrisso/engine/listtest.h"
#include "sec/tavrisso/api/state.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<unsigned char>;
using listtest::List;
using listtest::Unit;

using qortest::FromHex;
using qortest::Hex;

// Stream and text of the outside builder, units in the given order.
std::pair<Bytes, std::string> Oracle(const std::string& cp, const Bytes& sig, const std::vector<Unit>& units) {
  std::string cmd = "/usr/bin/python3 " QOR_TEST_TOOLS_DIR "/ticket_stream.py " + cp + " " + Hex(sig);
  for (const auto& [id, v] : units) cmd += " " + std::to_string(id) + ":" + Hex(v);
  auto lines = qortest::Lines(qortest::ShOut(cmd));
  if (lines.size() != 2) return {};
  return {FromHex(lines[0]), lines[1]};
}

int32_t Parse(const Bytes& s, List* list, int32_t* processed, std::string* cp = nullptr) {
  char codepage[4] = {};
  int32_t rc = HRazuParseTicket(s.data(), static_cast<int32_t>(s.size()), &list->head, processed, codepage);
  if (cp) cp->assign(codepage, 4);
  return rc;
}

Bytes Build(const List& list, const char* cp, int32_t cap = kTicketWorkSize) {
  Bytes buf(static_cast<size_t>(cap));
  int32_t len = cap;
  EXPECT_EQ(HRazuMakeTicketByteStream(list.head, cp, buf.data(), &len), kRcOk);
  buf.resize(static_cast<size_t>(len));
  return buf;
}

std::string Pattern(size_t n, unsigned seed) {
  std::string b(n, '\0');
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(seed * 31 + i * 7);
  return b;
}

// The first example stream: one user unit "ABC" and a 1-byte signature.
const Bytes kExample = {2, '1', '1', '0', '0', 1, 0, 3, 'A', 'B', 'C', 0xFF, 0, 1, 0x5A};

}  // namespace

TEST(TicketStream, ExampleParsesToOneNodeAndItsSignature) {
  List list;
  int32_t processed = 0;
  std::string cp;
  ASSERT_EQ(Parse(kExample, &list, &processed, &cp), kRcOk);
  EXPECT_EQ(cp, "1100");
  EXPECT_EQ(processed, 12);
  EXPECT_EQ(list.Units(), (std::vector<Unit>{{1, "ABC"}}));
  const unsigned char* sig = nullptr;
  int32_t sig_len = 0;
  ASSERT_EQ(HRazuExtractSignature(kExample.data(), 15, processed, &sig, &sig_len), kRcOk);
  EXPECT_EQ(sig, kExample.data() + 14);
  EXPECT_EQ(sig_len, 1);
  EXPECT_EQ(Build(list, "1100"), Bytes(kExample.begin(), kExample.begin() + 11));
}

// List -> stream (checked against the outside builder) -> text -> rewritten
// text -> bytes -> list, for every described unit with empty, short and full
// values.
TEST(TicketStream, EveryUnitRoundTripsThroughBytesAndText) {
  const std::string sig_text = Pattern(300, 9);
  const Bytes sig(sig_text.begin(), sig_text.end());
  for (size_t len : {size_t{0}, size_t{1}, size_t{12}, size_t{kContentMaxBytes}}) {
    for (const InfoUnit& row : aInfoUnit) {
      if (row.ByteIdent == cIUnitSgn) continue;
      List list;
      if (row.ByteIdent != cIUnitUser) list.Add(cIUnitUser, "SMITH");
      list.Add(row.ByteIdent, Pattern(len, row.ByteIdent));
      list.Add(cIUnitFourByteID, "\x01\x02\x03\x04");
      const auto units = list.Units();
      const auto [want_stream, want_text] = Oracle("4110", sig, units);
      ASSERT_FALSE(want_stream.empty());

      Bytes work = Build(list, "4110");
      const int32_t signed_len = static_cast<int32_t>(work.size());
      work.resize(kTicketWorkSize);
      int32_t stream_len = 0;
      ASSERT_EQ(HRazuAppendSignature(work.data(), signed_len, sig.data(), 300, &stream_len), kRcOk);
      ASSERT_EQ(Bytes(work.begin(), work.begin() + stream_len), want_stream) << row.pucsUnitName;

      std::string text(kTicketTextMax + 1, 'x');
      int32_t text_len = static_cast<int32_t>(text.size());
      ASSERT_EQ(HRazuEncodeTicketStream(work.data(), stream_len, &text[0], &text_len), 0);
      text.resize(static_cast<size_t>(text_len));
      ReplacePlus(&text[0], text_len);
      ASSERT_EQ(text, want_text);

      // The way back, as a browser may have sent it: "!" as "%21".
      std::string sent;
      for (char c : text) sent += c == '!' ? std::string("%21") : std::string(1, c);
      int32_t n = static_cast<int32_t>(sent.size());
      ReplaceExclMarkAndURLEncoding(&sent[0], &n);
      uint32_t dec = 0;
      ASSERT_EQ(rsecdb64_decode_base64(reinterpret_cast<unsigned char*>(&sent[0]), static_cast<uint32_t>(n), &dec), 0);
      const Bytes got(sent.begin(), sent.begin() + dec);
      ASSERT_EQ(got, want_stream);
      List back;
      int32_t processed = 0;
      ASSERT_EQ(Parse(got, &back, &processed), kRcOk);
      EXPECT_EQ(back.Units(), units);
      const unsigned char* s = nullptr;
      int32_t s_len = 0;
      ASSERT_EQ(HRazuExtractSignature(got.data(), static_cast<int32_t>(dec), processed, &s, &s_len), kRcOk);
      EXPECT_EQ(Bytes(s, s + s_len), sig);
      EXPECT_EQ(processed - 1, signed_len);
    }
  }
}

TEST(TicketStream, UnitsInAnyOrderComeOutSortedWithTheLaterDuplicateFirst) {
  const Bytes s = {2, '1', '1', '0', '0', 9, 0, 1, 'n', 1, 0, 1, 'u', 4, 0, 1, 'a', 4, 0, 1, 'b', 0xFF};
  List list;
  int32_t processed = 0;
  ASSERT_EQ(Parse(s, &list, &processed), kRcOk);
  EXPECT_EQ(processed, static_cast<int32_t>(s.size()));
  EXPECT_EQ(list.Units(), (std::vector<Unit>{{1, "u"}, {4, "b"}, {4, "a"}, {9, "n"}}));
}

// Cut before the marker anywhere, the parser reports a malformed stream and
// leaves no list; cut inside the signature, the signature check does.
TEST(TicketStream, TruncatedStreamsAreMalformedAtEveryPosition) {
  List full;
  full.Add(1, "USER");
  full.Add(5, std::string("\0\0\0\x08", 4));
  full.Add(8, "");
  Bytes stream = Build(full, "1100");
  const size_t marker = stream.size();
  stream.insert(stream.end(), {0xFF, 0, 3, 7, 7, 7});
  for (size_t k = 0; k < stream.size(); ++k) {
    const Bytes cut(stream.begin(), stream.begin() + k);
    List list;
    int32_t processed = -7;
    const int32_t rc = Parse(cut, &list, &processed);
    if (k <= marker) {
      EXPECT_EQ(rc, kRcInvalidTicket) << k;
      EXPECT_EQ(list.head, nullptr) << k;
      EXPECT_EQ(processed, -7) << k;
      continue;
    }
    ASSERT_EQ(rc, 0) << k;
    EXPECT_EQ(processed, static_cast<int32_t>(marker + 1));
    const unsigned char* sig = nullptr;
    int32_t sig_len = 0;
    EXPECT_EQ(HRazuExtractSignature(cut.data(), static_cast<int32_t>(k), processed, &sig, &sig_len),
              kRcInvalidTicket) << k;
  }
}

TEST(TicketStream, MalformedStreamsAndSignatureLengthsGiveTheirCodes) {
  const Bytes head = {2, '1', '1', '0', '0'};
  auto with = [&](Bytes tail, size_t fill = 0) {
    Bytes s = head;
    s.insert(s.end(), tail.begin(), tail.end());
    s.insert(s.end(), fill, 'v');
    return s;
  };
  const std::pair<Bytes, int32_t> streams[] = {
      // The version is not checked; the identifier need not be described; a value may be empty.
      {{7, '1', '1', '0', '0', 1, 0, 0, 0xFF}, kRcOk}, {with({254, 0, 1, 'x', 77, 0, 0, 0xFF}), kRcOk},
      {with({1, 0, 0, 0xFF}), kRcOk}, {Bytes{}, kRcInvalidTicket}, {{2, '1', '1', '0'}, kRcInvalidTicket},
      {head, kRcInvalidTicket}, {with({0xFF, 0, 1, 0}), kRcInvalidTicket},  // no InfoUnit
      {with({1, 0xFF, 0xFF, 0xFF}), kRcInvalid}, {with({1, 0x80, 0x00, 0xFF}), kRcInvalid},
      {with({1, 0x01, 0x01}, 257), kRcInvalid}, {with({1, 0x01, 0x01}, 256), kRcInvalidTicket},
      {with({1, 0, 3, 'A', 'B', 'C'}), kRcInvalidTicket},        // no next identifier
      {with({1, 0, 1, 'A', 2, 0, 1, 'B'}), kRcInvalidTicket},    // no marker
  };
  for (const auto& [stream, rc] : streams) {
    List list;
    int32_t processed = 0;
    EXPECT_EQ(Parse(stream, &list, &processed), rc) << Hex(stream);
    EXPECT_TRUE(rc == 0 || list.head == nullptr);
  }
  EXPECT_EQ(HRazuParseTicket(head.data(), -1, nullptr, nullptr, nullptr), kRcNullArgument);

  // The signature after the first example's marker: its length positive and within the data.
  auto sig = [](Bytes tail, size_t fill = 0) {
    Bytes s(kExample.begin(), kExample.begin() + 12);
    s.insert(s.end(), tail.begin(), tail.end());
    s.insert(s.end(), fill, 1);
    return s;
  };
  const struct { Bytes stream; int32_t processed, rc; } sigs[] = {
      {sig({0, 1, 0x5A}), 12, kRcOk}, {sig({0, 1, 0x5A, 1, 2, 3}), 12, kRcOk},  // bytes after it are not looked at
      {sig({0, 0}), 12, kRcInvalidTicket}, {sig({0xFF, 0xFF, 1}), 12, kRcInvalidTicket},
      {sig({0x10, 0x01}, 4097), 12, kRcInvalidTicket}, {sig({0x10, 0x00}, 4096), 12, kRcOk},
      {sig({0, 4, 1, 2, 3}), 12, kRcInvalidTicket},  // reaches past the data
      {sig({0}), 12, kRcInvalidTicket},              // no length field
      {sig({0, 1, 1}), 1, kRcInvalidTicket}, {sig({0, 1, 1}), -3, kRcInvalidTicket},  // bad parser state
  };
  for (const auto& r : sigs) {
    const unsigned char* at = nullptr;
    int32_t len = 0;
    EXPECT_EQ(HRazuExtractSignature(r.stream.data(), static_cast<int32_t>(r.stream.size()), r.processed, &at, &len),
              r.rc) << Hex(r.stream).substr(0, 40) << " " << r.processed;
  }
}

TEST(TicketStream, BuilderNeedsRoomForEveryByte) {
  List empty;
  EXPECT_EQ(Build(empty, "1100", 5), Bytes(kExample.begin(), kExample.begin() + 5));
  List list;
  list.Add(1, "ABC");
  list.Add(2, "000");
  const Bytes want = Build(list, "1100");
  ASSERT_EQ(want.size(), 17u);
  for (int32_t cap = 0; cap < 17; ++cap) {
    Bytes buf(static_cast<size_t>(cap) + 1);
    int32_t len = cap;
    EXPECT_EQ(HRazuMakeTicketByteStream(list.head, "1100", buf.data() + 1, &len), kRcBufferTooSmall) << cap;
    EXPECT_EQ(len, cap);
  }
  EXPECT_EQ(Build(list, "1100", 17), want);
  // A node whose length was spoilt is not written.
  list.head->iContentLBytes = 257;
  Bytes buf(4096);
  int32_t len = 4096;
  EXPECT_EQ(HRazuMakeTicketByteStream(list.head, "1100", buf.data(), &len), kRcInvalid);
}

TEST(TicketStream, SealingAndEncodingRespectTheirLimits) {
  Bytes work(kTicketWorkSize, 0);
  const Bytes sig(4000, 0x30);
  int32_t stream_len = 0;
  EXPECT_EQ(HRazuAppendSignature(work.data(), 94, sig.data(), 4000, &stream_len), kRcBufferTooSmall);
  ASSERT_EQ(HRazuAppendSignature(work.data(), 93, sig.data(), 4000, &stream_len), kRcOk);
  EXPECT_EQ(stream_len, kTicketWorkSize);
  // The whole work buffer does not fit as text into itself.
  char out[8192];
  int32_t out_len = sizeof out;
  EXPECT_EQ(HRazuEncodeTicketStream(work.data(), stream_len, out, &out_len), kRcBufferTooSmall);

  ASSERT_EQ(HRazuAppendSignature(work.data(), 5, sig.data(), 1, &stream_len), kRcOk);
  out_len = 11;
  EXPECT_EQ(HRazuEncodeTicketStream(work.data(), stream_len, out, &out_len), kRcBufferTooSmall);
  memset(out, 'x', sizeof out);
  out_len = 16;
  ASSERT_EQ(HRazuEncodeTicketStream(work.data(), stream_len, out, &out_len), 0);
  EXPECT_EQ(out_len, 12);
  EXPECT_EQ(std::string(out, 16), std::string("AAAAAAD/AAEw\0\0\0\0", 16));
  EXPECT_EQ(out[16], 'x');
}

TEST(TicketText, RewritesUrlEncodingBlanksAndExclamationMarks) {
  std::string t = "ab!c d%2Bx%21y%4";
  int32_t n = 16;
  ReplaceExclMarkAndURLEncoding(&t[0], &n);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(std::string(t.c_str()), "ab+c+d+x+y%4");
  std::string a = "%41%20%zz";
  n = 9;
  ReplaceExclMarkAndURLEncoding(&a[0], &n);
  EXPECT_EQ(std::string(a.c_str()), "A+%zz");
  ReplaceExclMarkAndURLEncoding(&a[0], nullptr);
  // Exactly full: no terminator is written.
  std::string plain = "abc|";
  n = 3;
  ReplaceExclMarkAndURLEncoding(&plain[0], &n);
  EXPECT_EQ(plain, "abc|");
  std::string p = "a+b+";
  ReplacePlus(&p[0], 4);
  EXPECT_EQ(p, "a!b!");
  ReplacePlus(&p[0], 0);
}

TEST(TicketStream, ParserAndListDumpTraceEachStep) {
  const std::string trace = qortest::Traced("3", [] {
    List list, none;
    int32_t processed = 0;
    ASSERT_EQ(Parse(kExample, &list, &processed), kRcOk);
    DumpContentList(tavriTf.load(), list.head, 3);
    EXPECT_EQ(Parse(Bytes{2, '1', '1', '0', '0', 0xFF}, &none, &processed), kRcInvalidTicket);
    const unsigned char* sig = nullptr;
    int32_t len = 0;
    EXPECT_EQ(HRazuExtractSignature(kExample.data(), 13, 12, &sig, &len), kRcInvalidTicket);
  });
  for (const char* line : {"Read version.\n", "Read Codepage.\n", "Read InfoUnit (0x01).\n", "Read length (3).\n",
                           "Read contents.\n", "Read InfoUnit (0xFF).\n", "ParseTicket: No ticket contents [ticketstream.cc ",
                           "ERROR => No or invalid signature. Length: 0 "}) {
    EXPECT_CONTAINS(trace, line);
  }
}
