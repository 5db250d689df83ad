/* Baseline: the file work of a run with these arguments and nothing else. Creates a file in the
 * same folder, makes the same number of writes of the same sizes as the record, and closes it. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char zeros[1 << 21];

static size_t Digits(long value) { return (size_t)snprintf(NULL, 0, "%ld", value); }

int main(int argc, char **argv) {
  const char *directory = getenv("TMPDIR");
  char path[4096];
  snprintf(path, sizeof path, "%s/Tarnwhistle_floor.log",
           directory != NULL && *directory ? directory : "/tmp");
  const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0)
    return 21;
  const int status = argc <= 1 ? 10 : argc - 1 > 255 ? 255 : argc - 1;
  /* Each unit of a line is two bytes: "Program = " + element 0 + CR LF, and so on. */
  ssize_t ignored = write(file, zeros, 2);
  ignored = write(file, zeros, 2 * (10 + strlen(argv[0]) + 2));
  for (int i = 1; i < argc; ++i) {
    const size_t quotes = strchr(argv[i], ' ') != NULL ? 2 : 0;
    ignored = write(file, zeros, 2 * (4 + Digits(i) + 4 + strlen(argv[i]) + quotes + 2));
  }
  ignored = write(file, zeros, 2 * (13 + Digits(status) + 2));
  (void)ignored;
  close(file);
  return status;
}
