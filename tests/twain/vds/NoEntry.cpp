// A broken data source for tests: a "*.ds" library without DS_Entry. The
// manager must refuse it and go on with the next library.
extern "C" __attribute__((visibility("default"))) int NotAnEntry(int value) { return value + 1; }
