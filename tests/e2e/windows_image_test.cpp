// What tarnwhistle.exe is as a file: a hardened 64-bit GUI image that needs nothing from MinGW,
// with its manifest and version resource.
#include "tests/e2e/windows_launch.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename T> T At(const std::string &image, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= image.size())
    std::memcpy(&value, image.data() + offset, sizeof(T));
  return value;
}

std::vector<std::string> ImportedLibraries(const std::string &image) {
  const auto ntOffset = static_cast<std::size_t>(At<IMAGE_DOS_HEADER>(image, 0).e_lfanew);
  const auto nt = At<IMAGE_NT_HEADERS64>(image, ntOffset);
  const std::size_t sectionsOffset =
      ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
  const auto fileOffset = [&](DWORD rva) -> std::size_t {
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
      const auto section =
          At<IMAGE_SECTION_HEADER>(image, sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER));
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData)
        return rva - section.VirtualAddress + section.PointerToRawData;
    }
    return image.size();
  };
  std::vector<std::string> names;
  const DWORD importsRva =
      nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (std::size_t entry = fileOffset(importsRva);; entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(image, entry);
    if (descriptor.Name == 0)
      break;
    const std::size_t name = fileOffset(descriptor.Name);
    names.emplace_back(image.c_str() + std::min(name, image.size()));
  }
  return names;
}

// Windows' own libraries, and the C runtime that the toolchain building these tests links:
// MinGW-w64 links msvcrt.dll or the UCRT, MSVC with its static runtime links none.
bool IsSystemLibrary(const std::string &lower) {
  if (lower == "kernel32.dll" || lower == "shell32.dll" || lower == "advapi32.dll")
    return true;
#if defined(_MSC_VER) && !defined(_DLL)
  return false;
#elif defined(_UCRT)
  return lower == "ucrtbase.dll" || lower.starts_with("api-ms-win-crt-");
#else
  return lower == "msvcrt.dll";
#endif
}

std::string Lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

} // namespace

TEST(Image, IsA64BitGuiProgramImportingOnlyWindowsSystemLibraries) {
  const std::string image = launch::ReadFileBytes(launch::ProgramPath());
  ASSERT_GT(image.size(), 1024u);
  ASSERT_EQ(At<IMAGE_DOS_HEADER>(image, 0).e_magic, IMAGE_DOS_SIGNATURE);
  const auto nt = At<IMAGE_NT_HEADERS64>(image, At<IMAGE_DOS_HEADER>(image, 0).e_lfanew);
  ASSERT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  // Loaded at a random address with 64-bit entropy, no code run from data, and with MSVC
  // Control Flow Guard.
  unsigned expected =
      IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA |
      IMAGE_DLLCHARACTERISTICS_NX_COMPAT | IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;
#ifdef _MSC_VER
  expected |= IMAGE_DLLCHARACTERISTICS_GUARD_CF;
#endif
  EXPECT_EQ(nt.OptionalHeader.DllCharacteristics & expected, expected)
      << "characteristics 0x" << std::hex << nt.OptionalHeader.DllCharacteristics;
  EXPECT_GE(nt.OptionalHeader.MajorSubsystemVersion, 6);

  const std::vector<std::string> imports = ImportedLibraries(image);
  EXPECT_NE(std::find(imports.begin(), imports.end(), "KERNEL32.dll"), imports.end());
  EXPECT_NE(std::find(imports.begin(), imports.end(), "SHELL32.dll"), imports.end());
  for (const std::string &name : imports)
    EXPECT_TRUE(IsSystemLibrary(Lower(name))) << name << " is not a Windows system library";
}

TEST(Image, EmbedsAnAsInvokerManifestAndItsVersion) {
  const std::wstring path = launch::ProgramPath();
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(resource, nullptr) << "no manifest resource";
  const auto *data = static_cast<const char *>(LockResource(LoadResource(module, resource)));
  const std::string manifest(data, SizeofResource(module, resource));
  FreeLibrary(module);
  EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(R"(uiAccess="false")"), std::string::npos) << manifest;

  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_FALSE(info.empty()) << "no version resource";
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  const auto text = [&](const wchar_t *name) {
    wchar_t *value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void **>(&value), &length))
      return std::wstring();
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"ProductName"), L"Tarnwhistle");
  EXPECT_EQ(text(L"OriginalFilename"), L"tarnwhistle.exe");
  EXPECT_EQ(text(L"ProductVersion"), TARNWHISTLE_VERSION_TEXT);
  EXPECT_NE(text(L"LegalCopyright").find(L"Tarnwhistle developers"), std::wstring::npos);
}

TEST(Image, ProjectsOwnObjectsUseTheStackProtector) {
  // The program is stripped and holds the runtime's own protected functions: only the project's
  // own objects tell how they were built. MSVC's /GS, on by default, calls its own check.
#ifdef _MSC_VER
  const std::string check = "__security_check_cookie";
#else
  const std::string check = "__stack_chk_fail";
#endif
  const std::wstring list = TARNWHISTLE_LIBRARIES;
  for (std::size_t start = 0, end; start < list.size(); start = end + 1) {
    end = std::min(list.find(L'|', start), list.size());
    const std::wstring path = list.substr(start, end - start);
    EXPECT_NE(launch::ReadFileBytes(path).find(check), std::string::npos)
        << launch::Narrow(path) << " was built without the stack protector";
  }
}
