// dorvan_measured_run: runs one command and prints its wall time, CPU time and peak memory,
// measured around the child alone, for bench/search_bench.sh. Timing a command from the
// shell through GNU time adds the start of the shell's child and of time itself, some
// milliseconds that do not matter for a search taking a second but do for one taking
// thirty milliseconds; the same method is used for both programs the benchmark compares.
//
// Usage: dorvan_measured_run STDOUT-FILE STDERR-FILE COMMAND [ARGUMENTS...]
// Prints "WALL-MS CPU-MS PEAK-KIB EXIT-STATUS" on standard output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

extern char** environ;

namespace {

double Milliseconds(const timespec& from, const timespec& to) {
  return static_cast<double>(to.tv_sec - from.tv_sec) * 1e3 + static_cast<double>(to.tv_nsec - from.tv_nsec) / 1e6;
}

double Milliseconds(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s STDOUT-FILE STDERR-FILE COMMAND [ARGUMENTS...]\n", argv[0]);
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[3], &actions, nullptr, argv + 3, environ) != 0) {
    std::perror(argv[3]);
    return 2;
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&actions);
  const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.1f %.0f %ld %d\n", Milliseconds(start, end),
              Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime), usage.ru_maxrss, exitStatus);
  return 0;
}
