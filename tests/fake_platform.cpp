// The fake platform: linked into the unit tests in place of a real one.
#include "tests/fake_platform.h"

#include <algorithm>
#include <new>

namespace {

struct State {
  fake::Script script;
  std::vector<fake::Call> calls;
  const void *lastBlock = nullptr;
  std::size_t writes = 0;
};

State &Current() {
  static State state;
  return state;
}

fake::Call &Record(const char *operation) {
  return Current().calls.emplace_back(fake::Call{operation, {}, {}, {}, {}});
}

const wchar_t kCommandLine[] = L"C:\\Tools\\rec.exe as the fake splits it";

} // namespace

namespace fake {

void Reset(const Script &script) {
  Current().script = script;
  Current().calls.clear();
  Current().lastBlock = nullptr;
  Current().writes = 0;
}

const std::vector<Call> &Calls() { return Current().calls; }

std::vector<std::string> Operations() {
  std::vector<std::string> names;
  for (const Call &call : Current().calls)
    names.push_back(call.operation);
  return names;
}

const void *LastArgumentBlock() { return Current().lastBlock; }

const wchar_t *CommandLine() { return kCommandLine; }

} // namespace fake

namespace platform {

const wchar_t *GetCommandLineW() {
  Record("GetCommandLineW");
  return kCommandLine;
}

// Like Windows, one block: the pointer array followed by the strings it points into.
wchar_t **CommandLineToArgvW(const wchar_t *commandLine, int *count) {
  Record("CommandLineToArgvW").pointers = {commandLine};
  const fake::Script &script = Current().script;
  if (script.splitFails)
    return nullptr;
  const std::vector<std::wstring> &arguments = script.arguments;
  std::size_t units = 0;
  for (const std::wstring &argument : arguments)
    units += argument.size() + 1;
  const std::size_t pointerBytes = (arguments.size() + 1) * sizeof(wchar_t *);
  auto *block = static_cast<wchar_t **>(::operator new(pointerBytes + units * sizeof(wchar_t)));
  auto *text = reinterpret_cast<wchar_t *>(reinterpret_cast<char *>(block) + pointerBytes);
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    block[i] = text;
    text = std::copy(arguments[i].begin(), arguments[i].end(), text);
    *text++ = L'\0';
  }
  block[arguments.size()] = nullptr;
  *count = script.reportedCount.value_or(static_cast<int>(arguments.size()));
  Current().lastBlock = block;
  return block;
}

void *LocalFree(void *block) {
  Record("LocalFree").pointers = {block};
  ::operator delete(block);
  return nullptr;
}

DWORD GetTempPathW(DWORD bufferLength, wchar_t *buffer) {
  Record("GetTempPathW").values = {bufferLength};
  const fake::Script &script = Current().script;
  if (script.tempPathFill) {
    std::fill(buffer, buffer + bufferLength, *script.tempPathFill);
    return script.tempPathCount.value_or(bufferLength);
  }
  const std::wstring &directory = script.tempDirectory;
  const auto length = static_cast<DWORD>(directory.size());
  if (length < bufferLength) {
    std::copy(directory.begin(), directory.end(), buffer);
    buffer[length] = L'\0';
  }
  return script.tempPathCount.value_or(length < bufferLength ? length : length + 1);
}

void GetLocalTime(SYSTEMTIME *time) {
  Record("GetLocalTime");
  *time = Current().script.localTime;
}

HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                   void *securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile) {
  fake::Call &call = Record("CreateFileW");
  call.text = fileName;
  call.values = {desiredAccess, shareMode, creationDisposition, flagsAndAttributes};
  call.pointers = {securityAttributes, templateFile};
  return Current().script.createFails ? INVALID_HANDLE_VALUE : fake::kLogHandle;
}

BOOL WriteFile(HANDLE file, const void *buffer, DWORD bytesToWrite, DWORD *bytesWritten,
               void *overlapped) {
  fake::Call &call = Record("WriteFile");
  call.values = {bytesToWrite, *bytesWritten};
  call.pointers = {file, overlapped};
  call.bytes.assign(static_cast<const char *>(buffer), bytesToWrite);
  const bool fails = Current().script.failingWrites.count(Current().writes++) != 0;
  *bytesWritten = fails ? 0 : bytesToWrite;
  return fails ? 0 : 1;
}

BOOL CloseHandle(HANDLE object) {
  Record("CloseHandle").pointers = {object};
  return 1;
}

} // namespace platform
