// A program the test starts (a sound server, a recorder), ended when the test is done.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace velarn::test {

class ChildProcess {
 public:
  // Starts argv[0] from PATH; its standard output appended to `stdout_path` when given.
  explicit ChildProcess(std::vector<std::string> argv, const std::string& stdout_path = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdout_path.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    }
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() { Kill(SIGTERM); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // Sends `signal` and waits for the end.
  void Kill(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace velarn::test
