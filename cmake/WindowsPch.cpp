// The target that builds the Windows trees' precompiled header; it has no
// code of its own.
