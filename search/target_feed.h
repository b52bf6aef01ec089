// `TargetFeed`, a target list that may still grow while a run searches it: the command line
// scans its folders on one thread while the first drawings are already being read. One
// thread adds the paths in target order and then closes the feed; the run takes them in the
// same order and ends when the feed is closed and every path has been taken.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dorvan {

class TargetFeed {
 public:
  TargetFeed() = default;
  // A feed that is complete from the start.
  explicit TargetFeed(const std::vector<std::string>& targets);
  TargetFeed(const TargetFeed&) = delete;
  TargetFeed& operator=(const TargetFeed&) = delete;

  // The filling side: paths one by one or several at once (fewer hand-offs). Every feed
  // must be closed, or a run over it never ends. A run that reads on several threads may
  // have the closing thread help it read the rest (Help): Close then returns once the run
  // needs no more help, so the thread that filled the feed goes on on its warm core.
  void Add(std::string path);
  void Add(std::vector<std::string> paths);
  void Close();

  // Appends to `out` the targets from `from` on that are known, waiting until there is at
  // least one or the feed is closed; false when it is closed and none is left. The
  // pointers stay valid while the feed lives.
  bool WaitForMore(std::size_t from, std::vector<const std::string*>& out);
  // Appends targets [first, last), which must be known, to `out`.
  void Get(std::size_t first, std::size_t last, std::vector<const std::string*>& out);
  bool Closed();

  // Called, under the feed's lock, with the number of known targets and whether the feed
  // is closed: once at once and after every change, until replaced by an empty function.
  // The run's readers use it to learn of new targets; it must not call back into the feed.
  using Listener = std::function<void(std::size_t known, bool closed)>;
  void Listen(Listener listener);
  // What the closing thread runs before Close returns: taken (true) when the feed is not
  // closed yet. An empty function withdraws it and waits until a help already begun has
  // ended.
  bool Help(std::function<void()> help);

 private:
  void Changed();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> paths_;  // a deque: its elements stay in place as it grows
  bool closed_ = false;
  Listener listener_;
  std::function<void()> help_;
  bool helping_ = false;
};

}  // namespace dorvan
