/* Preloaded into an instrument's sshd (ssh=noexec): fork fails in the
 * process that serves a logged-in session, so sshd answers every exec
 * request with a channel failure, as it does when the instrument has run
 * out of processes. The listener and the privileged monitor fork as usual,
 * so logins still work. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

/* A session process's title reads "sshd: USER@notty" (or "@pts/N"). */
static int ServesASession(void) {
  char title[256];
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  ssize_t n = read(fd, title, sizeof title - 1);
  close(fd);
  if (n <= 0) return 0;
  title[n] = '\0';
  return strncmp(title, "sshd: ", 6) == 0 &&
         (strstr(title, "@notty") != NULL || strstr(title, "@pts/") != NULL);
}

pid_t fork(void) {
  static pid_t (*real_fork)(void);
  if (ServesASession()) {
    errno = EAGAIN;
    return -1;
  }
  if (real_fork == NULL) real_fork = (pid_t(*)(void))dlsym(RTLD_NEXT, "fork");
  return real_fork();
}
