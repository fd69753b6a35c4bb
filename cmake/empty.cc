// The shared object is made entirely from the core archive.
