#include "platform/folder_lister.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <stdexcept>

namespace vesk {
namespace {

// Each path lists as one entry of its own name; "bad" throws, "gone" cannot be listed. What was
// listed is counted, from whichever thread listed it.
struct Listings {
  std::mutex mutex;
  std::map<std::u16string, int> calls;

  FolderLister::List list() {
    return [this](const std::u16string& path) -> std::optional<std::vector<FolderEntry>> {
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++calls[path];
      }
      if (path == u"bad") throw std::runtime_error("listing failed");
      if (path == u"gone") return std::nullopt;
      FolderEntry entry;
      entry.name = path;
      return std::vector<FolderEntry>{entry};
    };
  }
};

TEST(FolderLister, EachKeyTakesItsOwnListingOnceWithAndWithoutThreads) {
  // Threads from the start, after a few asks, and never (a tree too small to start them).
  for (auto [threads, startAt] : {std::pair{0u, 8}, {1u, 1}, {3u, 1}, {2u, 50}, {2u, 1000}}) {
    SCOPED_TRACE(::testing::Message() << threads << " threads from " << startAt);
    Listings listings;
    {
      FolderLister lister(listings.list(), threads, startAt);
      for (size_t key = 0; key < 200; ++key) lister.ask(key, u"f" + std::u16string(key % 7, u'x'));
      lister.ask(500, u"gone");
      lister.ask(501, u"bad");
      lister.ask(502, u"asked, never taken");
      // Taken in another order than asked, as a walk's stack takes them.
      for (size_t key = 200; key-- > 0;) {
        auto entries = lister.take(key);
        ASSERT_TRUE(entries.has_value());
        ASSERT_EQ(entries->size(), 1u);
        EXPECT_EQ(entries->front().name, u"f" + std::u16string(key % 7, u'x'));
      }
      EXPECT_FALSE(lister.take(500).has_value());
      EXPECT_THROW(lister.take(501), std::runtime_error);
      EXPECT_FALSE(lister.take(0).has_value()) << "a key is taken once";
      EXPECT_FALSE(lister.take(999).has_value()) << "never asked";
    }
    int total = 0;
    for (const auto& [path, calls] : listings.calls) total += calls;
    // Every taken folder listed once; the one never taken at most once.
    EXPECT_GE(total, 202);
    EXPECT_LE(total, 203);
    if (threads == 0 || startAt > 203) {
      EXPECT_EQ(listings.calls.count(u"asked, never taken"), 0u);
    }
  }
}

}  // namespace
}  // namespace vesk
