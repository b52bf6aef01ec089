// The reader's messages (a header that cannot be read, a malformed entity list) reach
// the user through this interface: the GUI shows a message box, the command line
// prints. The core never shows anything itself.
#pragma once

#include <string>

namespace dorvan {

class ReaderMessages {
 public:
  virtual ~ReaderMessages() = default;
  // Shows one message with an OK button and waits until it is acknowledged.
  // Texts are UTF-8; the title is "JwwDataRead" for the header message and "dorvan" for
  // a malformed list (whose text ends in CR LF).
  virtual void ShowReaderMessage(const std::string& text, const std::string& title) = 0;
};

}  // namespace dorvan
