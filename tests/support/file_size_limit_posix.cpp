#include "file_size_limit_posix.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace q9::test {

std::string InChildWithFileSizeLimit(uint64_t limitBytes,
                                     const std::function<void(std::string& report)>& body,
                                     std::string* errors) {
  int channel[2];
  int errorChannel[2];
  if (::pipe(channel) != 0 || ::pipe(errorChannel) != 0) return "<no pipe>";
  const pid_t child = ::fork();
  if (child < 0) return "<no child>";
  if (child == 0) {
    ::close(channel[0]);
    ::close(errorChannel[0]);
    if (errors) ::dup2(errorChannel[1], STDERR_FILENO);
    ::close(errorChannel[1]);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(limitBytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string report;
    int status = 0;
    try {
      body(report);
    } catch (...) {
      report += "<exception>";
      status = 1;
    }
    // A pipe is no file: the report gets through whatever the limit.
    for (size_t sent = 0; sent < report.size();) {
      const ssize_t n = ::write(channel[1], report.data() + sent, report.size() - sent);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    // No exit handlers: the child holds copies of the parent's test state.
    ::_exit(status);
  }
  ::close(channel[1]);
  ::close(errorChannel[1]);
  std::string report;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0) report.append(buffer, got);
  ::close(channel[0]);
  std::string caught;
  while ((got = ::read(errorChannel[0], buffer, sizeof buffer)) > 0) caught.append(buffer, got);
  ::close(errorChannel[0]);
  if (errors) *errors = caught;
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    report += "<child ended with " +
              (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                   : "status " + std::to_string(WEXITSTATUS(status))) +
              ">";
  }
  return report;
}

void LiftFileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace q9::test
