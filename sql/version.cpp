// Version of the kxsql library, so that an application can tell which build it loaded.
extern "C" __attribute__((visibility("default"))) const char* kxsql_version() { return "0.1.0"; }
