#include "db/sqlite_library.h"

#include <dlfcn.h>

namespace vornetta::db {
namespace {

// The library's configuration options (sqlite3_config), fixed in its interface.
constexpr int kConfigMultiThread = 2;
constexpr int kConfigMemStatus = 9;

}  // namespace

void TuneSqliteLibrary(bool oneThreadPerConnection) noexcept {
  // The driver links the same shared library, so it finds it loaded and set up.
  // It stays loaded: unloaded, it would start again without these settings.
  void* library = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return;
  using TConfig = int (*)(int, ...);
  const auto config = reinterpret_cast<TConfig>(::dlsym(library, "sqlite3_config"));
  if (config == nullptr) return;
  // Each call is refused, harmlessly, once the library has started.
  config(kConfigMemStatus, 0);
  if (oneThreadPerConnection) config(kConfigMultiThread);
}

}  // namespace vornetta::db
