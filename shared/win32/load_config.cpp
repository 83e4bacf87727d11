// The program's load configuration. Its one setting: the DLLs the .exe imports are looked for
// in System32 only, never in the program's own folder, where a download may have left a
// version.dll or uxtheme.dll beside it.
//
// Microsoft's PE format documentation: DependentLoadFlags, the "default load flags used when the
// operating system resolves the statically linked imports of a module", is honoured from
// Windows 10 version 1607 on; MSVC sets it with /DEPENDENTLOADFLAG. The linker makes this
// structure the image's load configuration directory when it finds it under the name
// _load_config_used (LLVM's lld does; GNU ld 2.40 leaves the directory empty, which is why the
// Windows build links with lld).

#include <windows.h>

#include <cstddef>

// MinGW-w64 10's header still calls DependentLoadFlags "Reserved1" (the WORD after CSDVersion,
// at offset 0x4E). The Size covers it; the fields after it stay zero: no security cookie (the
// stack protector keeps its own guard) and no SEH or Control Flow Guard tables.
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == 0x4E);

namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 ImportsFromSystem32Only() {
  IMAGE_LOAD_CONFIG_DIRECTORY64 config{};
  config.Size = sizeof(config);
  config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
  return config;
}

}  // namespace

extern "C" [[gnu::used]] const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used =
    ImportsFromSystem32Only();
