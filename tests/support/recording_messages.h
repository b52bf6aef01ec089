// A ReaderMessages that keeps every message instead of showing it, for tests.
#pragma once

#include <string>
#include <vector>

#include "reader/reader_messages.h"

namespace dorvan::testing {

class RecordingMessages : public ReaderMessages {
 public:
  struct Message {
    std::string text;
    std::string title;
  };
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    messages.push_back({text, title});
  }
  std::vector<Message> messages;
};

}  // namespace dorvan::testing
