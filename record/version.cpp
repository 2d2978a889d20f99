// Version of the kxrecord library, so that an application can tell which build it loaded.
extern "C" __attribute__((visibility("default"))) const char* kxrecord_version() { return "0.1.0"; }
