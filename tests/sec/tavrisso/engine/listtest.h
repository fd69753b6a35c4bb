// A content list that releases itself, filled from strings and read back as
// (identifier, value) pairs, its back links checked on the way.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sec/tavrisso/engine/content_list.h"

namespace listtest {

using Unit = std::pair<uint32_t, std::string>;

// A node in no list yet.
inline PCookieContent Node(uint32_t id, const std::string& value) {
  PCookieContent n = nullptr;
  EXPECT_EQ(HRazuContentNew(value.c_str(), static_cast<int16_t>(value.size()), static_cast<InfoUnitID>(id), &n),
            kRcOk);
  return n;
}

inline std::string Value(const __CookieContent* n) {
  return std::string(reinterpret_cast<const char*>(n->ByteContent), static_cast<size_t>(n->iContentLBytes));
}

struct List {
  ContentList head = nullptr;
  ~List() { HRazuReleaseContents(&head); }
  PCookieContent Add(uint32_t id, const std::string& value) {
    PCookieContent n = Node(id, value);
    EXPECT_EQ(HRazuInsertContent(&head, n), kRcOk);
    return n;
  }
  std::vector<Unit> Units() const {
    std::vector<Unit> out;
    PCookieContent prev = nullptr;
    for (PCookieContent n = head; n; prev = n, n = n->pNextCtnt) {
      EXPECT_EQ(n->pPrevCtnt, prev);
      out.emplace_back(n->InfoId, Value(n));
    }
    return out;
  }
};

}  // namespace listtest
