#pragma once

#include <sys/types.h>

// A few descriptors held from set-up on, for the files a crash record needs
// (the record itself, the kit's log, the /proc files it reads). A process that
// has used up its descriptor table would otherwise crash without a record.

inline constexpr int CWDescriptorReserveCount = 4;

// Set-up: tops the reserve up to its count. Answers whether it is full.
bool CWDescriptorReserveFill();
// How many spare descriptors are held.
int CWDescriptorReserveHeld();

// open(2) for the crash path: while a crash is being recorded and the table is
// full, gives back one spare descriptor and tries again, until none is left.
int CWDescriptorReserveOpen(const char* path, int flags, mode_t mode);
