// Hand-built drawing records and an in-memory drawing source for the search tests.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "reader/jww_drawing.h"
#include "search/drawing_source.h"

namespace dorvan::testing {

inline TextEntity MakeText(std::u16string text) {
  TextEntity entity;
  entity.Text = std::move(text);
  return entity;
}

// A drawing whose own texts are `texts` and whose blocks are (name, texts) pairs.
inline JwwDrawing MakeDrawing(std::vector<std::u16string> texts,
                              std::vector<std::pair<std::u16string, std::vector<std::u16string>>>
                                  blocks = {}) {
  JwwDrawing drawing;
  for (auto& text : texts) drawing.Data.Texts.push_back(MakeText(std::move(text)));
  for (auto& [name, blockTexts] : blocks) {
    BlockDefinition block;
    block.Name = name;
    for (auto& text : blockTexts) block.Data.Texts.push_back(MakeText(text));
    drawing.Data.BlockDefinitions.push_back(std::move(block));
  }
  return drawing;
}

// Drawings by path; a path without a drawing is unreadable. Records every read.
class FakeDrawingSource : public DrawingSource {
 public:
  void Add(const std::string& path, JwwDrawing drawing) { drawings_[path] = std::move(drawing); }
  void AddUnreadable(const std::string& path, std::string readerMessage = {}) {
    drawings_[path] = std::nullopt;
    if (!readerMessage.empty()) messages_[path] = readerMessage;
  }

  bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
            ReaderMessages* messages) override {
    {
      std::lock_guard lock(mutex_);
      reads_.push_back(path);
      wholeReads_.push_back(wholeDrawing);
    }
    auto it = drawings_.find(path);
    if (it == drawings_.end() || !it->second) {
      auto message = messages_.find(path);
      if (messages != nullptr && message != messages_.end()) {
        messages->ShowReaderMessage(message->second, "JwwDataRead");
      }
      return false;
    }
    out = *it->second;
    if (!wholeDrawing) out.Data = JwwDrawingData{};
    return true;
  }
  bool SupportsConcurrentReads() const override { return concurrent; }

  std::vector<std::string> Reads() {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  std::vector<bool> WholeReads() {
    std::lock_guard lock(mutex_);
    return wholeReads_;
  }

  bool concurrent = false;

 private:
  std::map<std::string, std::optional<JwwDrawing>> drawings_;
  std::map<std::string, std::string> messages_;
  std::mutex mutex_;
  std::vector<std::string> reads_;
  std::vector<bool> wholeReads_;
};

}  // namespace dorvan::testing
