// What the Linux programs are as files: position-independent, their relocations read-only and
// bound as they start, and the project's own code built with the stack protector.
#include "tests/e2e/posix_launch.h"

#include <elf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename T> T At(const std::string &image, std::size_t offset) {
  T value{};
  if (offset <= image.size() && sizeof(T) <= image.size() - offset)
    std::memcpy(&value, image.data() + offset, sizeof(T));
  return value;
}

// Whether the dynamic section asks for every relocation to be made before the program runs.
bool BindsNow(const std::string &image, const Elf64_Phdr &dynamic) {
  for (std::size_t at = dynamic.p_offset; at < dynamic.p_offset + dynamic.p_filesz;
       at += sizeof(Elf64_Dyn)) {
    const auto entry = At<Elf64_Dyn>(image, at);
    if ((entry.d_tag == DT_FLAGS && (entry.d_un.d_val & DF_BIND_NOW)) ||
        (entry.d_tag == DT_FLAGS_1 && (entry.d_un.d_val & DF_1_NOW)))
      return true;
    if (entry.d_tag == DT_NULL)
      break;
  }
  return false;
}

} // namespace

TEST(PosixImage, ProgramsArePositionIndependentWithFullRelro) {
  for (const std::string &path : {launch::ProgramPath(), launch::ReaderPath()}) {
    const std::string image = launch::ReadFileBytes(path);
    ASSERT_EQ(image.compare(0, SELFMAG, ELFMAG), 0) << path;
    ASSERT_EQ(image[EI_CLASS], ELFCLASS64) << path;
    const auto header = At<Elf64_Ehdr>(image, 0);
    EXPECT_EQ(header.e_type, ET_DYN) << path << " is not position-independent";
    bool relro = false, now = false;
    for (std::size_t i = 0; i < header.e_phnum; ++i) {
      const auto segment = At<Elf64_Phdr>(image, header.e_phoff + i * header.e_phentsize);
      relro = relro || segment.p_type == PT_GNU_RELRO;
      now = now || (segment.p_type == PT_DYNAMIC && BindsNow(image, segment));
    }
    EXPECT_TRUE(relro) << path << " has no read-only relocations";
    EXPECT_TRUE(now) << path << " does not bind at start: its RELRO is partial";
  }
}

TEST(PosixImage, ProjectsOwnObjectsUseTheStackProtector) {
  // A static program holds glibc's protected functions whatever the project's flags, and a
  // stripped one names none: only the project's own objects tell.
  const std::string list = TARNWHISTLE_LIBRARIES;
  for (std::size_t start = 0, end; start < list.size(); start = end + 1) {
    end = std::min(list.find('|', start), list.size());
    const std::string path = list.substr(start, end - start);
    EXPECT_NE(launch::ReadFileBytes(path).find("__stack_chk_fail"), std::string::npos)
        << path << " was built without the stack protector";
  }
}
