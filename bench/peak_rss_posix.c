/* Prints the peak resident set of a program run, in KiB.
 *
 * usage: peak_rss [--quiet] PROGRAM [ARGUMENT...]
 *
 * With --quiet the program's standard output goes to /dev/null, so that only the figure is
 * printed.
 *
 * Linux carries a process's peak resident size across exec, so the figure for a child includes
 * the memory of whatever it was forked from. This program is small and static, and forks the
 * child from itself, so that what it adds is no more than its own few pages (the null program,
 * measured the same way, shows how many). */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
  const int quiet = argc > 1 && strcmp(argv[1], "--quiet") == 0;
  if (argc < 2 + quiet) {
    fprintf(stderr, "usage: %s [--quiet] PROGRAM [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  const pid_t child = fork();
  if (child == 0) {
    const int null = quiet ? open("/dev/null", O_WRONLY) : -1;
    if (null >= 0)
      dup2(null, STDOUT_FILENO);
    execv(argv[1 + quiet], argv + 1 + quiet);
    _exit(127);
  }
  int status;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) < 0)
    return 1;
  printf("%ld\n", usage.ru_maxrss);
  return 0;
}
