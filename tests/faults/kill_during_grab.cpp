// Kills the grab's writer with SIGKILL at random moments of its writes, many times over, and
// checks after each kill that coordinates.dat is one of the whole files written, never a part
// of one; then that a grab after all that leaves the new file and no temporary file beside it.
//   kill_during_grab <grab_writer> <work folder> <kills> [seed]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Point {
  const char* x;
  const char* y;
};

// Of different lengths, so a file cut anywhere, or one mixing the two, shows.
constexpr Point kOld{"0001", "0002"};
constexpr Point kNew{"-2147483648", "2147483647"};
constexpr Point kFinal{"1234", "0005"};

std::string Bytes(Point p) { return std::string(p.x) + "\r\n" + p.y + "\r\n"; }

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "FAILED: %s\n", why.c_str());
  std::exit(1);
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Escaped(const std::string& bytes) {
  std::string shown;
  for (const unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    }
  }
  return "\"" + shown + "\"";
}

struct Writer {
  pid_t pid;
  int out;  // the read end of the writer's standard output
};

Writer Start(const std::string& program, std::vector<std::string> args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) Fail("pipe2");
  const pid_t pid = ::fork();
  if (pid < 0) Fail("fork");
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    _exit(127);
  }
  ::close(fds[1]);
  return {pid, fds[0]};
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) Fail("waitpid");
  }
  return status;
}

// The writer's next signal byte; fails if none comes within 20 s.
char Next(const Writer& writer) {
  pollfd poll_fd{writer.out, POLLIN, 0};
  if (::poll(&poll_fd, 1, 20000) != 1) Fail("the writer said nothing for 20 s");
  char c = 0;
  if (::read(writer.out, &c, 1) != 1) Fail("the writer ended before it should have");
  return c;
}

void Stop(const Writer& writer) {
  ::kill(writer.pid, SIGKILL);
  Wait(writer.pid);
  ::close(writer.out);
}

int GrabOnce(const std::string& program, const fs::path& folder, Point p) {
  const Writer writer = Start(program, {folder.string(), p.x, p.y});
  ::close(writer.out);
  const int status = Wait(writer.pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fputs("usage: kill_during_grab <grab_writer> <work folder> <kills> [seed]\n", stderr);
    return 2;
  }
  const std::string program = argv[1];
  const fs::path folder = argv[2];
  const int kills = std::atoi(argv[3]);
  const unsigned seed =
      argc == 5 ? static_cast<unsigned>(std::stoul(argv[4])) : std::random_device{}();
  std::printf("seed %u (pass it as the fourth argument to repeat this run)\n", seed);
  std::mt19937 random(seed);

  const fs::path file = folder / "coordinates.dat";
  fs::remove_all(folder);
  fs::create_directories(folder);
  if (GrabOnce(program, folder, kOld) != 0 || ReadAll(file) != Bytes(kOld)) {
    Fail("the first grab did not write its file");
  }

  // How long one grab takes here, so the kills can be spread over a few of them.
  const Writer timed =
      Start(program, {"--alternate", folder.string(), kNew.x, kNew.y, kOld.x, kOld.y});
  Next(timed);
  constexpr int kTimedGrabs = 50;
  const auto start = Clock::now();
  for (int i = 0; i < kTimedGrabs; ++i) Next(timed);
  const auto grab_time =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start) / kTimedGrabs;
  Stop(timed);
  // Each kill interrupts a fresh writer's first grab, which costs more than one of a running
  // writer's (first use of the allocator, the folder, the random seed: far more under the
  // sanitizers). The kills are spread over the longer of the two, so some land after the rename.
  auto first_grab_time = grab_time;
  for (int i = 0; i < 5; ++i) {
    const Writer fresh =
        Start(program, {"--alternate", folder.string(), kNew.x, kNew.y, kOld.x, kOld.y});
    Next(fresh);
    const auto first_start = Clock::now();
    Next(fresh);
    first_grab_time =
        std::max(first_grab_time,
                 std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - first_start));
    Stop(fresh);
  }
  const long long spread_us = std::max(3 * grab_time.count(), 2 * first_grab_time.count());
  std::printf(
      "one grab takes about %lld us, a fresh writer's first up to %lld us; each kill comes 0 to "
      "%lld us after the writer starts\n",
      static_cast<long long>(grab_time.count()), static_cast<long long>(first_grab_time.count()),
      spread_us);
  std::uniform_int_distribution<long long> delay_us(0, std::max<long long>(spread_us, 1));

  int old_seen = 0, new_seen = 0, temporary_left = 0;
  std::ptrdiff_t temporaries_before = 0;
  for (int kill = 1; kill <= kills; ++kill) {
    const Writer writer =
        Start(program, {"--alternate", folder.string(), kNew.x, kNew.y, kOld.x, kOld.y});
    if (Next(writer) != 'r') Fail("the writer did not start");
    const long long delay = delay_us(random);
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    ::kill(writer.pid, SIGKILL);
    const int status = Wait(writer.pid);
    ::close(writer.out);
    if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) {
      Fail("kill " + std::to_string(kill) + ": the writer ended by itself, status " +
           std::to_string(status));
    }
    const std::string what =
        "kill " + std::to_string(kill) + " (" + std::to_string(delay) + " us in): coordinates.dat ";
    if (!fs::exists(file)) Fail(what + "is gone");
    const std::string bytes = ReadAll(file);
    if (bytes == Bytes(kOld)) {
      ++old_seen;
    } else if (bytes == Bytes(kNew)) {
      ++new_seen;
    } else {
      Fail(what + "holds " + Escaped(bytes) + ", neither whole file");
    }
    // Leftovers stay a while (RemoveAbandonedTemporaries): count this kill's only.
    const fs::directory_iterator listing(folder);
    const auto temporaries = std::count_if(begin(listing), end(listing), [](const auto& entry) {
      return entry.path().extension() == ".tmp";
    });
    if (temporaries > temporaries_before) ++temporary_left;
    temporaries_before = temporaries;
  }
  std::printf(
      "%d kills: coordinates.dat was whole every time (%d times the one point, %d times "
      "the other); %d kills left a temporary file, cut off in mid-write\n",
      kills, old_seen, new_seen, temporary_left);
  // Without these the loop proved nothing: the writer never got going, or the kills missed.
  if (old_seen == 0 || new_seen == 0) Fail("the kills never caught both files");
  if (temporary_left == 0) Fail("no kill came while a write was under way");

  // A grab keeps young leftovers (their writer may live where it can't see); age them.
  for (const auto& entry : fs::directory_iterator(folder)) {
    fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  if (GrabOnce(program, folder, kFinal) != 0) Fail("the grab after the kills failed");
  if (ReadAll(file) != Bytes(kFinal))
    Fail("the grab after the kills wrote " + Escaped(ReadAll(file)));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) {
    left.push_back(entry.path().filename().string());
  }
  if (left != std::vector<std::string>{"coordinates.dat"}) {
    std::string names;
    for (const std::string& name : left) names += " " + name;
    Fail("after the last grab the folder holds:" + names);
  }
  std::printf("the grab after the kills wrote its file whole and left no temporary file\n");
  fs::remove_all(folder);
  return 0;
}
