// Version of the platform library.
extern "C" __attribute__((visibility("default"))) const char* kxplatform_version() { return "0.1.0"; }
