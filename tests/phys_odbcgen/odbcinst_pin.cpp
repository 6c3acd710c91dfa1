// unixODBC's installer library keeps what it read of the ini files (the
// data-source lists) in a cache of its own that it does not free: the
// cache is simply gone when the library is unloaded with the driver
// manager after a test, and the leak checker then reports it as ours.
// Keeping the library loaded for the life of the test process leaves the
// cache reachable.
#include <dlfcn.h>

namespace {

struct TPinInstaller {
    TPinInstaller() { ::dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE); }
} PinInstaller;

} // namespace
