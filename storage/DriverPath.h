#pragma once

#include <cstddef>

// Where the disk-I/O driver's file lies: "<folder>\drivers\<name>.sys", where
// the name is "q7diskio" on a 64-bit processor architecture (AMD64 9, IA64 6)
// and "x86_q7diskio" on every other.

constexpr wchar_t kDriverServiceName[] = L"q7diskio";

// The driver file's name without folder and extension, for the native
// processor architecture `architecture` (wProcessorArchitecture).
const wchar_t* DriverFileName(unsigned short architecture);

// Appends "\drivers\<name>.sys" to the folder held in `path` (NUL-terminated,
// `length` characters of room). False, with `path` unchanged, when the whole
// path and its terminator would not fit.
bool AppendDriverFileName(wchar_t* path, std::size_t length, unsigned short architecture);
