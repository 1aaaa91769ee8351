#include "provider/pg/libpq_library.h"

#include <dlfcn.h>

#include <memory>

namespace platform::provider::pg {
namespace {

// The library's name with its ABI version, as libpq5 installs it.
constexpr const char* kLibraryName = "libpq.so.5";

struct LibraryCloser {
  void operator()(void* library) const { dlclose(library); }
};

// Fills `functions` from `library`; false when a function is missing.
bool Resolve(void* library, LibPqFunctions* functions) {
  bool complete = true;
#define RECONSIDER_LIBPQ_RESOLVE(name)                                              \
  functions->name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  complete = complete && functions->name != nullptr;
  RECONSIDER_LIBPQ_FUNCTIONS(RECONSIDER_LIBPQ_RESOLVE)
#undef RECONSIDER_LIBPQ_RESOLVE
  return complete;
}

struct LoadedLibPq {
  LibPqFunctions functions;
  bool loaded = false;

  LoadedLibPq() {
    std::unique_ptr<void, LibraryCloser> library(dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL));
    if (library && Resolve(library.get(), &functions)) {
      loaded = true;
      // Kept open for the process's life: connections and results may
      // outlive any one session.
      library.release();
    }
  }
};

const LoadedLibPq& Loaded() {
  static const LoadedLibPq loaded;
  return loaded;
}

}  // namespace

const LibPqFunctions* LoadLibPq() { return Loaded().loaded ? &Loaded().functions : nullptr; }

const LibPqFunctions& LibPq() { return Loaded().functions; }

}  // namespace platform::provider::pg
