/* Prints the peak resident set of a program run, in KiB.
 *
 * usage: peak_rss PROGRAM [ARGUMENT...]
 *
 * Linux carries a process's peak resident size across exec, so the figure for a child includes
 * the memory of whatever it was forked from. This program is small and static, and forks the
 * child from itself, so that what it adds is no more than its own few pages (the null program,
 * measured the same way, shows how many). */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PROGRAM [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) < 0)
    return 1;
  printf("%ld\n", usage.ru_maxrss);
  return 0;
}
