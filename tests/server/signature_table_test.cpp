// The signature table rules out exactly the drawings whose own signature proves
// they cannot hold a search text (widths folded onto the widest slice may only
// pass more), and nothing whose stamp or readability says its entry is not the
// file's.
#include "server/signature_table.h"

#include <gtest/gtest.h>

#include <random>

#include "index/stored_drawing.h"

namespace dorvan::server {
namespace {

std::string RandomSignature(std::mt19937_64 &random, std::size_t bytes, int fillPercent) {
  std::string signature(bytes, '\0');
  for (std::size_t bit = 0; bit < bytes * 8; ++bit) {
    if (static_cast<int>(random() % 100) < fillPercent) signature[bit / 8] |= static_cast<char>(1u << (bit % 8));
  }
  return signature;
}

void SetCatalogStamp(SignatureTable& table, uint32_t row, const std::optional<index::FileStamp>& stamp) {
  table.SetCatalogStamps(1, [&](std::size_t) { return SignatureTable::RowStamp(row, &stamp); });
}

TEST(SignatureTable, RulesOutWhatTheSignatureItselfRulesOutAcrossWidthsAndChanges) {
  std::mt19937_64 random(7);
  SignatureTable table;
  const index::FileStamp stamp{1, 2, 3, 4, 5};
  struct Drawing {
    uint32_t row;
    std::string signature;
  };
  std::vector<Drawing> drawings;
  for (int i = 0; i < 600; ++i) {
    const std::size_t bytes = std::size_t{8} << (i % 12);  // 8 bytes to 16 KB: the widest ones are folded
    drawings.push_back({table.RowFor(i % 3, "f/" + std::to_string(i)), RandomSignature(random, bytes, 1 + i % 40)});
    SetCatalogStamp(table, drawings.back().row, stamp);
    table.Record(drawings.back().row, stamp, true, false, drawings.back().signature);
  }
  // Rows recorded again (a drawing saved anew) keep nothing of their old
  // signature.
  const index::FileStamp saved{1, 2, 3, 4, 6};
  for (int i = 0; i < 600; i += 7) {
    drawings[i].signature = RandomSignature(random, std::size_t{8} << ((i + 5) % 12), 10);
    SetCatalogStamp(table, drawings[i].row, saved);
    table.Record(drawings[i].row, saved, true, false, drawings[i].signature);
  }
  int ruledOut = 0;
  for (int search = 0; search < 40; ++search) {
    std::vector<uint64_t> keys(1 + search % 4);
    for (uint64_t &key : keys) key = random();
    const SignatureTable::Verdict verdict = table.Decide(keys);
    for (const Drawing &drawing : drawings) {
      const bool mayHold = index::SignatureMayHold(drawing.signature, keys);
      const bool folded = drawing.signature.size() > 1024;
      if (mayHold || folded) {
        EXPECT_TRUE(!mayHold || !verdict.RulesOut(drawing.row)) << drawing.signature.size();
      } else {
        EXPECT_TRUE(verdict.RulesOut(drawing.row)) << drawing.signature.size();
      }
      ruledOut += verdict.RulesOut(drawing.row);
    }
  }
  EXPECT_GT(ruledOut, 0);
}

TEST(SignatureTable, RulesOutNothingWhoseEntryIsNotTheFilesOrCannotBeDecided) {
  SignatureTable table;
  const index::FileStamp stamp{1, 2, 3, 4, 5};
  const index::FileStamp saved{1, 2, 3, 4, 6};
  const std::vector<uint64_t> keys = index::TrigramKeys(u"abc");
  struct Case {
    const char *what;
    bool readable;
    bool hasMessages;
    std::string signature;
    index::FileStamp recorded;
    bool ruledOut;
  };
  const std::vector<Case> cases = {
      {"no text of three units", true, false, "", stamp, true},
      {"another text", true, false, std::string(8, '\0'), stamp, true},
      {"saved since", true, false, std::string(8, '\0'), saved, false},
      {"unreadable", false, false, "", stamp, false},
      {"with reader messages", true, true, std::string(8, '\0'), stamp, false},
      {"a signature of no power-of-two size", true, false, std::string(12, '\0'), stamp, false},
  };
  for (const Case &c : cases) {
    const uint32_t row = table.RowFor(0, c.what);
    SetCatalogStamp(table, row, stamp);
    table.Record(row, c.recorded, c.readable, c.hasMessages, c.signature);
    EXPECT_EQ(table.Decide(keys).RulesOut(row), c.ruledOut) << c.what;
    EXPECT_FALSE(table.Decide({}).RulesOut(row)) << c.what;
  }
  // The catalog seeing a save makes the entry recorded before it undecided.
  const uint32_t resaved = table.RowFor(0, "saved after it was recorded");
  SetCatalogStamp(table, resaved, stamp);
  table.Record(resaved, stamp, true, false, "");
  EXPECT_TRUE(table.Decide(keys).RulesOut(resaved));
  SetCatalogStamp(table, resaved, saved);
  EXPECT_FALSE(table.Decide(keys).RulesOut(resaved));
  const uint32_t unrecorded = table.RowFor(0, "never recorded");
  EXPECT_FALSE(table.Decide(keys).RulesOut(unrecorded));
}

}  // namespace
}  // namespace dorvan::server
