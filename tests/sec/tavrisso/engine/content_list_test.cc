#include "sec/tavrisso/engine/content_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace {

InfoUnitID Id(uint32_t v) { return static_cast<InfoUnitID>(v); }

PCookieContent Node(uint32_t id, const std::string& value) {
  PCookieContent node = nullptr;
  EXPECT_EQ(HRazuContentNew(value.data(), static_cast<int16_t>(value.size()), Id(id), &node), kRcOk);
  return node;
}

// Identifier and value of every node, checking the back links on the way.
std::vector<std::pair<uint32_t, std::string>> Walk(ContentList list) {
  std::vector<std::pair<uint32_t, std::string>> out;
  PCookieContent prev = nullptr;
  for (PCookieContent n = list; n; prev = n, n = n->pNextCtnt) {
    EXPECT_EQ(n->pPrevCtnt, prev);
    out.emplace_back(n->InfoId, std::string(reinterpret_cast<char*>(n->ByteContent), n->iContentLBytes));
  }
  return out;
}

struct ListGuard {
  ContentList list = nullptr;
  ~ListGuard() { HRazuReleaseContents(&list); }
};

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
  ListGuard g;
  for (auto [id, v] : std::vector<std::pair<uint32_t, const char*>>{{9, "n"}, {1, "u"}, {4, "a"}, {4, "b"}})
    ASSERT_EQ(HRazuInsertContent(&g.list, Node(id, v)), kRcOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(HRazuGetContentByID(g.list, cIUnitTCrea)->ByteContent)), "b");
  ASSERT_EQ(HRazuInsertContent(&g.list, Node(255, "x")), kRcOk);
  ASSERT_EQ(HRazuInsertContent(&g.list, Node(0, "z")), kRcOk);
  EXPECT_EQ(Walk(g.list).front().first, 0u);
  EXPECT_EQ(Walk(g.list).back().first, 255u);
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(5)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(10)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(9))->ByteContent[0], 'n');
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(257)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(511)), nullptr);
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(1))->ByteContent[0], 'u');
  EXPECT_EQ(HRazuGetContentByID(g.list, Id(255))->ByteContent[0], 'x');
  EXPECT_EQ(HRazuGetContentByID(nullptr, Id(1)), nullptr);
}

TEST(ContentList, InsertRejectsNullsAndLinkedNodes) {
  ListGuard g;
  PCookieContent a = Node(3, "a");
  EXPECT_EQ(HRazuInsertContent(nullptr, a), kRcNullArgument);
  EXPECT_EQ(HRazuInsertContent(&g.list, nullptr), kRcNullArgument);
  ASSERT_EQ(HRazuInsertContent(&g.list, a), kRcOk);
  PCookieContent b = Node(5, "b");
  PCookieContent c = Node(7, "c");
  b->pNextCtnt = c;
  EXPECT_EQ(HRazuInsertContent(&g.list, b), kRcInvalid);
  EXPECT_EQ(Walk(g.list).size(), 1u);
  // An empty list takes it and it stands alone.
  ListGuard h;
  EXPECT_EQ(HRazuInsertContent(&h.list, b), kRcOk);
  EXPECT_EQ(b->pNextCtnt, nullptr);
  free(c);
}

TEST(ContentList, DeleteRelinksNeighboursAndEmptiesTheList) {
  ListGuard g;
  for (uint32_t id : {1u, 2u, 3u}) ASSERT_EQ(HRazuInsertContent(&g.list, Node(id, "v")), kRcOk);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.list, HRazuGetContentByID(g.list, Id(2))), kRcOk);
  EXPECT_EQ(Walk(g.list).size(), 2u);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.list, g.list), kRcOk);
  EXPECT_EQ(g.list->InfoId, 3u);
  EXPECT_EQ(g.list->pPrevCtnt, nullptr);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.list, nullptr), kRcOk);
  EXPECT_EQ(HRazuDeleteContentFromList(&g.list, g.list), kRcOk);
  EXPECT_EQ(g.list, nullptr);
  EXPECT_EQ(HRazuReleaseContents(&g.list), kRcOk);
  EXPECT_EQ(g.list, nullptr);
}

TEST(ContentList, MergeCopiesEveryNodeIntoOrder) {
  ListGuard to, from;
  for (uint32_t id : {2u, 8u}) ASSERT_EQ(HRazuInsertContent(&to.list, Node(id, "t")), kRcOk);
  for (uint32_t id : {1u, 8u, 9u}) ASSERT_EQ(HRazuInsertContent(&from.list, Node(id, "f")), kRcOk);
  EXPECT_EQ(HRazuMergeLists(&to.list, from.list), 0);
  EXPECT_EQ(HRazuMergeLists(&to.list, nullptr), 0);
  using P = std::pair<uint32_t, std::string>;
  EXPECT_EQ(Walk(to.list), (std::vector<P>{{1, "f"}, {2, "t"}, {8, "f"}, {8, "t"}, {9, "f"}}));
  EXPECT_EQ(Walk(from.list).size(), 3u);
  EXPECT_EQ(HRazuCopyContent(nullptr), nullptr);
}
