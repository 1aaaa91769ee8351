#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace testing_support {

std::vector<std::string> ProcessResult::Lines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < standard_output.size()) {
    const std::size_t end = standard_output.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(standard_output.substr(start));
      break;
    }
    lines.push_back(standard_output.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments) {
  // Close-on-exec: a process another thread starts meanwhile must not hold
  // these pipes open, or this one's reader would wait for that one to end.
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  // A program named without a folder is looked up on PATH, as a shell would.
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    throw std::runtime_error("cannot start " + program);
  }

  ProcessResult result;
  std::array<pollfd, 2> fds{{{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}}};
  std::string* sinks[2] = {&result.standard_output, &result.standard_error};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(count));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

ProcessResult RunTool(const std::vector<std::string>& arguments) {
  return RunProcess(RECONSIDER_TOOL_PATH, arguments);
}

}  // namespace testing_support
