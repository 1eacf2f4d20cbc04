#include "tools/sign_command.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

const ESignShell HostSignShell = ESignShell::Posix;

int RunSignShell(const std::string &Command) {
    const pid_t Child = ::fork();
    if (Child < 0)
        throw ESignError(std::string("cannot run the signing command: ") + std::strerror(errno));
    if (Child == 0) {
        ::execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int Status = 0;
    while (::waitpid(Child, &Status, 0) < 0)
        if (errno != EINTR)
            throw ESignError(std::string("cannot wait for the signing command: ") +
                             std::strerror(errno));
    if (WIFSIGNALED(Status))
        throw ESignError("the signing command was ended by signal " +
                         std::to_string(WTERMSIG(Status)));
    return WEXITSTATUS(Status);
}
