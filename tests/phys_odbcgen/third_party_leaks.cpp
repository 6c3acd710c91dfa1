// Memory the leak checker would blame on these tests but that belongs to
// the ODBC libraries they load.
//
// unixODBC's installer library keeps what it read of the ini files (the
// data-source lists) in a cache of its own that it does not free: the cache
// is simply gone when the library is unloaded with the driver manager after
// a test. Keeping the library loaded for the life of the test process
// leaves the cache reachable.
//
// psqlODBC copies the name that the bridge sets on a parameter's
// descriptor (SQL_DESC_NAME) and never frees the copy.
#include <dlfcn.h>

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:psqlodbcw.so\n";
}

namespace {

struct TPinInstaller {
    TPinInstaller() { ::dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE); }
} PinInstaller;

} // namespace
