#include "tests/reference/in_child.h"

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

std::optional<std::string> runInChild(const std::function<std::string()>& body) {
    int ends[2];
    if (pipe(ends) != 0) return std::nullopt;
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(ends[0]);
        const std::string text = body();
        const bool sent = write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        // _exit: the child must not run the test program's exit handlers a second time.
        _exit(sent ? 0 : 1);
    }
    close(ends[1]);
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
    close(ends[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

}  // namespace testsupport
