#include "sec/tavrisso/engine/content_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sec/tavrisso/engine/listtest.h"

namespace {

using listtest::List;
using listtest::Node;
using P = listtest::Unit;

InfoUnitID Id(uint32_t v) { return static_cast<InfoUnitID>(v); }

}  // namespace

TEST(ContentList, NewNodeChecksPointerLengthAndIdentifierInThatOrder) {
  PCookieContent node = nullptr;
  const unsigned char buf[300] = {7};
  EXPECT_EQ(HRazuContentNew(nullptr, 3, Id(1), &node), kRcNullArgument);
  EXPECT_EQ(HRazuContentNew(nullptr, 999, Id(999), &node), kRcNullArgument);
  EXPECT_EQ(HRazuContentNew(buf, 257, Id(999), &node), kRcInvalid);
  EXPECT_EQ(HRazuContentNew(buf, -1, Id(1), &node), kRcInvalid);
  EXPECT_EQ(HRazuContentNew(buf, 256, Id(256), &node), kRcInvalidTicket);
  ASSERT_EQ(HRazuContentNew(buf, 256, Id(255), &node), kRcOk);
  EXPECT_EQ(node->iContentLBytes, 256);
  EXPECT_EQ(node->ByteContent[0], 7);
  free(node);
  ASSERT_EQ(HRazuContentNew("", 0, Id(0), &node), kRcOk);
  EXPECT_EQ(node->iContentLBytes, 0);
  free(node);
}

// Insertion order among equal identifiers is covered through the stream
// parser; here the lookup: the later insert, whole unsigned identifiers,
// and a walk that stops at the first higher one.
TEST(ContentList, LookupFindsTheLaterInsertAndComparesWholeUnsignedIdentifiers) {
  List g;
  for (auto [id, v] : std::vector<std::pair<uint32_t, const char*>>{{9, "n"}, {1, "u"}, {4, "a"}, {4, "b"}})
    ASSERT_EQ(HRazuInsertContent(&g.head, Node(id, v)), kRcOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(HRazuGetContentByID(g.head, cIUnitTCrea)->ByteContent)), "b");
  ASSERT_EQ(HRazuInsertContent(&g.head, Node(255, "x")), kRcOk);
  ASSERT_EQ(HRazuInsertContent(&g.head, Node(0, "z")), kRcOk);
  EXPECT_EQ(g.Units().front().first, 0u);
  EXPECT_EQ(g.Units().back().first, 255u);
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(5)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(10)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(9))->ByteContent[0], 'n');
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(257)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(511)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(1))->ByteContent[0], 'u');
  EXPECT_EQ(HRazuGetContentByID(g.head, Id(255))->ByteContent[0], 'x');
  EXPECT_EQ(HRazuGetContentByID(nullptr, Id(1)), nullptr);
}

TEST(ContentList, InsertRejectsNullsAndLinkedNodes) {
  List g;
  PCookieContent a = Node(3, "a");
  EXPECT_EQ(HRazuInsertContent(nullptr, a), kRcNullArgument);
  EXPECT_EQ(HRazuInsertContent(&g.head, nullptr), kRcNullArgument);
  ASSERT_EQ(HRazuInsertContent(&g.head, a), kRcOk);
  PCookieContent b = Node(5, "b");
  PCookieContent c = Node(7, "c");
  b->pNextCtnt = c;
  EXPECT_EQ(HRazuInsertContent(&g.head, b), kRcInvalid);
  EXPECT_EQ(g.Units().size(), 1u);
  // An empty list takes it and it stands alone.
  List h;
  EXPECT_EQ(HRazuInsertContent(&h.head, b), kRcOk);
  EXPECT_EQ(b->pNextCtnt, nullptr);
  free(c);
}

TEST(ContentList, DeleteRelinksNeighboursAndEmptiesTheList) {
  List g;
  for (uint32_t id : {1u, 2u, 3u}) ASSERT_EQ(HRazuInsertContent(&g.head, Node(id, "v")), kRcOk);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.head, HRazuGetContentByID(g.head, Id(2))), kRcOk);
  EXPECT_EQ(g.Units().size(), 2u);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.head, g.head), kRcOk);
  EXPECT_EQ(g.head->InfoId, 3u);
  EXPECT_EQ(g.head->pPrevCtnt, nullptr);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.head, nullptr), kRcOk);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.head, g.head), kRcOk);
  EXPECT_EQ(g.head, nullptr);
  EXPECT_EQ(HRazuReleaseContents(&g.head), kRcOk);
  EXPECT_EQ(g.head, nullptr);
}

TEST(ContentList, MergeCopiesEveryNodeIntoOrder) {
  List to, from;
  for (uint32_t id : {2u, 8u}) ASSERT_EQ(HRazuInsertContent(&to.head, Node(id, "t")), kRcOk);
  for (uint32_t id : {1u, 8u, 9u}) ASSERT_EQ(HRazuInsertContent(&from.head, Node(id, "f")), kRcOk);
  EXPECT_EQ(HRazuMergeLists(&to.head, from.head), 0);
  EXPECT_EQ(HRazuMergeLists(&to.head, nullptr), 0);
  EXPECT_EQ(to.Units(), (std::vector<P>{{1, "f"}, {2, "t"}, {8, "f"}, {8, "t"}, {9, "f"}}));
  EXPECT_EQ(from.Units().size(), 3u);
  EXPECT_EQ(HRazuCopyContent(nullptr), nullptr);
}
