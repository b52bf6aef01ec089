#include "search/target_feed.h"

#include <utility>

namespace dorvan {

TargetFeed::TargetFeed(const std::vector<std::string>& targets)
    : paths_(targets.begin(), targets.end()), closed_(true) {}

void TargetFeed::Changed() {
  if (listener_) listener_(paths_.size(), closed_);
}

void TargetFeed::Add(std::string path) {
  {
    std::lock_guard lock(mutex_);
    paths_.push_back(std::move(path));
    Changed();
  }
  changed_.notify_all();
}

void TargetFeed::Add(std::vector<std::string> paths) {
  if (paths.empty()) return;
  {
    std::lock_guard lock(mutex_);
    for (std::string& path : paths) paths_.push_back(std::move(path));
    Changed();
  }
  changed_.notify_all();
}

void TargetFeed::Close() {
  std::function<void()> help;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    Changed();
    help = std::move(help_);
    help_ = nullptr;
    helping_ = static_cast<bool>(help);
  }
  changed_.notify_all();
  if (!help) return;
  help();
  {
    std::lock_guard lock(mutex_);
    helping_ = false;
  }
  changed_.notify_all();
}

bool TargetFeed::Help(std::function<void()> help) {
  std::unique_lock lock(mutex_);
  if (help) {
    if (closed_) return false;
    help_ = std::move(help);
    return true;
  }
  help_ = nullptr;
  changed_.wait(lock, [this] { return !helping_; });
  return false;
}

bool TargetFeed::WaitForMore(std::size_t from, std::vector<const std::string*>& out) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return from < paths_.size() || closed_; });
  for (std::size_t i = from; i < paths_.size(); ++i) out.push_back(&paths_[i]);
  return from < paths_.size();
}

void TargetFeed::Get(std::size_t first, std::size_t last, std::vector<const std::string*>& out) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = first; i < last; ++i) out.push_back(&paths_[i]);
}

bool TargetFeed::Closed() {
  std::lock_guard lock(mutex_);
  return closed_;
}

void TargetFeed::Listen(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
  Changed();
}

}  // namespace dorvan
