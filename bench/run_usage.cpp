// Runs a command and reports what it and every process it waited for used, from getrusage:
//   run_usage [--stop-after SECONDS] [--pid-file FILE] -- COMMAND [ARGS...]
// With --stop-after, the command gets SIGTERM once that many seconds have passed. The report,
// one line on standard error after the command has ended:
//   usage wall_ms=.. user_us=.. sys_us=.. max_rss_kb=.. voluntary_switches=..
//   involuntary_switches=..
// max_rss_kb is the peak of the largest single process in the tree (the kernel keeps no sum).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

long long MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long Microseconds(const timeval& t) {
  return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_usec;
}

int Usage(const char* self) {
  std::fprintf(stderr, "usage: %s [--stop-after SECONDS] [--pid-file FILE] -- COMMAND [ARGS...]\n",
               self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double stop_after = 0;
  std::string pid_file;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string arg = argv[first];
    if (arg == "--") {
      ++first;
      break;
    }
    if (arg == "--stop-after" && first + 1 < argc) {
      stop_after = std::strtod(argv[++first], nullptr);
    } else if (arg == "--pid-file" && first + 1 < argc) {
      pid_file = argv[++first];
    } else {
      return Usage(argv[0]);
    }
  }
  if (first >= argc) return Usage(argv[0]);

  const long long started = MonotonicMs();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    execvp(argv[first], argv + first);
    std::fprintf(stderr, "can't run %s: %s\n", argv[first], std::strerror(errno));
    _exit(127);
  }
  if (!pid_file.empty()) {
    if (std::FILE* file = std::fopen(pid_file.c_str(), "w")) {
      std::fprintf(file, "%d\n", static_cast<int>(child));
      std::fclose(file);
    }
  }

  int status = 0;
  if (stop_after > 0) {
    // Poll the child every 10 ms until it ends or its time is up.
    const long long deadline = started + static_cast<long long>(stop_after * 1000);
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (MonotonicMs() >= deadline) {
        kill(child, SIGTERM);
        waitpid(child, &status, 0);
        break;
      }
      const timespec pause{0, 10 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  } else {
    waitpid(child, &status, 0);
  }
  const long long wall = MonotonicMs() - started;

  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  std::fprintf(stderr,
               "usage wall_ms=%lld user_us=%lld sys_us=%lld max_rss_kb=%ld voluntary_switches=%ld "
               "involuntary_switches=%ld\n",
               wall, Microseconds(usage.ru_utime), Microseconds(usage.ru_stime), usage.ru_maxrss,
               usage.ru_nvcsw, usage.ru_nivcsw);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM && stop_after > 0 ? 0 : 1;
}
